#!/usr/bin/env bash
# Takes the README's pictures of the three dialogs (main, Configure LPT Port, Add Port) in
# English and in Chinese, from the real program inside Wine's virtual desktop under Xvfb
# (the virtual desktop draws the title bars), into docs/images/<language>-<dialog>.png.
#   screenshots.sh
# BUILD_DIR chooses the build tree (default: build). The prefix is a throwaway 32-bit one
# under the build tree; tests/tools/screenshot_driver.cpp drives the program.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
build="${BUILD_DIR:-$here/build}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >"$here/build-configure.log" 2>&1 \
  || { cat "$here/build-configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" --target dist screenshot_driver

work="$build/screenshots"
images="$here/docs/images"
rm -rf "$work"
mkdir -p "$work" "$images"
export WINEPREFIX="$work/prefix"
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINELOADER WINESERVER
wineboot -i >"$work/wineboot.log" 2>&1
# The main dialog asks for SimSun ("宋体"), which Wine lacks; a CJK font of the host stands in.
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
  '"宋体"="WenQuanYi Micro Hei"' '"SimSun"="WenQuanYi Micro Hei"' \
  | iconv -f UTF-8 -t UTF-16 >"$WINEPREFIX/drive_c/fonts.reg"
wine regedit /S 'C:\fonts.reg' >/dev/null 2>&1
# This Wine does not load its own fonts from /usr/share/wine/fonts (fonts-wine): without
# Tahoma and Marlett the title bars show the letters 0, 1 and r for their buttons.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
wineserver -w

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

failed=0
for language in en zh_CN; do
  case $language in
    en) locale=en_US.UTF-8 ;;
    zh_CN) locale=zh_CN.UTF-8 ;;
  esac
  out="$work/$language"
  mkdir -p "$out"
  # The driver starts the program itself, so both live on the one virtual desktop.
  LANG=$locale LC_ALL=$locale xvfb-run -a -s "-screen 0 1280x1024x24" \
    wine explorer /desktop=shots,1024x768 "$(windows_path "$build/tests/screenshot_driver.exe")" \
    "$(windows_path "$build/dist/DriverInstall.exe")" "$(windows_path "$out")" \
    >"$out/wine.log" 2>&1 </dev/null || true
  wineserver -w
  cat "$out/driver.log" 2>/dev/null || echo "$language: the driver left no log; see $out/wine.log"
  for dialog in main lpt add-port; do
    if [ -s "$out/$dialog.bmp" ]; then
      bmptopnm "$out/$dialog.bmp" 2>/dev/null | pnmtopng >"$images/$language-$dialog.png"
      echo "saved docs/images/$language-$dialog.png"
    else
      echo "$language: no picture of the $dialog dialog" >&2
      failed=1
    fi
  done
done
exit $failed
