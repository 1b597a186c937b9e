#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine, in throwaway 32-bit prefixes.
#   bench.sh [PART...]   the parts named, in the order given (default: all four)
#     clone    per template size, the clone's time as a ratio of a plain copy's
#     startup  the installer's start (to its dialog visible) and peak working set as ratios of
#              a program showing the same template and nothing else, in one prefix under
#              Xvfb; then the start's steps timed in one process
#     install  the unattended install's time against a program doing only its unavoidable
#              work, a fresh prefix each run, without a display and under Xvfb
#     load     one run of the dialog through LOAD_INSTALLS installs, its handles and memory
#              after the first, the tenth and the last, under Xvfb; then LOAD_RUNS unattended
#              installs in one prefix, the first ten and the last ten timed
# BUILD_DIR chooses the build tree (default: build). The counts: STARTUP_RUNS (9),
# INSTALL_ROUNDS (9), LOAD_INSTALLS (100), LOAD_RUNS (200); e.g. LOAD_INSTALLS=12 LOAD_RUNS=20
# for a quick run. Each part starts with the date, the machine and its load.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
build="${BUILD_DIR:-$here/build}"
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(clone startup install load)
for part in "${parts[@]}"; do
  case $part in
  clone | startup | install | load) ;;
  *) echo "unknown part: $part (clone, startup, install, load)" >&2 && exit 64 ;;
  esac
done
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >"$here/build-configure.log" 2>&1 \
  || { cat "$here/build-configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" --target template_clone_bench startup_bench startup_steps minimal_dialog dist \
  install_bench install_reference install_steps load_bench
export WINE_TEST_ROOT="$build/wine-test"
# A benchmark runs as long as its counts make it; the tests' time limit is not for it.
export DI_TIME_LIMIT=${DI_TIME_LIMIT:-7200}

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
under_xvfb() { xvfb-run -a -s "-screen 0 1024x768x24" "$@"; }
machine() {
  printf '%s: %s, %s, %s cores (%s), %s; load average %s\n' "$1" "$(date +%F)" \
    "$(. /etc/os-release && echo "$PRETTY_NAME")" "$(nproc)" \
    "$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)" "$(wine --version)" "$(cut -d ' ' -f 1-3 /proc/loadavg)"
}

for part in "${parts[@]}"; do
  machine "$part"
  case $part in
  clone)
    bash "$here/tests/wine/run-in-prefix.sh" win32 bench "$build/bench/template_clone_bench.exe"
    ;;
  startup)
    # The installer finds its catalogues beside itself, so it runs from dist as a user's would.
    under_xvfb bash "$here/tests/wine/run-in-prefix.sh" win32 startup_bench \
      "$build/bench/startup_bench.exe" "$(windows_path "$build/dist/DriverInstall.exe")" \
      "$(windows_path "$build/bench/minimal_dialog.exe")" "${STARTUP_RUNS:-9}"
    # Where the start goes, step by step, with the catalogues beside the program as shipped.
    steps_dir="$build/bench/steps"
    rm -rf "$steps_dir" && mkdir -p "$steps_dir"
    cp "$build/bench/startup_steps.exe" "$steps_dir/" && cp -r "$build/dist/Lang" "$steps_dir/"
    under_xvfb bash "$here/tests/wine/run-in-prefix.sh" win32 startup_steps \
      "$steps_dir/startup_steps.exe" "${STARTUP_RUNS:-9}"
    ;;
  install)
    bash "$here/bench/install_bench.sh" "$build" "${INSTALL_ROUNDS:-9}"
    under_xvfb bash "$here/bench/install_bench.sh" "$build" "${INSTALL_ROUNDS:-9}"
    ;;
  load)
    # Beside the package, as the program is shipped; the bench copies DI_EXE beside itself.
    (
      export DI_BESIDE_PACKAGE=1 DI_DIST="$build/dist" DI_EXE="$build/dist/DriverInstall.exe"
      under_xvfb bash "$here/tests/wine/run-in-prefix.sh" win32 load_bench_dialog \
        "$build/bench/load_bench.exe" dialog "${LOAD_INSTALLS:-100}"
      bash "$here/tests/wine/run-in-prefix.sh" win32 load_bench_unattended \
        "$build/bench/load_bench.exe" unattended "${LOAD_RUNS:-200}"
    )
    ;;
  esac
done
machine "end"
