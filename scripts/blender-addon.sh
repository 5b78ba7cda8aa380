#!/usr/bin/env bash
# Packs the Blender add-on (blender/io_scene_quake_mdl) into the zip that
# Blender's Install button takes (Edit > Preferences > Add-ons > Install):
# one folder, io_scene_quake_mdl/, at the top of the zip. With --tools DIR
# what DIR holds, its folders too (mdlexport.exe, Vandrell.dlo and the
# libraries they load with their notices, for the Windows zip), goes into the
# add-on's folder, where the add-on finds mdlexport unless its preferences name
# one. Prints the zip's path on its last line.
#
#   scripts/blender-addon.sh [--tools DIR] [OUTPUT.zip]   (default: build/io_scene_quake_mdl-VERSION.zip)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

tools=
output=
while [ $# -gt 0 ]; do
  case $1 in
    --tools)
      [ $# -ge 2 ] || { echo "blender-addon: --tools needs a folder" >&2; exit 2; }
      tools=$(cd "$2" && pwd)
      shift 2
      ;;
    -h | --help)
      sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    -*)
      echo "blender-addon: unknown option $1" >&2
      exit 2
      ;;
    *)
      output=$1
      shift
      ;;
  esac
done

version=$(sed -n 's/^project(Vandrell VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$output" ] || output=$root/build/io_scene_quake_mdl-$version.zip
mkdir -p "$(dirname "$output")"
output=$(cd "$(dirname "$output")" && pwd)/$(basename "$output")

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/io_scene_quake_mdl"
cp "$root"/blender/io_scene_quake_mdl/*.py "$stage/io_scene_quake_mdl/"
if [ -n "$tools" ]; then
  cp -R "$tools"/. "$stage/io_scene_quake_mdl/"
fi
rm -f "$output"
(cd "$stage" && zip -qr -X "$output" io_scene_quake_mdl)
echo "$output"
