#!/usr/bin/env bash
# The whole test suite: builds Velmora.aux2 and its tests for Windows and runs
# them under Wine, once as built (the presets "default", in build/; the
# dialog tests on a virtual X display) and once with undefined behaviour
# trapped ("ubsan", in build-ubsan/), with scripts/lint.sh beside them. Each
# build folder has its own Wine prefix, made on first use while the code
# compiles; the compiler's lines go to the folder's build.log.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

velmora_ensure_packages clang-format clang-tidy shellcheck

# The sanitizer build, lint and the first suite run side by side, the first
# two at low priority: the tests spend much of their time waiting on timers and
# message loops, and the others fill it without slowing the tests down.
echo "Building build/ and build-ubsan/ (presets default and ubsan; logs: build.log in each) ..."
nice -n 10 bash -c '. scripts/lib.sh && velmora_build_preset ubsan build-ubsan' &
ubsan_job=$!
trap 'kill $ubsan_job 2>/dev/null || true' EXIT
velmora_build_preset default build
nice -n 10 bash scripts/lint.sh build >build/lint.log 2>&1 &
lint_job=$!
trap 'kill $lint_job $ubsan_job 2>/dev/null || true' EXIT

# Wine's server for the dialog tests starts inside the virtual display (the
# suite's fixture starts it), so that its desktop, and with it every dialog,
# lives there.
tests=0
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset default || tests=1
echo "== again with undefined behaviour trapped =="
if wait $ubsan_job; then
  ctest --preset ubsan || tests=1
else
  tests=1
fi

echo "== lint (scripts/lint.sh) =="
lint=0
wait $lint_job || lint=$?
trap - EXIT
cat build/lint.log
[ $tests -eq 0 ] && [ $lint -eq 0 ]
