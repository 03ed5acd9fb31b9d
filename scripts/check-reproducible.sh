#!/usr/bin/env bash
# Builds the release twice, in two fresh build folders with different names,
# and checks that Velmora.aux2 and the release zip come out byte-identical.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

# shellcheck disable=SC2119  # no packages beyond the usual ones
velmora_ensure_packages
dirs=(build-repro-a build-repro-b)
for d in "${dirs[@]}"; do
  rm -rf "$d"
  echo "Building $d ..."
  cmake --preset default -B "$d" -DVELMORA_BUILD_TESTS=OFF -DVELMORA_DIST_DIR="$PWD/$d/dist" \
    >/dev/null
  cmake --build "$d" --target package >/dev/null
done

status=0
zip=$(cd "${dirs[0]}" && ls dist/Velmora-*.zip)
for f in bin/Velmora.aux2 "$zip"; do
  a=$(sha256sum "${dirs[0]}/$f" | cut -d' ' -f1)
  b=$(sha256sum "${dirs[1]}/$f" | cut -d' ' -f1)
  if [ "$a" = "$b" ]; then
    echo "same     $a  $f ($(stat -c %s "${dirs[0]}/$f") bytes)"
  else
    echo "DIFFERENT $f: $a vs $b"
    status=1
  fi
done
[ $status -eq 0 ] && rm -rf "${dirs[@]}"
exit $status
