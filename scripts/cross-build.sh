#!/usr/bin/env bash
# Builds the plug-in as a 32-bit Windows DLL with MinGW-w64 and checks that its
# export directory names the library "Vandrell.dlo" and carries the four entry
# points. The stand-in host's scene library is built too, so that it stays
# buildable for Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
      -DCMAKE_BUILD_TYPE=Release -DVANDRELL_BUILD_TESTS=OFF >/dev/null
cmake --build build-win32 -j "$(nproc)" --target Vandrell hostapp_scene

dll=build-win32/bin/Vandrell.dlo
dump=$(i686-w64-mingw32-objdump -p "$dll")
fail=0
grep -q "file format pei-i386" <<<"$dump" || { echo "cross-build: $dll is not a PE32 image"; fail=1; }
grep -q "Name.*Vandrell.dlo" <<<"$dump" || { echo "cross-build: export directory does not name Vandrell.dlo"; fail=1; }
for entry in LibDescription LibNumberClasses LibClassDesc LibVersion; do
  grep -qE "\] $entry\$" <<<"$dump" || { echo "cross-build: export $entry missing"; fail=1; }
done
[ $fail -eq 0 ] && echo "cross-build: $dll exports the four entry points as Vandrell.dlo"
exit $fail
