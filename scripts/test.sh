#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine, each test in a throwaway
# prefix of its own, all under one Xvfb display (dialog tests need one).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
build="$here/build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >"$here/build-configure.log" 2>&1 \
  || { cat "$here/build-configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)"
# Prefix templates are made anew for every run, so no run sees what an earlier one left.
rm -rf "$build/wine-test"
cd "$build"
xvfb-run -a -s "-screen 0 1024x768x24" ctest -j"$(nproc)" --output-on-failure "$@"
