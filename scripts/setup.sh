#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the project.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libassimp-dev assimp-utils libstb-dev libjpeg-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
)

# The Windows tests (scripts/wine-tests.sh): the 64-bit cross compiler for
# machines whose kernel runs no 32-bit programs, Wine (64- and 32-bit, the
# latter from the i386 architecture), a virtual display and screenshots.
# Without Wine's recommendations, which are a desktop's worth.
wine_packages=(
  g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 fonts-wine xvfb xauth imagemagick
)

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo_cmd dpkg --add-architecture i386
fi

missing_from() {
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || echo "$package"
  done
}
mapfile -t missing < <(missing_from "${packages[@]}")
mapfile -t wine_missing < <(missing_from "${wine_packages[@]}")

if [ ${#missing[@]} -gt 0 ] || [ ${#wine_missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]} ${wine_missing[*]}"
  $sudo_cmd apt-get -o DPkg::Lock::Timeout=900 update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    "${missing[@]}"
fi
if [ ${#wine_missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends "${wine_missing[@]}"
fi
