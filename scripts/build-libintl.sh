#!/usr/bin/env bash
# Cross-builds GNU gettext's libintl (static) for i686-w64-mingw32 from Debian's gettext
# source package, since Debian packages no MinGW build of it.
# Usage: build-libintl.sh OUTPUT_DIR   -> OUTPUT_DIR/include/libintl.h, OUTPUT_DIR/lib/libintl.a
set -euo pipefail
out=$(realpath -m "$1")
if [ -f "$out/lib/libintl.a" ] && [ -f "$out/include/libintl.h" ]; then
  exit 0
fi
work="$out/work"
rm -rf "$work"
mkdir -p "$work/src" "$work/build" "$out/lib" "$out/include"
cd "$work/src"
apt-get source --download-only gettext >../download.log 2>&1
# The pristine upstream tarball: Debian's patches touch configure.ac, and rebuilding the
# autotools files would need automake.
tar -xf "$(ls gettext_*.orig.tar.* | grep -v "\.asc$" | head -n 1)" --strip-components=1
cd "$work/build"
"$work/src/gettext-runtime/configure" --host=i686-w64-mingw32 \
  --enable-static --disable-shared --disable-java --disable-csharp --disable-libasprintf \
  CC=i686-w64-mingw32-gcc-posix >../configure.log 2>&1
make -C intl -j"$(nproc)" >../make.log 2>&1
cp intl/.libs/libintl.a "$out/lib/libintl.a"
cp intl/libintl.h "$out/include/libintl.h"
rm -rf "$work"
