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

velmora_ensure_packages

# build_folder DIR CMAKE_OPTION...: the prefix is made alongside the build.
build_folder() {
  local dir=$1
  shift
  echo "Building $dir/ (log: $(velmora_build_log "$dir")) ..."
  mkdir -p "$dir"
  (velmora_use_wine "$dir" && velmora_create_wine_prefix) &
  local prefix_job=$!
  local built=0
  velmora_configure "$dir" "$@" && velmora_build "$dir" && built=1
  wait $prefix_job
  [ $built -eq 1 ]
}
# Warnings are errors here, so that a new one fails CI.
build_folder build -DCMAKE_BUILD_TYPE=Release -DVELMORA_WERROR=ON
build_folder build-ubsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON -DVELMORA_WERROR=ON

# Wine's server starts inside the virtual display, so that its desktop (and
# with it every dialog) lives there; it is stopped when the run ends.
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
'

# Layout and clang-tidy over the project's own code, on the compile database
# of the first build.
bash scripts/lint.sh build
