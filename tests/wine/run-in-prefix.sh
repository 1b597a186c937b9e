#!/usr/bin/env bash
# Runs one Windows program under Wine in a throwaway prefix of its own.
#   run-in-prefix.sh win32|win64 NAME PROGRAM [ARGS...]
# The prefix is a hard-link copy of a template made once per kind under
# $WINE_TEST_ROOT (default: ./wine-test). Its files are shared with the template, so tests
# must replace files (create, delete, rename) and never rewrite an existing one in place.
# The registry files get copies of their own: wineserver rewrites a hard-linked one in place.
# Wine's background processes inherit standard output; the program's output goes to files
# and is printed after the prefix's wineserver is gone, so no pipe is held open.
# The program gets DI_TIME_LIMIT seconds (default 60); after that it and every other process
# of its prefix are ended and the run fails. CTest's TIMEOUT alone would end only this
# script and the program: the program's own children are not below it in the process tree.
# The host's locales are kept out: the run sees only those named in DI_HOST_LOCALES.
set -u
arch=$1 name=$2
shift 2
root=${WINE_TEST_ROOT:-$PWD/wine-test}
template="$root/template-$arch"
prefix="$root/prefixes/$name"

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINELOADER WINESERVER

mkdir -p "$root/prefixes"

# Wine takes the system's language and code page from LC_CTYPE and the user's language from
# LC_MESSAGES where the host has those locales; where it lacks one, both come from LC_ALL
# (English without it). With LOCPATH set glibc looks for locales nowhere else, so a host
# that has generated zh_CN.UTF-8 (code page 936 under LANG alone) runs the tests as one
# that has not. Wine takes from a host locale its name and its character set only, so
# C.UTF-8's data serves for each locale a run names.
locales="$root/prefixes/$name.locales"
rm -rf "$locales"
mkdir -p "$locales"
for locale in ${DI_HOST_LOCALES:-}; do
  ln -s /usr/lib/locale/C.utf8 "$locales/$locale"
done
export LOCPATH="$locales"
(
  flock 9
  if [ ! -f "$template/.ready" ]; then
    rm -rf "$template"
    WINEPREFIX="$template" WINEARCH="$arch" wineboot -i >"$root/template-$arch.log" 2>&1
    # Unmanaged X11 windows: with no window manager under Xvfb, Wine otherwise waits two
    # seconds for each hidden or destroyed window (every message box and dialog).
    WINEPREFIX="$template" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      >>"$root/template-$arch.log" 2>&1
    WINEPREFIX="$template" wineserver -w
    touch "$template/.ready"
  fi
) 9>"$root/template-$arch.lock"
if [ ! -f "$template/.ready" ]; then
  echo "could not create the $arch Wine prefix; see $root/template-$arch.log" >&2
  exit 1
fi

rm -rf "$prefix"
cp -al "$template" "$prefix"
for hive in "$prefix"/*.reg; do
  cp --remove-destination "$template/$(basename "$hive")" "$hive"
done
export WINEPREFIX="$prefix"

# DI_BESIDE_PACKAGE=1: the program runs from C:\installer, beside a copy of what the
# installer ships with (SETUP, SETUP64, Lang from $DI_DIST), which its tests may change.
if [ -n "${DI_BESIDE_PACKAGE:-}" ]; then
  beside="$prefix/drive_c/installer"
  mkdir -p "$beside"
  cp "$1" "$beside/"
  for folder in SETUP SETUP64 Lang; do
    [ -d "$DI_DIST/$folder" ] && cp -r "$DI_DIST/$folder" "$beside/"
  done
  program="$beside/$(basename "$1")"
  shift
  set -- "$program" "$@"
fi

out="$root/prefixes/$name.out"
err="$root/prefixes/$name.err"
limit=${DI_TIME_LIMIT:-60}
timeout -k 5 "$limit" wine "$@" >"$out" 2>"$err" </dev/null
rc=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
cat "$out"
grep -v -E '^(wine: |[0-9a-f]{4}:(fixme|err|warn):)' "$err" >&2
if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
  echo "$name: ended after $limit s (DI_TIME_LIMIT), with every process of its prefix" >&2
fi
[ -n "${KEEP_WINE_PREFIX:-}" ] || rm -rf "$prefix" "$out" "$err" "$locales"
exit $rc
