#!/usr/bin/env bash
# Builds the tools for 64-bit Windows and packs them:
# build-windows/vandrell-VERSION-windows-x64.zip holds mdlexport.exe and
# mdlinfo.exe with the 64-bit plug-in they load (Vandrell.dlo and
# libhostsdk.dll beside them), the exporter in its native 32-bit form in
# plugin-32bit/, the Blender add-on's zip carrying the same tools
# (io_scene_quake_mdl.zip), the example scene, a README for Windows users, our LICENSE
# and the notices of everything else linked into the programs (licenses/ and
# THIRD-PARTY-NOTICES.txt, by scripts/windows-notices.sh from the linker's
# maps).
#
# The tools are cross-built with MinGW-w64 in build-windows/, optimised as the
# Linux build is (RelWithDebInfo, the debug sections stripped), against Assimp
# and libjpeg built for Windows by scripts/windows-libraries.sh (cached), the
# 32-bit plug-in
# by scripts/cross-build.sh in build-win32/. Every binary links the MinGW
# runtime statically: each is checked to import nothing but system DLLs and
# libhostsdk.dll. Prints the zip's path on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
build="build-windows"

version=$(sed -n 's/^project(Vandrell VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "windows-tools: no version in CMakeLists.txt" >&2; exit 1; }
name=vandrell-$version-windows-x64

libraries=$(scripts/windows-libraries.sh | tail -n 1)
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANDRELL_BUILD_TESTS=OFF -DVANDRELL_WINDOWS_TOOLS=ON \
      -DCMAKE_EXE_LINKER_FLAGS=-Wl,-Map=%.map -DCMAKE_SHARED_LINKER_FLAGS=-Wl,-Map=%.map \
      -DCMAKE_MODULE_LINKER_FLAGS=-Wl,-Map=%.map \
      -Dassimp_DIR="$libraries/lib/cmake/assimp-5.2" -Ddraco_DIR="$libraries/lib/cmake/draco" \
      -DJPEG_LIBRARY="$libraries/lib/libjpeg.a" -DJPEG_INCLUDE_DIR="$libraries/include" >/dev/null
cmake --build "$build" -j "$(nproc)" --target mdlexport mdlinfo Vandrell >"$build/build.log" 2>&1 ||
  { grep -E 'error|Error' "$build/build.log" | head -n 30 >&2; exit 1; }
if grep -q 'warning:' "$build/build.log"; then
  grep -A3 'warning:' "$build/build.log" >&2
  echo "windows-tools: the build has warnings" >&2
  exit 1
fi
scripts/cross-build.sh i686 >"$build/cross-build-i686.log" 2>&1 ||
  { cat "$build/cross-build-i686.log" >&2; exit 1; }

bin=$build/bin
scripts/check-imports.sh x86_64 "$bin/mdlexport.exe" "$bin/mdlinfo.exe" "$bin/Vandrell.dlo" \
  "$bin/libhostsdk.dll"
scripts/check-imports.sh i686 build-win32/bin/Vandrell.dlo build-win32/bin/libhostsdk.dll

stage=$build/zip/$name
rm -rf "$build/zip"
mkdir -p "$stage/plugin-32bit" "$stage/examples"
cp "$bin/mdlexport.exe" "$bin/mdlinfo.exe" "$bin/Vandrell.dlo" "$bin/libhostsdk.dll" "$stage/"
cp build-win32/bin/Vandrell.dlo build-win32/bin/libhostsdk.dll "$stage/plugin-32bit/"
cp examples/example.gltf examples/example_checker.png "$stage/examples/"
# Windows line ends, so that Notepad shows the lines.
sed "s/@VERSION@/$version/g; s/\$/\r/" docs/README-windows.txt >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
# What each binary links, as linked (before stripping).
scripts/windows-notices.sh "$stage" "$libraries" "$bin/mdlexport.exe" "$bin/mdlinfo.exe" \
  "$bin/Vandrell.dlo" "$bin/libhostsdk.dll" build-win32/bin/Vandrell.dlo build-win32/bin/libhostsdk.dll
# The debug sections take most of the size and help no user.
for binary in "$stage"/*.exe "$stage"/*.dll "$stage"/*.dlo; do
  x86_64-w64-mingw32-strip --strip-debug "$binary"
done
for binary in "$stage"/plugin-32bit/*; do i686-w64-mingw32-strip --strip-debug "$binary"; done

# The Blender add-on, carrying the tools and their notices in its own folder:
# Blender's Install button unpacks it into its add-ons folder, where the
# add-on finds mdlexport.exe beside itself.
addon_tools=$build/zip/addon-tools
mkdir -p "$addon_tools"
cp -R "$stage"/*.exe "$stage"/*.dll "$stage"/*.dlo "$stage/LICENSE.txt" \
  "$stage/THIRD-PARTY-NOTICES.txt" "$stage/licenses" "$addon_tools/"
scripts/blender-addon.sh --tools "$addon_tools" "$stage/io_scene_quake_mdl.zip" >/dev/null
rm -rf "$addon_tools"
addon=$(unzip -Z1 "$stage/io_scene_quake_mdl.zip")
for file in __init__.py tool.py mdlexport.exe mdlinfo.exe Vandrell.dlo libhostsdk.dll \
            LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  grep -qxF "io_scene_quake_mdl/$file" <<<"$addon" ||
    { echo "windows-tools: the add-on's zip holds no io_scene_quake_mdl/$file" >&2; exit 1; }
done

zip=$build/$name.zip
rm -f "$zip"
(cd "$build/zip" && zip -q -X -r "../$name.zip" "$name")
echo "windows-tools: $zip, $(stat -c %s "$zip") bytes:" \
  "$(cd "$build/zip" && find "$name" -type f | sort | xargs)"
echo "$zip"
