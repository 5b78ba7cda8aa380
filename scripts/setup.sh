#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test the project.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libassimp-dev assimp-utils libstb-dev libjpeg-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  # for the tests: JSON read back, and a real engine that loads our models
  nlohmann-json3-dev darkplaces-server
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  echo "Installing: ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
