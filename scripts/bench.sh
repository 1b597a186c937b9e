#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine, in throwaway 32-bit prefixes.
#   bench.sh    prints, per template size, the clone's time as a ratio of a plain copy's;
#               then the installer's start (to its dialog visible) and peak working set as
#               ratios of a minimal dialog program's, in one prefix under Xvfb; then the
#               unattended install's time against a program doing only its unavoidable
#               work, a fresh prefix each run, without a display and under Xvfb
# BUILD_DIR chooses the build tree (default: build).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
build="${BUILD_DIR:-$here/build}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >"$here/build-configure.log" 2>&1 \
  || { cat "$here/build-configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" --target template_clone_bench startup_bench startup_steps minimal_dialog dist \
  install_bench install_reference install_steps
export WINE_TEST_ROOT="$build/wine-test"
bash "$here/tests/wine/run-in-prefix.sh" win32 bench \
  "$build/bench/template_clone_bench.exe"

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# The installer finds its catalogues beside itself, so it runs from dist as a user's would.
xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/tests/wine/run-in-prefix.sh" win32 startup_bench \
  "$build/bench/startup_bench.exe" "$(windows_path "$build/dist/DriverInstall.exe")" \
  "$(windows_path "$build/bench/minimal_dialog.exe")" "${STARTUP_RUNS:-9}"
# Where the start goes, step by step, with the catalogues beside the program as shipped.
steps_dir="$build/bench/steps"
rm -rf "$steps_dir" && mkdir -p "$steps_dir"
cp "$build/bench/startup_steps.exe" "$steps_dir/" && cp -r "$build/dist/Lang" "$steps_dir/"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/tests/wine/run-in-prefix.sh" win32 startup_steps \
  "$steps_dir/startup_steps.exe" "${STARTUP_RUNS:-9}"
# The unattended install against its unavoidable work (INSTALL_ROUNDS rounds, default 9).
bash "$here/bench/install_bench.sh" "$build" "${INSTALL_ROUNDS:-9}"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/bench/install_bench.sh" "$build" "${INSTALL_ROUNDS:-9}"
