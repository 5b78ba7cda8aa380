#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build the project and export
# scenes (the default), and with --tests also what the tests, the Windows
# cross-build and the fresh-machine check need.
#
#   scripts/setup.sh [--tests] [--dry-run]
#
# Safe to run again: packages already present are left as they are.
#
# A package index that fails to download (a mirror in the middle of a sync)
# does not stop the set-up: the update is tried a few times, then the
# set-up warns and goes on, and the installation decides. Only a required
# package that cannot be installed stops it.
#
# 32-bit Wine, which runs the 32-bit plug-in as its modelling host would, is
# wanted only where this kernel runs 32-bit programs, which a tiny 32-bit
# program tells by running. Only then is the i386 architecture added and
# wine32:i386 installed; elsewhere nothing of i386 is fetched, and the Wine
# tests run the 64-bit build under 64-bit Wine. Even where it is wanted it
# is optional: if it cannot be installed (its index is stale, say), the set-up
# warns and the Wine tests take the 64-bit route.
#
# --dry-run prints what the set-up would install and changes nothing. There,
# and only there, VANDRELL_SETUP_32BIT=yes|no stands in for the probe, so that
# the decisions can be tested on any machine.
#
# The group lists are read by name (declare -n), which shellcheck cannot see.
# shellcheck disable=SC2034
set -euo pipefail

usage() {
  echo "usage: scripts/setup.sh [--tests] [--dry-run]"
  echo "  (none)     packages to build mdlexport and export a scene"
  echo "  --tests    also the packages the tests and checks need"
  echo "  --dry-run  print the architectures and packages, install nothing"
}

groups=(base)
dry_run=0
for arg in "$@"; do
  case "$arg" in
    --tests) groups+=(tests) ;;
    --dry-run) dry_run=1 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done

# Each group lists its packages one a line: those installed with their
# recommendations, the "lean" ones without, and the foreign architectures
# (dpkg --add-architecture) its packages come from. A group whose packages
# are optional (all installed without recommendations) says what happens
# without them, and warns instead of stopping when they cannot be installed.
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
  # the build packs the Blender add-on's zip, which the install puts in
  # share/vandrell/blender (scripts/blender-addon.sh)
  zip
)
base_lean_packages=()

tests_architectures=()
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
  # the examine tests check mdlinfo's glTF files with the Khronos glTF
  # validator, an npm package (see npm_tools below)
  nodejs
  # the engine tests load our models in a real engine, DarkPlaces
  darkplaces-server
  # the install test renders the manual pages with man -l
  man-db
  # scripts/package.sh: the package's Depends are worked out with dpkg-shlibdeps,
  # and lintian checks the package as Debian checks its own
  dpkg-dev
  lintian
  # scripts/windows-libraries.sh: zlib for Windows, and utf8cpp's headers
  libz-mingw-w64-dev
  libutfcpp-dev
  # scripts/windows-tools.sh packs the Windows zip (with zip, a base package),
  # wine-tools-test.sh unpacks it
  unzip
  # the Blender add-on's tests run the real Blender headless; the add-on and
  # Blender's own glTF importer need numpy in Blender's Python
  blender
  python3-numpy
)
# Debian's nodejs comes without npm, which a package of its own brings; a
# Node.js that carries its own npm (NodeSource's) conflicts with that package.
command -v npm >/dev/null 2>&1 || tests_packages+=(npm)
# scripts/wine-tests.sh: 64-bit Wine with the 64-bit cross compiler (the
# route every kernel can take), Wine's own fonts, a virtual display and
# screenshots. Installed without their recommendations, which are a
# desktop's worth.
tests_lean_packages=(
  g++-mingw-w64-x86-64-win32
  binutils-mingw-w64-x86-64
  wine
  wine64
  fonts-wine
  xvfb
  xauth
  imagemagick
  # scripts/wine-tools-test.sh presses keys in the dialog mdlexport --dialog shows
  xdotool
)

# 32-bit Wine, for the 32-bit plug-in itself; joins the tests group only
# where this kernel runs 32-bit programs.
wine32_architectures=(i386)
wine32_packages=()
wine32_lean_packages=(wine32:i386)
wine32_optional="scripts/wine-tests.sh runs the 64-bit build under 64-bit Wine without it"

say() { echo "setup: $*"; }
warn() { echo "setup: warning: $*" >&2; }

# A static i386 program of 93 bytes (ELF header, one loadable segment, and
# "xor ebx,ebx; mov bl,42; xor eax,eax; inc eax; int 0x80": exit(42) through
# the 32-bit system call gate). Only a kernel that runs 32-bit programs
# returns 42; one with IA-32 emulation switched off refuses to execute it.
runs_32bit_programs() {
  local dir status=0
  dir=$(mktemp -d)
  {
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'
    printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'
    printf '\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00'
    printf '\x00\x10\x00\x00\x31\xdb\xb3\x2a\x31\xc0\x40\xcd\x80'
  } >"$dir/probe"
  chmod 755 "$dir/probe"
  "$dir/probe" 2>/dev/null || status=$?
  rm -rf "$dir"
  [ "$status" -eq 42 ]
}

if [[ " ${groups[*]} " == *" tests "* ]]; then
  if [ $dry_run -eq 1 ] && [ -n "${VANDRELL_SETUP_32BIT:-}" ]; then
    case "$VANDRELL_SETUP_32BIT" in
      yes) runs_32bit=1 ;;
      no) runs_32bit=0 ;;
      *) echo "setup: VANDRELL_SETUP_32BIT must be yes or no" >&2; exit 2 ;;
    esac
    how="as VANDRELL_SETUP_32BIT says"
  else
    [ -z "${VANDRELL_SETUP_32BIT:-}" ] || say "VANDRELL_SETUP_32BIT counts only with --dry-run; the probe decides"
    runs_32bit=0
    runs_32bit_programs && runs_32bit=1
    how="as a 32-bit program showed"
  fi
  if [ $runs_32bit -eq 1 ]; then
    say "this kernel runs 32-bit programs ($how): 32-bit Wine is wanted"
    groups+=(wine32)
  else
    say "this kernel runs no 32-bit programs ($how): 64-bit Wine only, nothing of i386"
  fi
fi

architectures=()
packages=()
lean_packages=()
optional_packages=()
optional_reasons=()
for group in "${groups[@]}"; do
  declare -n group_architectures="${group}_architectures"
  declare -n group_packages="${group}_packages"
  declare -n group_lean_packages="${group}_lean_packages"
  optional_var="${group}_optional"
  architectures+=("${group_architectures[@]}")
  if [ -n "${!optional_var:-}" ]; then
    optional_packages+=("${group_packages[@]}" "${group_lean_packages[@]}")
    optional_reasons+=("${!optional_var}")
  else
    packages+=("${group_packages[@]}")
    lean_packages+=("${group_lean_packages[@]}")
  fi
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
missing_of() { # PACKAGE...: those not installed, one a line
  local package
  for package in "$@"; do installed "$package" || echo "$package"; done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t lean_missing < <(missing_of "${lean_packages[@]}")
mapfile -t optional_missing < <(missing_of "${optional_packages[@]}")
all_missing=("${missing[@]}" "${lean_missing[@]}" "${optional_missing[@]}")

# npm packages the tests use, each at a pinned version in a folder of its own
# under build-tools/ (not committed): the Khronos glTF validator.
gltf_validator=gltf-validator@2.0.0-dev.3.10
validator_dir="$(cd "$(dirname "$0")/.." && pwd)/build-tools/gltf-validator"
npm_tools() {
  [[ " ${groups[*]} " == *" tests "* ]] || return 0
  local installed_version
  installed_version=$(sed -n 's/^ *"version": *"\(.*\)",*$/\1/p' \
    "$validator_dir/node_modules/gltf-validator/package.json" 2>/dev/null || true)
  [ "gltf-validator@$installed_version" = "$gltf_validator" ] && return 0
  say "installing $gltf_validator into $validator_dir"
  mkdir -p "$validator_dir"
  npm install --no-audit --no-fund --prefix "$validator_dir" "$gltf_validator" || {
    echo "setup: could not install $gltf_validator with npm" >&2
    exit 1
  }
}

if [ $dry_run -eq 1 ]; then
  echo "architectures: ${architectures[*]}"
  echo "packages: ${packages[*]}"
  echo "packages without recommendations: ${lean_packages[*]}"
  echo "optional packages without recommendations: ${optional_packages[*]}"
  echo "architectures to add here: ${new_architectures[*]}"
  echo "missing here: ${all_missing[*]}"
  [[ " ${groups[*]} " == *" tests "* ]] && echo "npm packages: $gltf_validator in $validator_dir"
  exit 0
fi

if [ ${#all_missing[@]} -eq 0 ] && [ ${#new_architectures[@]} -eq 0 ]; then
  npm_tools
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "setup: these packages are missing: ${all_missing[*]}" >&2
    echo "setup: installing them needs root, and sudo is not installed." >&2
    echo "setup: run this script as root, or install sudo and allow this user to use it." >&2
    exit 1
  fi
  if ! sudo -v; then
    echo "setup: these packages are missing: ${all_missing[*]}" >&2
    echo "setup: installing them needs root, and this user ($(id -un)) cannot use sudo." >&2
    echo "setup: run this script as root, or allow this user to use sudo." >&2
    exit 1
  fi
  as_root=(sudo)
fi

apt_lock=(-o DPkg::Lock::Timeout=900)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# shellcheck source=scripts/retry.sh
source "$(dirname "${BASH_SOURCE[0]}")/retry.sh"

# A mirror caught in the middle of a sync serves an index that does not
# match its release file for a while. If no try gets a consistent one, the
# indexes that did arrive (or the old ones) are used.
# shellcheck disable=SC2317 # called through retry
update_indexes_once() { "${as_root[@]}" apt-get "${apt_lock[@]}" update -qq >"$log" 2>&1; }
update_indexes() {
  retry "${VANDRELL_SETUP_UPDATE_ATTEMPTS:-3}" 10 "apt-get update" update_indexes_once && return 0
  warn "some package indexes could not be updated; going on with those apt has:"
  grep -E '^(E|W|Err):' "$log" | sed 's/^/setup:   /' >&2 || true
}

# install [--optional] [--lean] PACKAGE...: installs, showing apt's output.
# A failure names the packages that are still missing and apt's own error
# lines, and stops the set-up unless the packages are optional.
install() {
  local optional=0 options=() status=0 still
  [ "${1:-}" = --optional ] && { optional=1; shift; }
  [ "${1:-}" = --lean ] && { options+=(--no-install-recommends); shift; }
  [ $# -gt 0 ] || return 0
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get "${apt_lock[@]}" install -y -qq "${options[@]}" "$@" 2>&1 | tee "$log" ||
    status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] && return 0
  still=$(missing_of "$@" | tr '\n' ' ')
  if [ $optional -eq 1 ]; then
    warn "could not install the optional packages ${still:-$*}(apt-get exit $status); ${optional_reasons[*]}:"
  else
    echo "setup: could not install ${still:-$*}(apt-get exit $status):" >&2
  fi
  grep -E '^E:' "$log" | sed 's/^/setup:   /' >&2 || true
  [ $optional -eq 1 ] || exit 1
}

for architecture in "${new_architectures[@]}"; do
  say "adding architecture $architecture"
  "${as_root[@]}" dpkg --add-architecture "$architecture"
done
say "installing ${all_missing[*]}"
update_indexes
install "${missing[@]}"
install --lean "${lean_missing[@]}"
install --optional --lean "${optional_missing[@]}"
npm_tools
exit 0
