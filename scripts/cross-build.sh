#!/usr/bin/env bash
# Builds the plug-in, its SDK library, the stand-in host's scene library and
# the Windows case runner with MinGW-w64, and checks the plug-in module: a PE
# image whose export directory names the library "Vandrell.dlo" and carries
# the four entry points, and which, like the SDK library and the case runner,
# imports nothing but system DLLs and the SDK library (the MinGW runtime is
# linked in).
#
#   scripts/cross-build.sh [i686|x86_64]    (i686, the product, by default)
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-i686}
case "$arch" in
  i686) build=build-win32; format=pei-i386 ;;
  x86_64) build=build-win64; format=pei-x86-64 ;;
  *) echo "usage: scripts/cross-build.sh [i686|x86_64]" >&2; exit 2 ;;
esac
# The linker's map beside each binary says what it was made of (the Windows
# zip's notices are drawn from it).
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DVANDRELL_BUILD_TESTS=OFF \
      -DCMAKE_EXE_LINKER_FLAGS=-Wl,-Map=%.map -DCMAKE_SHARED_LINKER_FLAGS=-Wl,-Map=%.map \
      -DCMAKE_MODULE_LINKER_FLAGS=-Wl,-Map=%.map >/dev/null
cmake --build "$build" -j "$(nproc)" --target Vandrell hostapp_scene scripted_export

objdump=$arch-w64-mingw32-objdump
dll=$build/bin/Vandrell.dlo
dump=$($objdump -p "$dll")
fail=0
grep -q "file format $format" <<<"$dump" || { echo "cross-build: $dll is not a $format image"; fail=1; }
grep -q "Name.*Vandrell.dlo" <<<"$dump" || { echo "cross-build: export directory does not name Vandrell.dlo"; fail=1; }
for entry in LibDescription LibNumberClasses LibClassDesc LibVersion; do
  grep -qE "\] $entry\$" <<<"$dump" || { echo "cross-build: export $entry missing"; fail=1; }
done

scripts/check-imports.sh "$arch" "$dll" "$build/bin/libhostsdk.dll" "$build/bin/scripted_export.exe" ||
  fail=1
[ $fail -eq 0 ] && echo "cross-build: $dll exports the four entry points as Vandrell.dlo and imports only system DLLs and libhostsdk.dll"
exit $fail
