#!/usr/bin/env bash
# Makes the Debian package, build-package/vandrell_VERSION_ARCH.deb: the
# commands and the module alone (no tests, no benchmarks) built in
# build-package/ as the tests build them (RelWithDebInfo, then stripped),
# installed under /usr by CPack, with its Depends worked out from the
# binaries by dpkg-shlibdeps. Checks what the package says and holds, and
# that Debian's lintian finds no error and no warning in it (its output is
# shown), and prints its path on the last line.
#
# Needs dpkg-dev and lintian (scripts/setup.sh --tests).
set -euo pipefail
cd "$(dirname "$0")/.."
build="build-package"

command -v dpkg-shlibdeps >/dev/null ||
  { echo "package: dpkg-shlibdeps is missing (dpkg-dev; scripts/setup.sh --tests)" >&2; exit 1; }
command -v lintian >/dev/null ||
  { echo "package: lintian is missing (scripts/setup.sh --tests)" >&2; exit 1; }

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVANDRELL_BUILD_TESTS=OFF -DVANDRELL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target mdlexport mdlinfo blender_addon >/dev/null
rm -f "$build"/vandrell_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }

debs=("$build"/vandrell_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package: cpack made no single .deb" >&2
  exit 1
fi
deb=${debs[0]}

# The package names the libraries its binaries load, and holds our tree.
fail=0
depends=$(dpkg-deb -f "$deb" Depends)
names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for library in libassimp5 libstdc++6 libc6; do
  grep -qxF "$library" <<<"$names" || { echo "package: Depends names no $library: $depends"; fail=1; }
done
if grep -q 'dpkg-shlibdeps: warning' "$build/cpack.log"; then
  grep 'dpkg-shlibdeps: warning' "$build/cpack.log"
  fail=1
fi
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for file in ./usr/bin/mdlexport ./usr/bin/mdlinfo ./usr/lib/vandrell/Vandrell.dlo \
            ./usr/lib/vandrell/libhostsdk.so ./usr/lib/vandrell/libwin32.so \
            ./usr/share/man/man1/mdlexport.1.gz ./usr/share/man/man1/mdlinfo.1.gz \
            ./usr/share/doc/vandrell/copyright ./usr/share/doc/vandrell/changelog.gz \
            ./usr/share/doc/vandrell/README.md ./usr/share/doc/vandrell/examples/example.gltf \
            ./usr/share/vandrell/blender/io_scene_quake_mdl.zip; do
  grep -qxF "$file" <<<"$contents" || { echo "package: $deb holds no $file"; fail=1; }
done
# The add-on's zip as Blender's Install button takes it: the add-on's files
# in io_scene_quake_mdl/, and no tools (installed, it finds /usr/bin/mdlexport
# on PATH).
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
addon=$(unzip -Z1 "$unpacked/usr/share/vandrell/blender/io_scene_quake_mdl.zip" | sort | xargs) ||
  { echo "package: the add-on's zip cannot be read"; fail=1; }
expected=$(cd blender && find io_scene_quake_mdl -maxdepth 1 -name '*.py' | sort | xargs)
if [ "$addon" != "io_scene_quake_mdl/ $expected" ]; then
  echo "package: the add-on's zip holds \"$addon\", not io_scene_quake_mdl/ with $expected"
  fail=1
fi
# apt show prints the description as it stands: no CMake list separators.
if dpkg-deb -f "$deb" Description | grep -q ';'; then
  echo "package: the description holds a ';':"
  dpkg-deb -f "$deb" Description
  fail=1
fi
# The changelog's latest entry is the release the package is.
changelog_version=$(dpkg-parsechangelog -l cmake/debian/changelog -S Version)
if [ "$changelog_version" != "$(dpkg-deb -f "$deb" Version)" ]; then
  echo "package: cmake/debian/changelog's latest entry is $changelog_version," \
    "the package $(dpkg-deb -f "$deb" Version)"
  fail=1
fi
# Errors and warnings fail; information tags are shown and pass. No tag is
# overridden.
lintian --fail-on error,warning --display-info "$deb" || { echo "package: lintian failed on $deb"; fail=1; }
[ $fail -eq 0 ] || exit 1
echo "package: $(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Version) ($(dpkg-deb -f "$deb" Architecture)), $(stat -c %s "$deb") bytes; Depends: $depends"
echo "$deb"
