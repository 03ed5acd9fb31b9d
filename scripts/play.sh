#!/usr/bin/env bash
# Plays your own scenario script in velmora-host.exe the way the demo plays
# demo/paste.txt: builds only the plug-in and velmora-host in build/ (the
# compiler's lines go to build/build.log), copies the plug-in into a fresh
# plug-in folder, build/play/plugins, unless --plugins names one, and runs
# in the Wine prefix of the plays and the demo, build/wine-play (a test run
# going on beside it cannot stop it), with the scripts' environment, so that
# nothing is written to your home folder. The pictures go to
# build/play/pictures unless --out names a folder. A script that opens the
# settings dialog gets a virtual display when there is no DISPLAY; nobody
# can close a dialog there, so each dialog line must say ok or cancel after.
#
#   bash scripts/play.sh SCRIPT [--plugins FOLDER] [--out FOLDER] [--check]
#   bash scripts/play.sh --help          (this, and velmora-host's commands)
#
# The exit status is velmora-host's: 0 when everything ran and held, 1 when
# something failed while it ran, 2 when the script or the command line is
# wrong (then nothing has run).
set -euo pipefail

usage() { sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; }
fail() {
  echo "play.sh: $1" >&2
  exit 2
}

script='' plugins='' out='' help='' check=()
while [ $# -gt 0 ]; do
  case $1 in
    --plugins | --out)
      if [ $# -lt 2 ] || [ -z "$2" ]; then fail "$1 needs a folder after it"; fi
      # Taken from where you are, before the script moves to the project.
      if [ "$1" = --plugins ]; then plugins=$(realpath -m -- "$2"); else out=$(realpath -m -- "$2"); fi
      shift 2
      ;;
    --check) check=(--check) && shift ;;
    -h | --help) help=1 && shift ;;
    -*) fail "unknown option $1 (see --help)" ;;
    *)
      [ -z "$script" ] || fail "one script at a time (see --help)"
      script=$(realpath -m -- "$1")
      shift
      ;;
  esac
done
[ -n "$script" ] || [ -n "$help" ] || fail "no script given (see --help)"
[ -z "$script" ] || [ -f "$script" ] || fail "no such script: $script"

cd "$(dirname "$0")/.."
. scripts/lib.sh
velmora_ensure_packages
build=build
velmora_use_play_wine "$build"
echo "Building Velmora.aux2 and velmora-host.exe in $build/ (log: $(velmora_build_log "$build")) ..." >&2
velmora_build_with_prefix "$build" "Velmora velmora-host" -DCMAKE_BUILD_TYPE=Release
host=$build/bin/velmora-host.exe

if [ -n "$help" ]; then
  usage
  echo
  wine "$host" --help
  exit 0
fi

if [ ${#check[@]} -gt 0 ]; then
  # Checked as it will run: without a display, on a virtual one. Without
  # --plugins velmora-host looks in its own folder, beside the module built.
  [ -n "${DISPLAY:-}" ] || check+=(--unattended)
  [ -z "$plugins" ] || check+=(--plugins "$plugins")
  exec wine "$host" "${check[@]}" "$script"
fi

# Plays take turns: each empties and fills build/play, and one that opens
# the dialog needs the prefix's server to itself. The lock stays with this
# shell: no Wine process gets its descriptor.
mkdir -p "$build/play"
exec 8>"$build/play/.lock"
if ! flock -n 8; then
  echo "Waiting for another play to end ..." >&2
  flock 8
fi
play() {
  local status=0
  "$@" 8>&- || status=$?
  exit $status
}

if [ -z "$plugins" ]; then
  plugins=$PWD/$build/play/plugins
  velmora_fresh_plugin_folder "$build" "$plugins"
fi
if [ -z "$out" ]; then
  out=$PWD/$build/play/pictures
  rm -rf "$out"
fi
run=(wine "$host" --plugins "$plugins" --out "$out")

# Only a script that opens the settings dialog needs a display, and a Wine
# server started on it (a server keeps the display it started under).
if ! grep -qE '^[[:space:]]*dialog([[:space:]#]|$)' "$script"; then
  play "${run[@]}" "$script"
fi
velmora_ensure_packages fonts-wine
velmora_dialog_look 8>&-
if [ -z "${DISPLAY:-}" ]; then
  echo "The script opens the settings dialog: it runs on a virtual display (xvfb-run)," \
    "where only the script can close it." >&2
  # The server ends before the display does, so that no program sees it go.
  # shellcheck disable=SC2016  # the inner shell expands them
  play xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
    '. scripts/lib.sh; velmora_wait_for_wine; s=0; "$@" || s=$?; wineserver -w; exit $s' \
    bash "${run[@]}" --unattended "$script"
fi
velmora_wait_for_wine
play "${run[@]}" "$script"
