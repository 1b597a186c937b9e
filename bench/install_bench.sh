#!/usr/bin/env bash
# The unattended install (DriverInstall.exe /install) against install_reference, which does
# only the unavoidable work. ROUNDS rounds, each running both once (in turn, the order
# alternating), every run in a fresh hard-link copy of the 32-bit template prefix and beside
# a fresh copy of dist's SETUP, SETUP64 and Lang; install_bench.exe times each from process
# start to exit. Prints every run, the medians and the ratios; then the installer's steps
# timed inside one process (install_steps.exe), medians over ROUNDS fresh prefixes. Exits 1
# when a run did not install the printer. Runs under the display the caller gives, if any.
#   install_bench.sh BUILD_DIR [ROUNDS]
# INSTALLER_ARGS replaces the installer's arguments (default: /install).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$1
rounds=${2:-9}
export WINE_TEST_ROOT="$build/wine-test" DI_BESIDE_PACKAGE=1 DI_DIST="$build/dist"
read -r -a installer_args <<<"${INSTALLER_ARGS:-/install}"

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

declare -A times=() idle=()
# Runs one subject in a fresh prefix; its line must hold what is expected (exit code and
# whether the printer is there).
run() {
  local subject=$1 expected=$2 program=$3 line
  shift 3
  line=$(bash "$here/tests/wine/run-in-prefix.sh" win32 "install_bench_$subject" \
    "$build/bench/install_bench.exe" "$(windows_path "$program")" KR-620 "$@" | tr -d '\r') || true
  if [[ $line != *"$expected"* ]]; then
    echo "$subject: expected $expected, got: $line" >&2
    exit 1
  fi
  printf '  %-9s %s\n' "$subject" "$line"
  times[$subject]+="$(sed -n 's/.*milliseconds=\([0-9.]*\).*/\1/p' <<<"$line") "
  idle[$subject]+="$(sed -n 's/.*idle=\([0-9.]*\).*/\1/p' <<<"$line") "
}
# The installer refusing an unknown switch: its start, entry, catalogue, one line and end,
# with nothing installed.
subjects=(installer reference refusal)
run_subject() {
  case $1 in
  installer) run installer "exit=0 printer=1" "$build/dist/DriverInstall.exe" "${installer_args[@]}" ;;
  reference) run reference "exit=0 printer=1" "$build/bench/install_reference.exe" ;;
  refusal) run refusal "exit=87 printer=0" "$build/dist/DriverInstall.exe" /install /unknown ;;
  esac
}

# median, minimum and maximum of the numbers given
summary() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{v[NR] = $1}
  END {m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.2f %.2f %.2f", m, v[1], v[NR]}'; }

echo "unattended install against the reference, $rounds rounds, a fresh prefix each run (ms, start to exit)"
for ((round = 0; round < rounds; ++round)); do
  for ((i = 0; i < 3; ++i)); do run_subject "${subjects[(round + i) % 3]}"; done
done
read -r installer_median installer_min installer_max <<<"$(summary "${times[installer]}")"
read -r reference_median reference_min reference_max <<<"$(summary "${times[reference]}")"
read -r refusal_median refusal_min refusal_max <<<"$(summary "${times[refusal]}")"
read -r idle_median idle_min idle_max <<<"$(summary "${idle[installer]} ${idle[reference]} ${idle[refusal]}")"
printf 'medians (min to max): installer %.1f ms (%.1f to %.1f), reference %.1f ms (%.1f to %.1f)\n' \
  "$installer_median" "$installer_min" "$installer_max" "$reference_median" "$reference_min" "$reference_max"
printf '  the installer refusing an unknown switch %.1f ms (%.1f to %.1f), a process doing nothing %.1f ms (%.1f to %.1f)\n' \
  "$refusal_median" "$refusal_min" "$refusal_max" "$idle_median" "$idle_min" "$idle_max"
# Two runs of a round are seconds apart, so their ratio is less disturbed by the changing
# load of the machine; the fastest runs are the ones it disturbed least.
read -r -a installer_runs <<<"${times[installer]}"
read -r -a reference_runs <<<"${times[reference]}"
round_ratios=""
for ((i = 0; i < rounds; ++i)); do
  round_ratios+="$(awk -v i="${installer_runs[i]}" -v r="${reference_runs[i]}" 'BEGIN {print i / r}') "
done
read -r round_ratio _ _ <<<"$(summary "$round_ratios")"
awk -v i="$installer_median" -v r="$reference_median" -v a="$installer_min" -v b="$reference_min" \
  -v p="$round_ratio" 'BEGIN {printf "ratio installer/reference: %.2f of the medians (goal: at most 1.3); " \
  "median of the rounds %.2f, fastest runs %.2f\n", i / r, p, a / b}'
awk -v i="$installer_median" -v r="$reference_median" -v f="$refusal_median" -v z="$idle_median" \
  'BEGIN {printf "the installer takes %.1f ms longer: %.1f ms of its start and end beyond a process doing nothing, " \
  "%.1f ms of its installation beyond the reference'"'"'s\n", i - r, f - z, (i - f) - (r - z)}'

# What the steps do not hold is the loading and ending of the process.
echo "the installer's steps, medians of $rounds runs in fresh prefixes (ms):"
steps=$(for ((round = 1; round <= rounds; ++round)); do
  bash "$here/tests/wine/run-in-prefix.sh" win32 install_bench_steps "$build/bench/install_steps.exe" | tr -d '\r' ||
    echo "failed run"
done)
if grep -q '^failed run' <<<"$steps"; then
  echo "install_steps did not install the printer" >&2
  exit 1
fi
awk -F '\t' '$1 == "step" {if (!($2 in count)) order[++n] = $2; values[$2, ++count[$2]] = $3}
  END {
    for (i = 1; i <= n; ++i) {
      name = order[i]; k = count[name]
      for (a = 1; a <= k; ++a) v[a] = values[name, a]
      for (a = 1; a <= k; ++a) for (b = a + 1; b <= k; ++b) if (v[b] < v[a]) {t = v[a]; v[a] = v[b]; v[b] = t}
      m = k % 2 ? v[(k + 1) / 2] : (v[k / 2] + v[k / 2 + 1]) / 2
      total += m
      printf "  %7.2f  %s\n", m, name
    }
    printf "  %7.2f  sum of the medians\n", total
  }' <<<"$steps"
