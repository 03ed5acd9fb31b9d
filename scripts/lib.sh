# Shared by the project's scripts: installs what the build needs on Debian 12
# and prepares Wine so that CTest's pipes are not inherited by its servers.

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

velmora_start_wine() {
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # A running server keeps its desktop on the display it was started under;
  # if that display is gone (or there was none), no dialog can open. Start
  # afresh under the current one.
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  # The first run creates the prefix; a persistent server keeps later runs
  # fast, and redirecting everything keeps it off CTest's output pipes.
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

velmora_configure_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "$@" >/dev/null
  cmake --build "$dir"
}
