# Sourced by the other scripts: installs the Debian packages the build needs when missing.
# shellcheck shell=bash

QUILLON_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QUILLON_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev qt6-base-dev
                  libjpeg-dev xvfb xauth)

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

# Configures and builds one build folder: quillon_build FOLDER [cmake options...]
quillon_build() {
  local folder=$1
  shift
  cmake -S "$QUILLON_ROOT" -B "$folder" -G Ninja "$@" >/dev/null
  cmake --build "$folder" -j "$(nproc)"
}
