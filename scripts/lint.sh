#!/usr/bin/env bash
# Checks the project's own code: the layers the folders draw, the layout of
# .clang-format, each of the plug-in's files compiled on its own, the checks
# of .clang-tidy, and shellcheck over the scripts. Exits non-zero on any
# finding.
#
#   scripts/lint.sh [BUILD_DIR]   (default: build; its compile database is used,
#                                  and the folder is configured when it has none)
#
# clang-tidy reads what the compiler compiles: in a unity build (the presets'
# builds) a target's files in batches, so the platform's and GoogleTest's
# headers are parsed and matched once per batch instead of once per file.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

build=${1:-build}
velmora_ensure_packages clang-format clang-tidy shellcheck
# Found on disk, not asked of git: a fresh machine may run this from a
# checkout without git installed.
mapfile -t sources < <(find plugin settings detect align hostsim bench tests -type f \
  \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort)
[ ${#sources[@]} -gt 0 ] || { echo "lint: no sources found" >&2; exit 1; }

# The layers, bottom to top, as DEVELOPERS.md shows them: a file includes
# only from its own layer or those below. The simulated host sees the host
# boundary only, and nothing of the plug-in includes it.
layer() {
  case $1 in
    plugin/host/* | hostsim/*) echo 1 ;; settings/*) echo 2 ;; align/*) echo 3 ;;
    detect/*) echo 4 ;; plugin/*) echo 5 ;;
  esac
}
crossings=$(grep -roE '^#include "(plugin|settings|align|detect|hostsim)/[^"]*' \
  plugin settings align detect hostsim | while IFS=: read -r file include; do
  include=${include#\#include \"}
  [ "${include%%/*}" = hostsim ] && [ "${file%%/*}" = hostsim ] && continue
  if [ "${include%%/*}" = hostsim ] || [ "$(layer "$include")" -gt "$(layer "$file")" ]; then
    echo "$file includes $include"
  fi
done)
echo "layers: ${crossings:-kept}"
[ -z "$crossings" ] || exit 1

echo "clang-format: ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

[ -f "$build/compile_commands.json" ] || velmora_configure "$build"
# The project's files the compiler is given, and the batches of a unity build
# that hold them (GoogleTest's own are left out).
mapfile -t compiled < <(grep -o '"file": "[^"]*\.c[px]*"' "$build/compile_commands.json" |
  cut -d'"' -f4 | LC_ALL=C sort -u)
batches=() units=()
for file in "${compiled[@]}"; do
  case $file in
    */Unity/unity_*) if grep -q "^#include \"$PWD/" "$file"; then batches+=("$file"); fi ;;
    "$PWD"/*) units+=("$file") ;;
  esac
done
# Every .cpp of ours must be checked: compiled alone, or in a batch.
covered=$( (printf '%s\n' "${units[@]}" && cat "${batches[@]}" /dev/null |
  sed -n 's/^#include "\(.*\)"$/\1/p') | LC_ALL=C sort -u)
unchecked=$(printf '%s\n' "${sources[@]}" | grep '\.cpp$' | sed "s|^|$PWD/|" |
  LC_ALL=C sort | LC_ALL=C comm -23 - <(printf '%s\n' "$covered"))
if [ -n "$unchecked" ]; then
  printf 'lint: not in %s/compile_commands.json:\n%s\n' "$build" "$unchecked" >&2
  exit 1
fi

# clang-tidy reads GCC's compile commands; it needs the target and the cross
# compiler's C++ headers, which clang does not find on its own. A test's body
# is spelt inside GoogleTest's TEST macro, a system header: --system-headers
# keeps the findings there (a test too long, say), and the header filter of
# .clang-tidy still drops those in headers that are not the project's.
gxx=/usr/lib/gcc/x86_64-w64-mingw32/12-posix/include/c++
tidy_args=(-p "$build" --quiet "--config-file=$PWD/.clang-tidy" --system-headers
  --extra-arg=--target=x86_64-w64-mingw32
  "--extra-arg=-isystem$gxx" "--extra-arg=-isystem$gxx/x86_64-w64-mingw32")
echo "clang-tidy: ${#units[@]} files and ${#batches[@]} batches of files"
status=0
printf '%s\n' "${units[@]}" |
  xargs -r -P "$(nproc)" -n 1 clang-tidy "${tidy_args[@]}" 2>/dev/null || status=1
# A batch is the files #included one after the other, which is what that
# check would report.
printf '%s\n' "${batches[@]}" |
  xargs -r -P "$(nproc)" -n 1 clang-tidy "${tidy_args[@]}" \
    --checks=-bugprone-suspicious-include 2>/dev/null || status=1
[ $status -eq 0 ] || exit 1

# The plug-in's files one by one, as the build compiles the plug-in's code,
# but each on its own: a batch of the unity build hides a file that does not
# include what it uses, which MSVC, compiling file by file, would not forgive.
read -ra compile < <(grep -o '"command": "[^"]*velmora_core\.dir[^"]*"' "$build/compile_commands.json" |
  head -n 1 | sed 's/^"command": "//; s/ -o .*$//')
mapfile -t plugin_sources < <(printf '%s\n' "${sources[@]}" | grep -E '^(plugin|settings|align|detect)/.*\.cpp$')
echo "alone: ${#plugin_sources[@]} files"
printf '%s\n' "${plugin_sources[@]}" | xargs -P "$(nproc)" -I{} "${compile[@]}" -fsyntax-only {}

mapfile -t scripts < <(find scripts .ci -type f \( -name '*.sh' -o -name run \) | LC_ALL=C sort)
echo "shellcheck: ${#scripts[@]} scripts"
shellcheck "${scripts[@]}"
echo "lint: clean"
