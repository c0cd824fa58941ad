# Sourced by the other scripts: installs the Debian packages the build needs when missing.
# shellcheck shell=bash

QUILLON_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QUILLON_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev qt6-base-dev
                  libjpeg-dev libfontconfig-dev xvfb xauth)

quillon_ensure_packages() {
  local missing=()
  for package in "${QUILLON_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
      || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Quillon needs these Debian packages: ${missing[*]}" >&2
    echo "Install them as root: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing ${missing[*]} ..."
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Configures and builds one preset of CMakePresets.json (normal, sanitizer, fuzz, windows) in
# its folder (build, build-asan, build-fuzz, build-windows): quillon_build PRESET [targets...]
quillon_build() {
  local preset=$1
  shift
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  # A folder configured from another source folder (an older layout) is made anew.
  local cache
  cache=$(quillon_build_folder "$preset")/CMakeCache.txt
  if [ -f "$cache" ] && ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$QUILLON_ROOT" "$cache"; then
    rm -rf "$(dirname "$cache")"
  fi
  (cd "$QUILLON_ROOT" && cmake --preset "$preset" >/dev/null &&
     cmake --build --preset "$preset" -j "$(nproc)" "${targets[@]}")
}

quillon_build_folder() {
  case $1 in
    normal) echo "$QUILLON_ROOT/build" ;;
    sanitizer) echo "$QUILLON_ROOT/build-asan" ;;
    fuzz) echo "$QUILLON_ROOT/build-fuzz" ;;
    windows) echo "$QUILLON_ROOT/build-windows" ;;
  esac
}
