#!/usr/bin/env bash
# Fails when a Windows program imports a function that 32-bit Windows XP SP3 does not export,
# naming each such import as dll!function; the program would not start there at all.
#   check-imports.sh PROGRAM.exe LIST_DIR   (LIST_DIR holds <dll>.txt, one export a line)
set -euo pipefail
exe=$1 lists=$2
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
[ -f "$exe" ] || { echo "no such program: $exe" >&2; exit 2; }
table=$("$objdump" -p "$exe")
imports=$(awk '
  /^[ \t]*DLL Name: / { dll = tolower($3); sub(/\.(dll|drv)$/, "", dll); next }
  /^[ \t]*$/ { dll = ""; next }
  # An entry: address, hint or ordinal, name; "<none>" when imported by ordinal only.
  dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 {
    if ($3 == "<none>") print dll " #" $2; else print dll " " $3
  }' <<<"$table")
if [ -z "$imports" ]; then
  echo "no imports found in $exe; cannot check it" >&2
  exit 2
fi
bad=0
count=0
while read -r dll name; do
  count=$((count + 1))
  list="$lists/$dll.txt"
  if [ ! -f "$list" ]; then
    echo "$dll!$name: no export list for $dll" >&2
    bad=1
  elif [[ $name == \#* ]] || ! grep -qxF -- "$name" "$list"; then
    # An ordinal cannot be checked against names; look such a function up at run time instead.
    echo "$dll!$name: not exported by Windows XP SP3" >&2
    bad=1
  fi
done <<<"$imports"
[ "$bad" -eq 0 ] || exit 1
echo "$count imports of $(basename "$exe"), all exported by Windows XP SP3"
