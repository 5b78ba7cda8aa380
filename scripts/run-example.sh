#!/usr/bin/env bash
# Sets up a fresh machine, builds, exports the bundled example scene (an
# animated two-material figure made by examples/make_example.cpp) with every
# frame of its animation, prints what was written and draws its frames into
# build/example-preview.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build/bin/mdlexport --frames all --base-name wave examples/example.gltf build/example.mdl
build/bin/mdlinfo build/example.mdl
build/bin/mdlinfo build/example.mdl --preview build/example-preview.png --sheet --size 960x320
