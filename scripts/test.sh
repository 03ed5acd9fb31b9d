#!/usr/bin/env bash
# The whole test suite: builds Velmora.aux2 and its tests for Windows, then
# runs them under Wine on a virtual X display, once as built and once with
# undefined behaviour trapped.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

velmora_ensure_packages
velmora_configure_build build -DCMAKE_BUILD_TYPE=Release
velmora_configure_build build-ubsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON

# Wine starts inside the virtual display, so that its desktop (and with it
# every dialog) lives there.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -e
  . scripts/lib.sh
  velmora_start_wine
  ctest --test-dir build --output-on-failure --timeout 600
  echo "== again with undefined behaviour trapped =="
  ctest --test-dir build-ubsan --output-on-failure --timeout 600 -LE display
'
