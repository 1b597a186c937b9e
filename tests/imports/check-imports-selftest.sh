#!/usr/bin/env bash
# The import check must fail on a program with newer imports and name exactly those.
#   check-imports-selftest.sh PROGRAM.exe LIST_DIR   (PROGRAM built from newer_imports.c)
set -uo pipefail
out=$(bash "$(dirname "$0")/check-imports.sh" "$1" "$2" 2>&1)
rc=$?
echo "$out"
fail=0
[ "$rc" -eq 1 ] || { echo "expected exit code 1, got $rc"; fail=1; }
grep -qx 'kernel32!GetTickCount64: not exported by Windows XP SP3' <<<"$out" \
  || { echo "kernel32!GetTickCount64 not named"; fail=1; }
grep -qx 'winspool!GetDefaultPrinterW: no export list for winspool' <<<"$out" \
  || { echo "winspool!GetDefaultPrinterW not named"; fail=1; }
! grep -q '!GetTickCount:' <<<"$out" || { echo "kernel32!GetTickCount named although XP has it"; fail=1; }
exit "$fail"
