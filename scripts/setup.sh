#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build the project and export
# scenes (the default), and with --tests also what the tests, the Windows
# cross-build and the fresh-machine check need.
# Safe to run again: packages already present are left as they are.
# The group lists are read by name (declare -n), which shellcheck cannot see.
# shellcheck disable=SC2034
set -euo pipefail

usage() {
  echo "usage: scripts/setup.sh [--tests]"
  echo "  (none)   packages to build mdlexport and export a scene"
  echo "  --tests  also the packages the tests and checks need"
}

groups=(base)
for arg in "$@"; do
  case "$arg" in
    --tests) groups+=(tests) ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done

# Each group lists its packages one a line, and the foreign architectures
# (dpkg --add-architecture) its packages come from, if any; they are read
# by name below.
base_architectures=()
base_packages=(
  cmake
  g++
  make
  pkg-config
  libassimp-dev
  # libassimp-dev's CMake target links libz.so, but the package does not
  # depend on zlib1g-dev, which provides it: without this the link fails.
  zlib1g-dev
  libstb-dev
  libjpeg-dev
)

tests_architectures=(
  # wine32
  i386
)
tests_packages=(
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  # the mdlexport tests compare with what Assimp's own "assimp info" reads
  assimp-utils
  g++-mingw-w64-i686
  binutils-mingw-w64-i686
  # scripts/fresh-machine-check.sh builds a minimal Debian root with it
  debootstrap
  # scripts/fuzz.sh: libFuzzer and the sanitizer runtimes come with clang's
  # runtime package; scripts/memcheck.sh runs valgrind
  clang
  libclang-rt-14-dev
  valgrind
  # the examine tests read mdlinfo's JSON back with it
  nlohmann-json3-dev
  # the engine tests load our models in a real engine, DarkPlaces
  darkplaces-server
  # the install test renders the manual pages with man -l
  man-db
  # scripts/package.sh: CPack works out the package's Depends with dpkg-shlibdeps
  dpkg-dev
  # scripts/windows-libraries.sh: zlib for Windows, and utf8cpp's headers
  libz-mingw-w64-dev
  libutfcpp-dev
  # scripts/windows-tools.sh packs the Windows zip
  zip
  unzip
)
# scripts/wine-tests.sh: Wine (32-bit, and 64-bit with the 64-bit cross
# compiler for kernels that run no 32-bit programs), Wine's own fonts, a
# virtual display and screenshots. Installed without their recommendations,
# which are a desktop's worth.
tests_lean_packages=(
  g++-mingw-w64-x86-64-win32
  binutils-mingw-w64-x86-64
  wine
  wine64
  wine32:i386
  fonts-wine
  xvfb
  xauth
  imagemagick
)
base_lean_packages=()

apt_lock=(-o DPkg::Lock::Timeout=900)

architectures=()
packages=()
lean_packages=()
for group in "${groups[@]}"; do
  declare -n group_architectures="${group}_architectures"
  declare -n group_packages="${group}_packages"
  declare -n group_lean_packages="${group}_lean_packages"
  architectures+=("${group_architectures[@]}")
  packages+=("${group_packages[@]}")
  lean_packages+=("${group_lean_packages[@]}")
  unset -n group_architectures group_packages group_lean_packages
done

native=$(dpkg --print-architecture)
foreign=$(dpkg --print-foreign-architectures)
new_architectures=()
for architecture in "${architectures[@]}"; do
  [ "$architecture" = "$native" ] && continue
  grep -qx "$architecture" <<<"$foreign" || new_architectures+=("$architecture")
done

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
lean_missing=()
for package in "${lean_packages[@]}"; do
  installed "$package" || lean_missing+=("$package")
done

[ ${#missing[@]} -eq 0 ] && [ ${#lean_missing[@]} -eq 0 ] && [ ${#new_architectures[@]} -eq 0 ] &&
  exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "setup: these packages are missing: ${missing[*]} ${lean_missing[*]}" >&2
    echo "setup: installing them needs root, and sudo is not installed." >&2
    echo "setup: run this script as root, or install sudo and allow this user to use it." >&2
    exit 1
  fi
  if ! sudo -v; then
    echo "setup: these packages are missing: ${missing[*]} ${lean_missing[*]}" >&2
    echo "setup: installing them needs root, and this user ($(id -un)) cannot use sudo." >&2
    echo "setup: run this script as root, or allow this user to use sudo." >&2
    exit 1
  fi
  as_root=(sudo)
fi

for architecture in "${new_architectures[@]}"; do
  echo "Adding architecture: $architecture"
  "${as_root[@]}" dpkg --add-architecture "$architecture"
done
echo "Installing: ${missing[*]} ${lean_missing[*]}"
"${as_root[@]}" apt-get "${apt_lock[@]}" update -qq
if [ ${#missing[@]} -gt 0 ]; then
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get "${apt_lock[@]}" install -y -qq "${missing[@]}"
fi
if [ ${#lean_missing[@]} -gt 0 ]; then
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get "${apt_lock[@]}" install -y -qq --no-install-recommends "${lean_missing[@]}"
fi
