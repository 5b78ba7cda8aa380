#!/usr/bin/env bash
# Sets up a fresh machine, builds everything, runs every test, and checks the
# Windows cross-build of the plug-in.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"
scripts/cross-build.sh
