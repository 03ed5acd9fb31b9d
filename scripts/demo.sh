#!/usr/bin/env bash
# The demo: builds Velmora.aux2 and the velmora-host program, installs a fresh
# copy of the plug-in in a plug-in folder of its own, and plays demo/paste.txt
# against it: six sample images pasted onto a 1920x1080, 30 fps scene and
# aligned automatically, then a settings-file change, a reload and the
# object-menu command on a selection. It prints every step with the plug-in's
# log lines, a before/after table of the timeline, and writes pictures of each
# aligned image on the screen: a diagram (SVG) and the image's own pixels
# before and after (PNG). No display is needed. Only the plug-in and
# velmora-host are built, as the preset "default" of CMakePresets.json says
# (the compiler's lines go to BUILD_DIR/build.log), and Wine runs in
# BUILD_DIR/wine-play, the prefix of the plays, made on the first run, never
# in ~/.wine, nor in the tests' prefix, whose server a test run stops.
#
#   scripts/demo.sh [BUILD_DIR]     (default: build, the folder scripts/test.sh uses)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

# shellcheck disable=SC2119  # no packages beyond the usual ones
velmora_ensure_packages
build=${1:-build}
velmora_use_play_wine "$build"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating a Wine prefix for the demo in $build/wine-play (once), while it builds ..."
fi
echo "Building Velmora.aux2 and velmora-host.exe in $build/ (log: $(velmora_build_log "$build")) ..."
velmora_build_with_prefix "$build" "Velmora velmora-host"

# A plug-in folder of its own, so that no Velmora.ini from an earlier run
# changes what the demo shows.
work=$build/demo
rm -rf "$work"
velmora_fresh_plugin_folder "$build" "$work/plugins"

echo "Playing demo/paste.txt in velmora-host.exe ..."
echo
wine "$build/bin/velmora-host.exe" --plugins "$work/plugins" --out "$work/pictures" demo/paste.txt
echo
echo "Pictures of the aligned images (PNG: open in an image viewer; SVG: in a web browser):"
for f in "$work"/pictures/*; do echo "  $f"; done
echo "The settings file the demo wrote: $work/plugins/Velmora.ini"
echo "Write your own scenario and play it the same way, in a fresh plug-in folder"
echo "(the commands: bash scripts/play.sh --help):"
echo "  bash scripts/play.sh YOUR-SCRIPT.txt"
