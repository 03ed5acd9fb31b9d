#!/usr/bin/env bash
# Plays your own scenario script in velmora-host.exe the way the demo plays
# demo/paste.txt: builds only the plug-in and velmora-host in build/ (the
# compiler's lines go to build/build.log), copies the plug-in into a fresh
# plug-in folder, build/play/plugins, unless --plugins names one, and runs
# in the project's Wine prefix, build/wine, with the scripts' environment,
# so that nothing is written to your home folder. The pictures go to
# build/play/pictures unless --out names a folder. A script that opens the
# settings dialog gets a virtual display when there is no DISPLAY.
#
#   bash scripts/play.sh SCRIPT [--plugins FOLDER] [--out FOLDER] [--check]
#   bash scripts/play.sh --help          (this, and velmora-host's commands)
#
# The exit status is velmora-host's: 0 when everything ran and held, 1 when
# something failed while it ran, 2 when the script or the command line is
# wrong (then nothing has run).
set -euo pipefail

usage() { sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; }
fail() {
  echo "play.sh: $1" >&2
  exit 2
}

script='' plugins='' out='' help='' check=()
while [ $# -gt 0 ]; do
  case $1 in
    --plugins | --out)
      [ $# -ge 2 ] && [ -n "$2" ] || fail "$1 needs a folder after it"
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
velmora_use_wine "$build"
echo "Building Velmora.aux2 and velmora-host.exe in $build/ (log: $(velmora_build_log "$build")) ..." >&2
velmora_build_with_prefix "$build" "Velmora velmora-host" -DCMAKE_BUILD_TYPE=Release
host=$build/bin/velmora-host.exe

if [ -n "$help" ]; then
  usage
  echo
  wine "$host" --help
  exit 0
fi

if [ -z "$plugins" ]; then
  plugins=$PWD/$build/play/plugins
  velmora_fresh_plugin_folder "$build" "$plugins"
fi
if [ -z "$out" ]; then
  out=$PWD/$build/play/pictures
  rm -rf "$out"
fi
run=(wine "$host" "${check[@]}" --plugins "$plugins" --out "$out" "$script")

# A server of this prefix keeps the display it started under, so a script
# that opens the dialog gets a server of its own on the display it runs on.
if [ ${#check[@]} -gt 0 ] || ! grep -qE '^[[:space:]]*dialog([[:space:]#]|$)' "$script"; then
  exec "${run[@]}"
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "The script opens the settings dialog: it runs on a virtual display (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
    '. scripts/lib.sh; velmora_start_wine; s=0; "$@" || s=$?; velmora_stop_wine; exit $s' bash "${run[@]}"
fi
velmora_start_wine
status=0
"${run[@]}" || status=$?
velmora_stop_wine
exit $status
