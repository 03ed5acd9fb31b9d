#!/usr/bin/env bash
# Checks the project's own C++ code: the layout of .clang-format and the
# checks of .clang-tidy. Exits non-zero on any finding.
#
#   scripts/lint.sh [BUILD_DIR]   (default: build; its compile database is used,
#                                  and the folder is configured when it has none)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

build=${1:-build}
velmora_ensure_packages clang-format clang-tidy
# Found on disk, not asked of git: a fresh machine may run this from a
# checkout without git installed.
mapfile -t sources < <(find plugin settings detect align hostsim bench tests -type f \
  \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort)
[ ${#sources[@]} -gt 0 ] || { echo "lint: no sources found" >&2; exit 1; }

echo "clang-format: ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

[ -f "$build/compile_commands.json" ] || velmora_configure "$build"
# clang-tidy reads GCC's compile commands; it needs the target and the cross
# compiler's C++ headers, which clang does not find on its own.
gxx=/usr/lib/gcc/x86_64-w64-mingw32/12-posix/include/c++
tidy_args=(-p "$build" --quiet --extra-arg=--target=x86_64-w64-mingw32
  "--extra-arg=-isystem$gxx" "--extra-arg=-isystem$gxx/x86_64-w64-mingw32")
mapfile -t units < <(printf '%s\n' "${sources[@]}" | grep '\.cpp$')
echo "clang-tidy: ${#units[@]} files"
printf '%s\n' "${units[@]}" |
  xargs -P "$(nproc)" -n 4 clang-tidy "${tidy_args[@]}" 2>/dev/null
echo "lint: clean"
