#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine, in a throwaway 32-bit prefix.
#   bench.sh    prints, per template size, the clone's time as a ratio of a plain copy's
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
build="$here/build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >"$here/build-configure.log" 2>&1 \
  || { cat "$here/build-configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" --target template_clone_bench
WINE_TEST_ROOT="$build/wine-test" bash "$here/tests/wine/run-in-prefix.sh" win32 bench \
  "$build/bench/template_clone_bench.exe"
