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
# BUILD_DIR/wine-run gives CTest's tests too: cmake/wine-run.in).
velmora_use_wine() {
  export WINEPREFIX="$PWD/$1/${2:-wine}"
  export WINEDEBUG=-all
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  # No menu builder: it would add folders to the menus in the user's home.
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
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

# velmora_build_with_prefix BUILD_DIR "TARGET..." [CMAKE_OPTION...]:
# configures and builds (no target: everything) while the folder's Wine
# prefix is made in the background; fails when the build did.
velmora_build_with_prefix() {
  local dir=$1 targets=$2
  shift 2
  mkdir -p "$dir"
  (velmora_use_wine "$dir" && velmora_create_wine_prefix) &
  local prefix_job=$!
  local built=0
  # shellcheck disable=SC2086  # the targets are words
  velmora_configure "$dir" "$@" && velmora_build "$dir" $targets && built=1
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
  {
    cmake --preset "$preset" && cmake --build --preset "$preset"
  } >"$(velmora_build_log "$dir")" 2>&1 && built=1
  wait $prefix_job
  [ $built -eq 1 ] || velmora_show_failed_build "$dir"
}

# Starts the prefix's server for a script that runs Wine programs itself
# (CTest's tests get theirs from the fixture "wine" of tests/CMakeLists.txt).
# A running server keeps its desktop on the display it was started under; if
# that display is gone (or there was none), no dialog can open. So a server of
# this prefix left by an earlier run is stopped and a new one started under
# the current display. Only this prefix's server: the user's own Wine goes on
# running.
velmora_start_wine() {
  velmora_stop_wine
  # A persistent server keeps later runs fast. Wine's own services start with
  # the first program and keep its output open while the server lives: that
  # program writes nowhere, so no caller's pipe is held.
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

velmora_stop_wine() {
  [ -n "${WINEPREFIX:-}" ] || { echo "velmora_stop_wine: no WINEPREFIX" >&2; return 1; }
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
}
