#!/usr/bin/env bash
# Exports the bundled example and an animated shared scene (the skinned,
# textured dwarf) under Valgrind's memcheck: any read of an uninitialised or
# unowned byte, in the converter, the host stand-ins or the Vandrell.dlo
# module it loads, fails the run. Expects build/ to be built (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

memcheck() {
  valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
    build/bin/mdlexport "$@"
}

memcheck --frames all examples/example.gltf "$out/example.mdl"
if [ -f ../shared/scenes/dwarf.x ]; then
  memcheck --frames 10 ../shared/scenes/dwarf.x "$out/dwarf.mdl"
else
  echo "memcheck: ../shared/scenes is absent; only the bundled example was checked"
fi
echo "memcheck: no errors"
