# shellcheck shell=bash
# Shared by the project's scripts: installs what the build needs on Debian 12,
# builds quietly, and runs Wine in a prefix of the build folder's own so that
# the user's ~/.wine and the Wine servers of their own programs stay untouched.

VELMORA_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev googletest wine wine64 xvfb xauth fonts-noto-cjk imagemagick zip)

velmora_ensure_packages() {
  local missing=()
  for p in "${VELMORA_PACKAGES[@]}" "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The compiler's lines go to BUILD_DIR/build.log; it is shown only on failure.
velmora_build_log() {
  echo "$1/build.log"
}

velmora_show_failed_build() {
  local log
  log=$(velmora_build_log "$1")
  cat "$log" >&2
  echo "The build failed; its log is $log" >&2
  return 1
}

# velmora_configure BUILD_DIR [CMAKE_OPTION...]: BUILD_DIR configured as the
# "default" preset of CMakePresets.json says, with the options given on top.
velmora_configure() {
  local dir=$1
  shift
  mkdir -p "$dir"
  cmake --preset default -B "$dir" "$@" >"$(velmora_build_log "$dir")" 2>&1 ||
    velmora_show_failed_build "$dir"
}

# velmora_build BUILD_DIR [TARGET...]   (no target: everything)
velmora_build() {
  local dir=$1
  shift
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  cmake --build "$dir" "${targets[@]}" >>"$(velmora_build_log "$dir")" 2>&1 ||
    velmora_show_failed_build "$dir"
}

# velmora_use_wine BUILD_DIR [NAME]: every Wine command after this runs in the
# prefix BUILD_DIR/NAME (default BUILD_DIR/wine, the prefix that the folder's
# BUILD_DIR/wine-run gives CTest's tests: cmake/wine-run.in).
velmora_use_wine() {
  export WINEPREFIX="$PWD/$1/${2:-wine}"
  export WINEDEBUG=-all
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  # No menu builder: it would add folders to the menus in the user's home.
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
}

# velmora_use_play_wine BUILD_DIR: the prefix of the plays and the demo,
# BUILD_DIR/wine-play. The tests' fixture stops the server of BUILD_DIR/wine
# when a suite ends, and with it every program running there; in a prefix of
# their own, a play or the demo runs to its end whatever a test run does.
velmora_use_play_wine() {
  velmora_use_wine "$1" wine-play
}

# velmora_fresh_plugin_folder BUILD_DIR FOLDER: FOLDER emptied and given the
# module just built, so that no Velmora.ini of an earlier run changes what the
# plug-in does.
velmora_fresh_plugin_folder() {
  rm -rf "$2"
  mkdir -p "$2"
  cp "$1/bin/Velmora.aux2" "$2/"
}

# The first Wine command in a new prefix fills it (8 to 20 s); a script starts
# this in the background while it builds. Without a display, so that no
# "updating the configuration" window appears and no desktop is kept anywhere.
velmora_create_wine_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  (
    unset DISPLAY
    wine cmd /c exit
    wineserver -w
  ) </dev/null >/dev/null 2>&1 || true
}

# velmora_locked BUILD_DIR COMMAND...: runs COMMAND while no other script of
# the project configures or builds in BUILD_DIR (a play started during a test
# run's build, say): two at once would write the same files.
velmora_locked() {
  local dir=$1
  shift
  mkdir -p "$dir"
  (
    if ! flock -n 9; then
      echo "Waiting for another build in $dir/ to finish ..." >&2
      flock 9
    fi
    "$@"
  ) 9>"$dir/.build-lock"
}

# velmora_build_with_prefix BUILD_DIR "TARGET..." [CMAKE_OPTION...]:
# configures and builds (no target: everything) while the Wine prefix that
# velmora_use_wine chose is made in the background; fails when the build did.
velmora_build_with_prefix() {
  local dir=$1 words=$2
  shift 2
  mkdir -p "$dir"
  velmora_create_wine_prefix &
  local prefix_job=$!
  local built=0
  # shellcheck disable=SC2086  # the targets are words
  velmora_locked "$dir" velmora_configure "$dir" "$@" &&
    velmora_locked "$dir" velmora_build "$dir" $words && built=1
  wait $prefix_job
  [ $built -eq 1 ]
}

# velmora_build_preset PRESET BUILD_DIR: configures and builds what the
# configure and build presets PRESET of CMakePresets.json say, while the Wine
# prefix of BUILD_DIR, the preset's folder, is made in the background; fails
# when the build did.
velmora_build_preset() {
  local preset=$1 dir=$2
  mkdir -p "$dir"
  (velmora_use_wine "$dir" && velmora_create_wine_prefix) &
  local prefix_job=$!
  local built=0
  # shellcheck disable=SC2016  # the inner shell expands them
  velmora_locked "$dir" bash -c '{ cmake --preset "$1" && cmake --build --preset "$1"; } >"$2" 2>&1' \
    bash "$preset" "$(velmora_build_log "$dir")" && built=1
  wait $prefix_job
  [ $built -eq 1 ] || velmora_show_failed_build "$dir"
}

# The settings dialog of a play shows as docs/settings-dialog.png does, in
# the prefix's own settings only: once a prefix has them, this does nothing.
velmora_dialog_look() {
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  [ -f "$fonts/marlett.ttf" ] && return 0
  # The dialog asks for "Yu Gothic UI", which Linux does not have; the caption
  # falls back on the Japanese system font. Both are drawn with Noto Sans CJK.
  for face in "Yu Gothic UI" "MS UI Gothic"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "Noto Sans CJK JP" /f \
      </dev/null >/dev/null 2>&1
  done
  # Wine draws the frame and the caption itself, so that a virtual display
  # without a window manager shows them, and a picture of the window holds them.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  # It draws the caption's buttons as characters of Marlett, a font of Wine's
  # own (Debian's fonts-wine), which only a prefix's own font folder makes it
  # find; without it the close box shows the letter "r". Copied last: it
  # marks the prefix as done.
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
}

# A Wine server keeps its desktop on the display it started under, and ends
# by itself when its last program does. A script that shows a window on its
# display waits here for a server of the prefix that runs another play or the
# demo to end: stopping it would end their runs. Only this prefix's server.
velmora_wait_for_wine() {
  [ -n "${WINEPREFIX:-}" ] || { echo "velmora_wait_for_wine: no WINEPREFIX" >&2; return 1; }
  timeout 2 wineserver -w </dev/null >/dev/null 2>&1 && return 0
  echo "Waiting for another run in $WINEPREFIX to end ..." >&2
  wineserver -w </dev/null >/dev/null 2>&1 || true
}
