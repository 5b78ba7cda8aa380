#!/usr/bin/env bash
# Runs one case of tests/blender_test.py in the real Blender, headless, with
# the add-on installed from a zip made by scripts/blender-addon.sh into fresh
# user folders, and the tools of BIN_DIR on PATH. Exit 77 (skipped) where
# Blender is not installed.
#
#   tests/blender_test.sh BIN_DIR CASE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$1" && pwd)
case_name=$2

blender=$(command -v blender || true)
if [ -z "$blender" ]; then
  echo "blender_test: skipped: Blender is not installed (scripts/setup.sh --tests installs it)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
zip=$("$here/../scripts/blender-addon.sh" "$work/io_scene_quake_mdl.zip" | tail -n 1)
mkdir "$work/scripts" "$work/config" "$work/tmp"
echo "blender_test: $case_name in $("$blender" --version 2>/dev/null | head -n 1)"
# Temporary files go to a folder of this run's own, where the test looks for strays.
TMPDIR=$work/tmp BLENDER_USER_SCRIPTS=$work/scripts BLENDER_USER_CONFIG=$work/config \
  "$blender" -b --factory-startup --python-exit-code 1 --python "$here/blender_test.py" -- \
  --addon-zip "$zip" --tools "$tools" --work "$work" --case "$case_name"
