#!/usr/bin/env bash
# Converts other people's models as a new user would: every model file of
# Debian's assimp-testmodels and of the free games' data packages
# (openarena-data, inside its .pk3 files; minetest-data; redeclipse-data)
# with --frames all, and counts them: tried, converted, and refused with the
# reason mdlexport gives (the reasons are tallied, and each refused file is
# listed in the log). Then checks orientation across formats: the same model
# that assimp-testmodels carries in several formats (Wuson) must come out
# facing the same way as its DirectX version (scripts/compare-orientation.py).
# Not part of the tests: the packages are large and optional; a package that
# is absent is skipped, saying so.
#   scripts/models-trial.sh [BUILD_DIR]      (default: build)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
bin=${1:-build}/bin
if [ ! -x "$bin/mdlexport" ]; then
  echo "models-trial: no $bin/mdlexport: build first"
  exit 1
fi
work=$(mktemp -d /tmp/models-trial.XXXXXX)
trap 'rm -rf "$work"' EXIT
extensions=' gltf glb fbx obj dae zae 3ds x b3d smd md5mesh md5anim bvh stl ply off ms3d ac ase '
extensions+='lwo lws irr nff cob m3d ogex amf 3mf dxf zgl xgl q3o q3s raw md2 md3 mdl mdc iqm '
extensions+='blend wrl usd usda usdc max '

list=$work/files
: >"$list"
# Whether a file's extension, in any case, is one of the model extensions.
is_model() {
  local extension
  extension=$(echo "${1##*.}" | tr '[:upper:]' '[:lower:]')
  case "$extensions" in *" $extension "*) return 0 ;; esac
  return 1
}
for package in assimp-testmodels minetest-data redeclipse-data; do
  if ! dpkg -s "$package" >/dev/null 2>&1; then
    echo "models-trial: $package is absent: skipped"
    continue
  fi
  while IFS= read -r file; do
    if [ -f "$file" ] && is_model "$file"; then echo "$package $file"; fi
  done < <(dpkg -L "$package" | grep -v '/doc/') >>"$list"
done
if [ -d /usr/share/games/openarena ] && command -v unzip >/dev/null; then
  mkdir -p "$work/oa"
  for pk3 in /usr/share/games/openarena/baseoa/*.pk3 /usr/share/games/openarena/missionpack/*.pk3; do
    [ -f "$pk3" ] && unzip -qo "$pk3" -d "$work/oa/$(basename "$(dirname "$pk3")")" 2>/dev/null
  done
  while IFS= read -r file; do
    if is_model "$file"; then echo "openarena-data $file"; fi
  done < <(find "$work/oa" -type f | sort) >>"$list"
else
  echo "models-trial: openarena-data or unzip is absent: skipped"
fi

tried=0 converted=0 refused=0
declare -A package_tried package_converted
: >"$work/reasons"
log=$work/refused.log
: >"$log"
while read -r package file; do
  tried=$((tried + 1))
  package_tried[$package]=$((${package_tried[$package]:-0} + 1))
  timeout 300 "$bin/mdlexport" -q --frames all "$file" "$work/out.mdl" 2>"$work/err" </dev/null
  status=$?
  if [ "$status" -eq 0 ]; then
    converted=$((converted + 1))
    package_converted[$package]=$((${package_converted[$package]:-0} + 1))
  else
    refused=$((refused + 1))
    reason=$(grep -v ': warning: ' "$work/err" | tail -n 1)
    [ -n "$reason" ] || reason="(ended without a message, status $status)"
    echo "$package $file: $reason" >>"$log"
    # The reason without the file's name, for the tally.
    echo "$reason" | sed -e "s|$file||g" -e 's|^mdlexport: *:* *||' \
      -e 's|cannot read *: *||' -e 's|\b[0-9][0-9]*\b|N|g' | cut -c1-90 >>"$work/reasons"
  fi
done <"$list"
echo "tried $tried; converted $converted; refused $refused, for these reasons:"
sort "$work/reasons" | uniq -c | sort -rn
echo
for package in "${!package_tried[@]}"; do
  echo "$package: tried ${package_tried[$package]}, converted ${package_converted[$package]:-0}"
done | sort
cp "$log" /tmp/models-trial-refused.log 2>/dev/null && echo "refused files: /tmp/models-trial-refused.log"

models=/usr/share/assimp/models
if [ -d "$models" ] && command -v python3 >/dev/null; then
  echo
  echo "orientation: the Wuson model in each format against its DirectX version"
  outputs=()
  for file in X/Testwuson.X B3D/WusonBlitz.b3d SMD/WusonSMD.smd OBJ/WusonOBJ.obj \
    MS3D/Wuson.ms3d PLY/Wuson.ply STL/Wuson.stl AC/Wuson.ac OFF/Wuson.off; do
    out=$work/wuson-$(basename "$file" | tr . _).mdl
    "$bin/mdlexport" -q "$models/$file" "$out" 2>/dev/null && outputs+=("$out")
  done
  python3 scripts/compare-orientation.py "${outputs[@]}"
fi
