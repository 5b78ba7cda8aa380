#!/usr/bin/env bash
# Cross-builds the libraries the Windows tools link, for 64-bit Windows with
# MinGW-w64, as static libraries, from Debian's own source packages of them:
# the versions this machine's Linux build uses, so that the Windows tools
# read scenes and decode textures as the Linux build does.
#  - Assimp (libassimp-dev's source): only the importers of the formats
#    mdlexport documents, and no exporter, test or tool of Assimp. What
#    Debian's repacked source leaves out comes from Debian too: zlib from
#    libz-mingw-w64-dev, minizip from its own source package, utf8cpp's
#    headers from libutfcpp-dev (a header-only package whose source package
#    the mirror may not carry). Draco-compressed glTF meshes are not read.
#  - libjpeg (libjpeg-dev's source, libjpeg-turbo), without its SIMD code,
#    which decodes to the same pixels: the SDK library decodes with it the
#    JPEG files stb_image refuses, as on Linux.
#
# The sources come through apt with a source entry of this script's own: a
# private apt state (its sources list, lists and cache) in the work folder,
# made from the machine's own Debian mirror, so that the machine's apt
# configuration is left as it is and no root is needed.
#
# The result is kept in a cache folder that later runs on the same machine
# reuse while its inputs are the same: the source packages' versions, the
# compiler, zlib, the flags and this script. Prints the folder (a prefix with
# include/, lib/ and licenses/, the notices of what was built) on its last
# line.
#
#   scripts/windows-libraries.sh
#
# VANDRELL_CACHE sets the cache folder (default ~/.cache/vandrell).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

say() { echo "windows-libraries: $*" >&2; }
die() { say "$*"; exit 1; }

triplet=x86_64-w64-mingw32
importers="GLTF FBX OBJ COLLADA X MD2 MD3 MDL SMD MS3D 3DS STL PLY 3MF"
# Debian builds Assimp at -O2; -O2 here too (Assimp asks MinGW for -O3 first,
# and the last -O given wins).
flags="-O2"

version_of() { # PACKAGE: its installed version's source version
  dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || true
}
assimp_version=$(version_of libassimp-dev)
minizip_version=$(version_of libminizip-dev)
jpeg_version=$(version_of libjpeg62-turbo-dev)
zlib_version=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev 2>/dev/null || true)
utfcpp_version=$(dpkg-query -W -f='${Version}' libutfcpp-dev 2>/dev/null || true)
compiler_version=$($triplet-g++ -dumpfullversion 2>/dev/null || true)
[ -n "$assimp_version" ] || die "libassimp-dev is not installed (scripts/setup.sh)"
[ -n "$minizip_version" ] || die "libminizip-dev is not installed (it comes with libassimp-dev)"
[ -n "$jpeg_version" ] || die "libjpeg62-turbo-dev is not installed (libjpeg-dev; scripts/setup.sh)"
[ -n "$zlib_version" ] || die "libz-mingw-w64-dev is not installed (scripts/setup.sh --tests)"
[ -n "$utfcpp_version" ] || die "libutfcpp-dev is not installed (scripts/setup.sh --tests)"
[ -n "$compiler_version" ] || die "$triplet-g++ is missing (scripts/setup.sh --tests)"
command -v dpkg-source >/dev/null || die "dpkg-source is missing (dpkg-dev; scripts/setup.sh --tests)"

key=$( {
  echo "assimp $assimp_version minizip $minizip_version jpeg $jpeg_version"
  echo "zlib $zlib_version utfcpp $utfcpp_version"
  echo "compiler $compiler_version flags $flags importers $importers"
  cat "$0" "$repo/cmake/mingw-x86_64.cmake"
} | sha256sum | cut -c1-16)
cache=${VANDRELL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vandrell}
prefix=$cache/windows-libraries-x64-$key
if [ -f "$prefix/ready" ]; then
  say "Assimp $assimp_version and libjpeg $jpeg_version for Windows, from the cache: $prefix"
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
# One build at a time per cache; a second run waits and then finds it made.
exec 9>"$cache/windows-libraries.lock"
flock 9
if [ -f "$prefix/ready" ]; then
  echo "$prefix"
  exit 0
fi
began=$SECONDS
work=$(mktemp -d "$cache/windows-libraries-work.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Source entries for the Debian repositories the machine installs its
# release from (the release itself, its updates and security suites, where
# the installed version may come from), with Debian's keyring.
# shellcheck disable=SC1091
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$suite" ] || die "/etc/os-release names no VERSION_CODENAME"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
[ -f "$keyring" ] || die "$keyring is missing (debian-archive-keyring)"
apt_state=$work/apt
mkdir -p "$apt_state/lists/partial" "$apt_state/cache/archives/partial"
# shellcheck disable=SC2016
apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 2>/dev/null | sort -u |
  awk -v suite="$suite" -v keyring="$keyring" '$2 == suite || index($2, suite "-") == 1 {
    print "deb-src [signed-by=" keyring "] " $1 " " $2 " main" }' >"$apt_state/sources.list"
[ -s "$apt_state/sources.list" ] || die "no apt source for $suite found in /etc/apt"
mirror=$(awk '{ print $3; exit }' "$apt_state/sources.list")
apt_options=(-o "Dir::Etc::SourceList=$apt_state/sources.list" -o "Dir::Etc::SourceParts=/nonexistent"
             -o "Dir::State::Lists=$apt_state/lists" -o "Dir::Cache=$apt_state/cache"
             -o "APT::Sandbox::User=root" -o Acquire::Retries=3)
say "fetching the source packages assimp $assimp_version, minizip $minizip_version and" \
  "libjpeg-turbo $jpeg_version from $mirror"
apt-get "${apt_options[@]}" update -qq >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; die "apt-get update of the source entry failed"; }
mkdir -p "$work/src"
(cd "$work/src" && apt-get "${apt_options[@]}" source --download-only -qq \
  "assimp=$assimp_version" "minizip=$minizip_version" "libjpeg-turbo=$jpeg_version") \
  >>"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; die "apt-get source failed"; }
(cd "$work/src" &&
  dpkg-source -x assimp_"${assimp_version#*:}".dsc assimp &&
  dpkg-source -x minizip_"${minizip_version#*:}".dsc minizip &&
  dpkg-source -x libjpeg-turbo_"${jpeg_version#*:}".dsc libjpeg-turbo) >"$work/unpack.log" 2>&1 ||
  { cat "$work/unpack.log" >&2; die "unpacking the sources failed"; }

# Built into the work folder and moved into the cache whole; the library
# list Assimp exports names minizip where it will then be.
out=$work/prefix
mkdir -p "$out/lib/cmake/draco" "$out/include/minizip" "$out/licenses"

# The notices of what is built here, from the very sources built (the
# Debian copyright files name every author and licence, Assimp's the code
# it bundles too), and of zlib and utf8cpp from their installed packages:
# the Windows zip carries them.
cp "$work/src/assimp/debian/copyright" "$out/licenses/assimp-copyright.txt"
cp "$work/src/assimp/LICENSE" "$out/licenses/assimp-LICENSE.txt"
cp "$work/src/minizip/debian/copyright" "$out/licenses/minizip-copyright.txt"
cp "$work/src/libjpeg-turbo/debian/copyright" "$out/licenses/libjpeg-turbo-copyright.txt"
cp "$work/src/libjpeg-turbo/LICENSE.md" "$out/licenses/libjpeg-turbo-LICENSE.md"
cp "$work/src/libjpeg-turbo/README.ijg" "$out/licenses/libjpeg-turbo-README.ijg.txt"
cp /usr/share/doc/libz-mingw-w64-dev/copyright "$out/licenses/zlib-copyright.txt"
cp /usr/share/doc/libutfcpp-dev/copyright "$out/licenses/utf8cpp-copyright.txt"

# minizip, as Debian builds libminizip: its reading half is all Assimp uses.
for file in ioapi unzip; do
  $triplet-gcc $flags -I/usr/$triplet/include -c "$work/src/minizip/$file.c" -o "$work/$file.o"
done
$triplet-ar rcs "$out/lib/libminizip.a" "$work/ioapi.o" "$work/unzip.o"
cp "$work/src/minizip/"{unzip.h,ioapi.h,crypt.h} "$out/include/minizip/"

# libjpeg: the library alone, static, its 6b interface as Debian's libjpeg62.
say "building libjpeg for Windows"
cmake -S "$work/src/libjpeg-turbo" -B "$work/jpeg" \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE= -DCMAKE_C_FLAGS="$flags" -DCMAKE_INSTALL_PREFIX="$out" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF >"$work/jpeg-configure.log" 2>&1 ||
  { tail -n 30 "$work/jpeg-configure.log" >&2; die "configuring libjpeg failed"; }
cmake --build "$work/jpeg" -j "$(nproc)" --target jpeg-static >"$work/jpeg-build.log" 2>&1 ||
  { grep -E 'error|Error' "$work/jpeg-build.log" | head -n 30 >&2; die "building libjpeg failed"; }
cp "$work/jpeg/libjpeg.a" "$out/lib/"
cp "$work/src/libjpeg-turbo/"{jpeglib.h,jmorecfg.h,jerror.h} "$work/jpeg/jconfig.h" "$out/include/"

# Debian's Assimp looks for its Draco decoder with find_package; this build
# has none to offer.
echo "# No Draco decoder in the Windows build." >"$out/lib/cmake/draco/draco-config.cmake"

importer_options=()
for importer in $importers; do importer_options+=("-DASSIMP_BUILD_${importer}_IMPORTER=ON"); done
say "building Assimp for Windows with the importers $importers"
cmake -S "$work/src/assimp" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE= -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags -isystem /usr/include/utf8cpp" \
  -DCMAKE_INSTALL_PREFIX="$out" -DBUILD_SHARED_LIBS=OFF \
  -DASSIMP_BUILD_TESTS=OFF -DASSIMP_BUILD_ASSIMP_TOOLS=OFF -DASSIMP_BUILD_SAMPLES=OFF \
  -DASSIMP_BUILD_DOCS=OFF -DASSIMP_NO_EXPORT=ON -DASSIMP_INSTALL_PDB=OFF \
  -DASSIMP_WARNINGS_AS_ERRORS=OFF -DASSIMP_IGNORE_GIT_HASH=ON \
  -DASSIMP_BUILD_ALL_IMPORTERS_BY_DEFAULT=OFF "${importer_options[@]}" \
  -DASSIMP_BUILD_ZLIB=OFF -DZLIB_LIBRARY=/usr/$triplet/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triplet/include \
  -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON -DUNZIP_FOUND=1 \
  -DUNZIP_INCLUDE_DIRS="$out/include/minizip" -DUNZIP_LIBRARIES="$prefix/lib/libminizip.a" \
  -Ddraco_DIR="$out/lib/cmake/draco" >"$work/configure.log" 2>&1 ||
  { tail -n 30 "$work/configure.log" >&2; die "configuring Assimp failed"; }
enabled=$(sed -n 's/^-- Enabled importer formats://p' "$work/configure.log" | tr ' ' '\n' | sort | xargs)
[ "$enabled" = "$(tr ' ' '\n' <<<"$importers" | sort | xargs)" ] ||
  die "Assimp would build the importers '$enabled', not '$importers'"
cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" 2>&1 ||
  { grep -E 'error|Error' "$work/build.log" | head -n 30 >&2; die "building Assimp failed"; }
cmake --install "$work/build" >"$work/install.log" 2>&1 ||
  { tail -n 20 "$work/install.log" >&2; die "installing Assimp failed"; }
grep "importer formats" "$work/configure.log" | sed 's/^-- /  /' >"$out/importers.txt"
echo "assimp $assimp_version, minizip $minizip_version, libjpeg-turbo $jpeg_version," \
  "zlib $zlib_version, utfcpp $utfcpp_version" >"$out/versions.txt"

# Only a whole result enters the cache, under its key.
rm -rf "$prefix"
mv "$out" "$prefix"
touch "$prefix/ready"
# Results for other inputs are of no more use.
for old in "$cache"/windows-libraries-x64-*; do
  [ "$old" = "$prefix" ] || rm -rf "$old"
done
say "built in $((SECONDS - began)) s: $prefix"
echo "$prefix"
