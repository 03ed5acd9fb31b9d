#!/usr/bin/env bash
# The whole test suite: builds Velmora.aux2 and its tests for Windows, then
# runs them under Wine on a virtual X display, once as built and once with
# undefined behaviour trapped, and ends with scripts/lint.sh. Each build
# folder has its own Wine prefix (build/wine, build-ubsan/wine), made on first
# use while the code compiles; the compiler's lines go to the folder's
# build.log.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

velmora_ensure_packages clang-format clang-tidy

# build_folder DIR "TARGET..." CMAKE_OPTION...: no target builds everything.
build_folder() {
  echo "Building $1/ (log: $(velmora_build_log "$1")) ..."
  velmora_build_with_prefix "$@"
}

# Warnings are errors here, so that a new one fails CI.
build_folder build "" -DCMAKE_BUILD_TYPE=Release -DVELMORA_WERROR=ON

# Lint runs beside the rest at low priority: the tests spend much of their
# time waiting on timers and message loops, and lint fills it.
nice -n 10 bash scripts/lint.sh build >build/lint.log 2>&1 &
lint_job=$!
trap 'kill $lint_job 2>/dev/null || true' EXIT

# The sanitizer build needs only what its tests run: no dialogs, no benchmark,
# no debug information, and -O1, which traps the same faults and compiles in
# three quarters of the time of -O3 with the checks in.
build_folder build-ubsan "Velmora velmora-host velmora_unit_tests velmora_module_tests \
  velmora_validation_tests velmora_validation_core_tests" \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG" -DVELMORA_SANITIZE=ON \
  -DVELMORA_WERROR=ON

# Wine's server starts inside the virtual display, so that its desktop (and
# with it every dialog) lives there; it is stopped when the run ends.
tests=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -e
  . scripts/lib.sh
  trap "velmora_stop_wine 2>/dev/null || true" EXIT
  run_suite() {
    local dir=$1
    shift
    velmora_use_wine "$dir"
    velmora_start_wine
    local status=0
    ctest --test-dir "$dir" --output-on-failure --timeout 600 "$@" || status=$?
    velmora_stop_wine
    return $status
  }
  run_suite build
  echo "== again with undefined behaviour trapped =="
  run_suite build-ubsan -LE display
' || tests=$?

echo "== lint (scripts/lint.sh) =="
lint=0
wait $lint_job || lint=$?
trap - EXIT
cat build/lint.log
[ $tests -eq 0 ] && [ $lint -eq 0 ]
