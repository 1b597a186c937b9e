#!/usr/bin/env bash
# Builds the fuzz target of the template rewrite on the host with clang and libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer, runs it for RUNS runs (default 10,000,000)
# and prints libFuzzer's summary. Exits nonzero on a finding; the full log and any crashing
# input stay in the output folder (FUZZ_DIR, default build/fuzz).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10000000}
out=${FUZZ_DIR:-$here/build/fuzz}
mkdir -p "$out/corpus"

clang -g -O1 -std=c11 -Wall -Wextra -Werror \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$here" "$here/install/template_text.c" "$here/tests/fuzz/template_text_fuzz.c" \
  -o "$out/template_text_fuzz"

log="$out/last-run.log"
status=0
(cd "$out" && ./template_text_fuzz -runs="$runs" -max_len=8192 -print_final_stats=1 \
  -dict="$here/tests/fuzz/template_text.dict" corpus) >"$log" 2>&1 || status=$?

if [ "$status" -ne 0 ]; then
  cat "$log"
  echo "fuzz.sh: finding after the run above (exit $status); log in $log" >&2
  exit "$status"
fi
grep -E '^(Done |stat::)|INFO: Seed:' "$log"
