#!/usr/bin/env bash
# Builds the installer and starts it under Wine in a project-local prefix (.wine-prefix).
# With a display the dialog is yours to use. Without one it runs under Xvfb: a screenshot
# of the dialog is saved to build/screenshot.png and the dialog is closed with Escape.
#   run.sh [ARGS...]   e.g. run.sh uninstall
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
build="$here/build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >"$here/build-configure.log" 2>&1 \
  || { cat "$here/build-configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" --target dist

export WINEPREFIX="${WINEPREFIX:-$here/.wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX ..."
  WINEARCH="${WINEARCH:-win64}" wineboot -i >/dev/null 2>&1
  # The dialog asks for SimSun ("宋体"), which Wine lacks; a CJK font of the host stands in.
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"宋体"="WenQuanYi Micro Hei"' '"SimSun"="WenQuanYi Micro Hei"' \
    | iconv -f UTF-8 -t UTF-16 >"$WINEPREFIX/drive_c/fonts.reg"
  wine regedit /S 'C:\fonts.reg' >/dev/null 2>&1 || true
  wineserver -w
fi
exe="$build/dist/DriverInstall.exe"

if [ -n "${DISPLAY:-}" ] || [ "$#" -gt 0 ]; then
  set +e
  wine "$exe" "$@" >"$build/run.log" 2>&1 </dev/null
  rc=$?
  wineserver -w
  echo "DriverInstall.exe exited with code $rc"
  # 0 after an uninstall, 2 when the dialog was closed: both are ordinary ends.
  [ "$rc" -eq 0 ] || [ "$rc" -eq 2 ] || exit "$rc"
  exit 0
fi

shot="$build/screenshot.png"
cat >"$build/run-headless.sh" <<'INNER'
set -u
exe=$1 shot=$2 log=$3
wine "$exe" >"$log" 2>&1 </dev/null &
pid=$!
window=""
# The runtime title (" v2.29E" in every language) is set with the dialog's other texts.
for _ in $(seq 1 600); do
  window=$(xdotool search --onlyvisible --name ' v2\.29E$' 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "the dialog did not appear with its runtime title; see $log" >&2
  kill $pid 2>/dev/null
  exit 1
fi
# The picture is taken once two grabs in a row agree: the dialog has finished painting.
previous=""
for _ in $(seq 1 50); do
  sleep 0.2
  xwd -root -silent >"$shot.xwd"
  current=$(md5sum <"$shot.xwd")
  [ "$current" = "$previous" ] && break
  previous=$current
done
eval "$(xdotool getwindowgeometry --shell "$window")"
xwdtopnm <"$shot.xwd" 2>/dev/null | pnmcut -left "$X" -top "$Y" -width "$WIDTH" -height "$HEIGHT" | pnmtopng >"$shot"
rm -f "$shot.xwd"
xdotool windowfocus --sync "$window" key Escape
wait $pid
INNER
set +e
xvfb-run -a -s "-screen 0 1024x768x24" bash "$build/run-headless.sh" "$exe" "$shot" "$build/run.log"
rc=$?
wineserver -k 2>/dev/null
echo "Screenshot: $shot"
echo "DriverInstall.exe exited with code $rc"
[ "$rc" -eq 2 ] || exit 1
