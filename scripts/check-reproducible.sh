#!/usr/bin/env bash
# Builds the release of one commit twice, each from a clean clone in a folder of its own with
# a build of its own, unsigned, and compares the two byte for byte: the zip, the MSI, and
# each file of the distributable folder and the MSI's action DLL, each pair of differing
# files named.
#   check-reproducible.sh [COMMIT]   (default: HEAD)
# SOURCE_DATE_EPOCH, when set, is used by both; else both take the commit's time. LIBINTL_DIR
# lets both link one libintl already cross-built (else each builds its own, a few minutes).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$here" rev-parse "${1:-HEAD}")
bash "$here/scripts/setup.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for n in 1 2; do
  git clone -q "$here" "$work/clone$n"
  git -C "$work/clone$n" checkout -q "$commit"
  echo "build $n of $commit in $work/clone$n"
  DI_NO_SETUP=1 RELEASE_DIR=$work/release$n bash "$work/clone$n/scripts/release.sh" >"$work/release$n.log" 2>&1 \
    || { cat "$work/release$n.log"; exit 1; }
done
status=0
for file in "$work/release1"/* "$work/clone1/build/release-build/dist" "$work/clone1/build/release-build/msi"; do
  other=${file/release1/release2}
  other=${other/clone1/clone2}
  diff -r -q "$file" "$other" || status=1
done
if [ "$status" -eq 0 ]; then
  echo "reproducible: $(cat "$work/release1/SHA256SUMS")"
else
  echo "NOT reproducible: the files above differ" >&2
fi
exit "$status"
