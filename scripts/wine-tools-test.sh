#!/usr/bin/env bash
# The Windows zip at work under 64-bit Wine, on a virtual X display: its
# mdlexport.exe converts the bundled example, the shared scenes (when
# ../shared/scenes is there) and a few files written here (OBJ, Collada, and
# FBX written by Assimp's own tool) with the options a user gives, and every
# file must be byte for byte the one the Linux build writes, with the same
# exit status and summary line; its mdlinfo.exe must describe and check each
# file as the Linux mdlinfo does. Faults must end as on Linux: a crash inside
# the import library, an import over its memory bound, a cancelled dialog.
# With --dialog the options dialog waits for the person at the screen, played
# here with xdotool: Enter exports with the options given on the command
# line already entered, Escape cancels.
#
# Unpacks build-windows/vandrell-*-windows-x64.zip (scripts/windows-tools.sh
# makes it when it is missing) and builds the Linux tools in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build-windows/wine

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
for program in "$wine" "$wineserver" Xvfb unzip assimp xdotool; do
  command -v "$program" >/dev/null ||
    { echo "wine-tools-test: $program is missing (scripts/setup.sh --tests installs it)"; exit 1; }
done

zip=$(find build-windows -maxdepth 1 -name 'vandrell-*-windows-x64.zip' 2>/dev/null | head -n 1 || true)
[ -n "$zip" ] || zip=$(scripts/windows-tools.sh | tail -n 1)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target mdlexport mdlinfo Vandrell >/dev/null

rm -rf "$work/unzipped" "$work/linux" "$work/windows" "$work/scenes"
mkdir -p "$work/unzipped" "$work/linux" "$work/windows" "$work/scenes"
unzip -q "$zip" -d "$work/unzipped"
tools=$(echo "$work"/unzipped/vandrell-*-windows-x64)
[ -f "$tools/mdlexport.exe" ] || { echo "wine-tools-test: $zip holds no mdlexport.exe"; exit 1; }

started=$SECONDS
winearch=win64
me=wine-tools-test
# The options dialog is a real window, even when nobody sees it.
# shellcheck source=scripts/wine-session.sh
. scripts/wine-session.sh
start_wine_session
booted=$SECONDS
"$wineserver" -p

# Scenes written here: an OBJ in centimetres, a Collada triangle, and the
# example as FBX by Assimp's own exporter.
printf 'v 0 0 0\nv 40 0 0\nv 0 20 0\nv 0 0 30\nf 1 2 3\nf 1 3 4\n' >"$work/scenes/tetra.obj"
collada() { # STRIDE: a Collada triangle whose accessor has that stride
  cat <<EOF
<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit name="meter" meter="1"/><up_axis>Y_UP</up_axis></asset>
  <library_geometries><geometry id="g"><mesh>
    <source id="p"><float_array id="pa" count="9">0 0 0 1 0 0 0 1 0</float_array>
      <technique_common><accessor source="#pa" count="3" stride="$1">
        <param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
      </accessor></technique_common></source>
    <vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
    <triangles count="1"><input semantic="VERTEX" source="#v" offset="0"/><p>0 1 2</p></triangles>
  </mesh></geometry></library_geometries>
  <library_visual_scenes><visual_scene id="s"><node id="n">
    <instance_geometry url="#g"/></node></visual_scene></library_visual_scenes>
  <scene><instance_visual_scene url="#s"/></scene>
</COLLADA>
EOF
}
collada 3 >"$work/scenes/triangle.dae"
# A huge stride makes the Collada reader read far outside its array.
collada 300000000 >"$work/scenes/stride.dae"
# (ASCII: this Assimp does not read back the binary FBX it writes.)
assimp export "$root/examples/example.gltf" "$work/scenes/example.fbx" -ffbxa >"$work/assimp.log" 2>&1 ||
  { cat "$work/assimp.log"; exit 1; }
cp "$root/examples/example_checker.png" "$work/scenes/"

# NAME|OPTIONS SCENE: what is converted, each to NAME.mdl.
conversions=(
  "wave|--frames all --base-name wave $root/examples/example.gltf"
  "tetra|--units centimetres --flat --flag rotate $work/scenes/tetra.obj"
  "triangle|--scale 200 --no-random $work/scenes/triangle.dae"
  "fbx|--frames 5 --fullbright $work/scenes/example.fbx"
)
shared=$(cd .. && pwd)/shared/scenes
if [ -d "$shared" ]; then
  conversions+=(
    "box|$shared/BoxTextured.glb"
    "morph|--frames all $shared/AnimatedMorphCube.gltf"
    "faerie|--texture $shared/faerie2.bmp --frames all $shared/faerie.md2"
    "dwarf|--frames all --height 56 $shared/dwarf.x"
  )
else
  echo "wine-tools-test: $shared is absent; the shared scenes are skipped"
fi

fail=0
failed() { echo "wine-tools-test: $*"; fail=1; }
# Runs the Linux tool in linux/ and the Windows one in windows/, each with
# the same arguments; leaves status, standard output and error in files.
both() { # TOOL NAME ARGS...
  local tool=$1 name=$2
  shift 2
  local status=0
  (cd "$work/linux" && "$root/build/bin/$tool" "$@" >"$name.out" 2>"$name.err") || status=$?
  echo "$status" >"$work/linux/$name.status"
  status=0
  (cd "$work/windows" && timeout 300 "$wine" "$tools/$tool.exe" "$@" >"$name.out" 2>"$name.err") ||
    status=$?
  echo "$status" >"$work/windows/$name.status"
  for side in linux windows; do
    for stream in out err; do
      tr -d '\r' <"$work/$side/$name.$stream" >"$work/$side/$name.$stream.text"
    done
  done
}
same_output() { # NAME WHAT
  local name=$1 what=$2 status
  status=$(cat "$work/linux/$name.status")
  [ "$status" = "$(cat "$work/windows/$name.status")" ] ||
    failed "$what: exit status $(cat "$work/windows/$name.status") on Windows, $status on Linux:" \
      "$(cat "$work/windows/$name.err.text")"
  cmp -s "$work/linux/$name.out.text" "$work/windows/$name.out.text" ||
    failed "$what: the output differs: $(diff "$work/linux/$name.out.text" "$work/windows/$name.out.text" | head -n 5)"
}

compared=0
for conversion in "${conversions[@]}"; do
  name=${conversion%%|*}
  # shellcheck disable=SC2086
  both mdlexport "export-$name" ${conversion#*|} "$name.mdl"
  same_output "export-$name" "mdlexport $name"
  if [ ! -f "$work/linux/$name.mdl" ]; then
    failed "mdlexport $name: the Linux build wrote no file: $(cat "$work/linux/export-$name.err.text")"
  elif cmp -s "$work/linux/$name.mdl" "$work/windows/$name.mdl"; then
    compared=$((compared + 1))
  else
    failed "$name.mdl differs: $(cmp "$work/linux/$name.mdl" "$work/windows/$name.mdl" 2>&1 | head -n 1)"
  fi
  both mdlinfo "info-$name" "$name.mdl"
  same_output "info-$name" "mdlinfo $name.mdl"
  both mdlinfo "check-$name" --check --json "$name.mdl"
  same_output "check-$name" "mdlinfo --check --json $name.mdl"
done
files=()
for conversion in "${conversions[@]}"; do files+=("${conversion%%|*}.mdl"); done
both mdlinfo check-all --check "${files[@]}"
same_output check-all "mdlinfo --check on every file"

# Faults end as they do on Linux, with nothing written.
expect_fault() { # NAME STATUS MESSAGE ARGS...
  local name=$1 status=$2 message=$3
  shift 3
  both mdlexport "$name" "$@" "$name.mdl"
  same_output "$name" "mdlexport $name"
  [ "$(cat "$work/windows/$name.status")" = "$status" ] ||
    failed "mdlexport $name: exit status $(cat "$work/windows/$name.status"), expected $status"
  grep -qF "$message" "$work/windows/$name.err.text" ||
    failed "mdlexport $name said: $(cat "$work/windows/$name.err.text")"
  [ ! -e "$work/windows/$name.mdl" ] || failed "mdlexport $name wrote $name.mdl"
}
expect_fault crash 2 "the import library crashed" "$work/scenes/stride.dae"
expect_fault memory 2 "the import ran out of memory (bound 1 MiB" --import-memory 1 "$work/scenes/tetra.obj"
expect_fault cancel 1 "cancelled, nothing written" --cancel "$work/scenes/tetra.obj"

# --dialog: the person presses KEY in the dialog once it shows.
dialog_case() { # NAME KEY STATUS
  local name=$1 key=$2 expected=$3 status=0 window="" pid
  (cd "$work/windows" && timeout 120 "$wine" "$tools/mdlexport.exe" --dialog --frames 7 \
     --base-name dlg "$root/examples/example.gltf" "$name.mdl" >"$name.out" 2>"$name.err") &
  pid=$!
  for _ in $(seq 300); do
    window=$(xdotool search --name "MDL Export Options" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.2
  done
  if [ -z "$window" ]; then
    failed "mdlexport --dialog showed no options dialog"
  else
    sleep 0.5  # the dialog takes the keyboard focus as it finishes opening
    xdotool key "$key"
  fi
  wait "$pid" || status=$?
  [ "$status" = "$expected" ] ||
    failed "mdlexport --dialog, then $key: exit status $status, expected $expected: $(tr -d '\r' <"$work/windows/$name.err")"
}
dialog_case dialog-ok Return 0
(cd "$work/linux" && "$root/build/bin/mdlexport" -q --frames 7 --base-name dlg \
   "$root/examples/example.gltf" dialog-ok.mdl)
cmp -s "$work/linux/dialog-ok.mdl" "$work/windows/dialog-ok.mdl" ||
  failed "mdlexport --dialog wrote another file than the options given would"
dialog_case dialog-cancel Escape 1
[ ! -e "$work/windows/dialog-cancel.mdl" ] || failed "mdlexport --dialog wrote a file after Escape"

# The Blender add-on of the zip as Blender installs it (the Linux Blender's
# Install operator unpacks the same zip as on Windows): with Windows' program
# names and nothing on PATH, its search must find the mdlexport.exe and
# mdlinfo.exe it carries in its own folder, and that copy, run from there, must write the Linux
# build's model.
addon_result=""
if command -v blender >/dev/null; then
  rm -rf "$work/blender"
  mkdir -p "$work/blender/scripts" "$work/blender/config"
  cat >"$work/blender/find.py" <<'PYTHON'
import os
import sys

import bpy

bpy.ops.preferences.addon_install(filepath=sys.argv[sys.argv.index("--") + 1])
from io_scene_quake_mdl import tool
# The programs' names on Windows.
tool.program_name = lambda name: name + ".exe"
# Windows has no execute bit (its os.access grants X_OK to any file), and
# Python's zip extraction here sets none.
tool._runnable = os.path.isfile
os.environ["PATH"] = ""
addon = os.path.join(bpy.utils.user_resource("SCRIPTS"), "addons", "io_scene_quake_mdl")
for name in ("mdlinfo", "mdlexport"):
    path, where = tool.find_program(name, "")
    expected = os.path.join(addon, name + ".exe")
    if (path, where) != (expected, "beside the add-on"):
        sys.exit("the add-on found %s (%s), not %s beside it" % (path, where, expected))
print("found: " + path)
PYTHON
  BLENDER_USER_SCRIPTS=$work/blender/scripts BLENDER_USER_CONFIG=$work/blender/config \
    blender -b --factory-startup --python-exit-code 1 --python "$work/blender/find.py" -- \
    "$tools/io_scene_quake_mdl.zip" >"$work/blender/find.log" 2>&1 ||
    failed "the add-on installed from the zip does not find its mdlexport.exe: $(tail -n 3 "$work/blender/find.log")"
  found=$(sed -n 's/^found: //p' "$work/blender/find.log")
  if [ -n "$found" ]; then
    (cd "$work/windows" && "$wine" "$found" -q --frames all --base-name wave \
       "$root/examples/example.gltf" addon-wave.mdl >/dev/null 2>&1) ||
      failed "the add-on's own mdlexport.exe failed under Wine"
    (cd "$work/linux" && "$root/build/bin/mdlexport" -q --frames all --base-name wave \
       "$root/examples/example.gltf" addon-wave.mdl)
    cmp -s "$work/linux/addon-wave.mdl" "$work/windows/addon-wave.mdl" ||
      failed "the add-on's own mdlexport.exe wrote another model than the Linux build"
    addon_result="; the Blender add-on, installed from the zip, finds its own mdlexport.exe and mdlinfo.exe; that mdlexport.exe writes the Linux build's model"
  fi
else
  echo "wine-tools-test: Blender is not installed; the add-on's search in the zip is not checked"
fi

echo "wine-tools-test: Wine prefix set-up $((booted - started)) s, conversions and checks $((SECONDS - booted)) s"
[ $fail -eq 0 ] || exit 1
echo "wine-tools-test: ${#conversions[@]} conversions under Wine, $compared files identical to the Linux build's;" \
  "mdlinfo agrees on every file; the faults end as on Linux; --dialog waits for OK or Cancel$addon_result"
