#!/usr/bin/env bash
# Renders the settings dialog on a virtual X display and saves it as
# docs/settings-dialog.png. Builds the module and the small program that opens
# the dialog when needed (build folder: first argument, default "build").
# Wine runs in a prefix of its own inside the build folder, so the font and
# window settings made here change nothing for the tests or the user. The PNG
# holds no time stamp: a run that draws the same pixels writes the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

build=${1:-build}
out=docs/settings-dialog.png

velmora_ensure_packages fonts-wine
[ -f "$build/build.ninja" ] || velmora_configure "$build"
velmora_build "$build" velmora_show_dialog

velmora_use_wine "$build" wine-screenshot
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
# The Japanese font, Wine's own frame and caption, and its Marlett font.
velmora_dialog_look
# Everything so far ran without a display; a desktop started then would be
# reused and show nothing, so let this Wine session end first.
wineserver -w

work=$(mktemp -d)
trap 'rm -rf "$work"; wineserver -k 2>/dev/null || true' EXIT

# Wine's own lines go to a log, shown when the dialog does not appear. Its
# server ends before the virtual display does, so that no Wine program sees
# its display go away and says so.
# shellcheck disable=SC2016  # the inner shell expands them
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -e
  wine "$1/bin/velmora_show_dialog.exe" 4000 >"$2/where.txt" 2>"$2/wine.log" &
  shown=
  for _ in $(seq 200); do
    if grep -q "^dialog " "$2/where.txt" 2>/dev/null; then shown=1; break; fi
    sleep 0.1
  done
  if [ -z "$shown" ]; then
    echo "the dialog did not appear" >&2
    wait || true
    cat "$2/wine.log" >&2
    exit 1
  fi
  sleep 1  # let it paint
  import -window root "$2/screen.png"
  wait
  wineserver -k 2>/dev/null || true
  wineserver -w
' bash "$build" "$work"

read -r _ left top width height <"$work/where.txt"
mkdir -p "$(dirname "$out")"
convert "$work/screen.png" -crop "${width}x${height}+${left}+${top}" +repage \
  -define png:exclude-chunk=date,time "$out"
echo "wrote $out (${width}x${height})"
