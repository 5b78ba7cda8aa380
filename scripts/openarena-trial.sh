#!/usr/bin/env bash
# Converts the models a game ships, as a user would: every MD3 model in Debian's
# openarena-data package (inside its .pk3 files) with --frames all, and every
# player with --player, then loads everything written in DarkPlaces
# (darkplaces-server). Prints what converted, with how many frames, and what
# the engine loaded. Not part of the tests: the package is large and optional
# (apt-get install openarena-data); without it, or without unzip or the
# engine, the script says so and stops with status 0.
#   scripts/openarena-trial.sh [BUILD_DIR]      (default: build)
set -uo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build}/bin
data=/usr/share/games/openarena
engine=/usr/games/darkplaces-server
for need in "$data" /usr/bin/unzip "$bin/mdlexport"; do
  if [ ! -e "$need" ]; then
    echo "openarena-trial: skipped: $need is absent (openarena-data, unzip and a build are needed)"
    exit 0
  fi
done

work=$(mktemp -d /tmp/openarena-trial.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Later archives override earlier ones, as the game reads them.
mkdir -p "$work/data"
for pk3 in $(ls "$data"/baseoa/*.pk3 "$data"/missionpack/*.pk3 2>/dev/null); do
  unzip -qo "$pk3" -d "$work/data/$(basename "$(dirname "$pk3")")" 2>/dev/null
done
mkdir -p "$work/id1/progs"

models=0 converted=0 frames=0 empty=0 textured=0
while IFS= read -r md3; do
  models=$((models + 1))
  out="$work/id1/progs/m$models.mdl"
  if "$bin/mdlexport" -q --frames all "$md3" "$out" 2>"$work/err"; then
    converted=$((converted + 1))
    frames=$((frames + $(od -An -t d4 -j 68 -N 4 "$out")))
    # Every texture found and read: no warning about one.
    grep -q "warning: .*texture" "$work/err" || textured=$((textured + 1))
  elif grep -q "holds only tags" "$work/err"; then
    empty=$((empty + 1))  # tags only: a weapon's hand, a player part without surfaces
  else
    echo "failed: $md3: $(grep -v warning "$work/err" | head -n 1)"
  fi
done < <(find "$work/data" -iname '*.md3' | sort)
echo "MD3 models: $models; converted $converted ($frames frames in all);" \
  "$empty hold no surface (nothing to export)"
echo "textures: $textured of the $converted converted have every texture found and read"

players=0 assembled=0
while IFS= read -r folder; do
  players=$((players + 1))
  out="$work/id1/progs/p$players.mdl"
  if "$bin/mdlexport" -q --player --frames all "$folder" "$out" 2>"$work/err"; then
    assembled=$((assembled + 1))
    missing=$(grep -c "warning: .*texture" "$work/err")
    echo "player $(basename "$folder"): $(od -An -t d4 -j 68 -N 4 "$out" | tr -d ' ') frames," \
      "$missing texture warnings"
  else
    echo "failed: player $folder: $(grep -v warning "$work/err" | head -n 1)"
  fi
done < <(find "$work/data" -iname animation.cfg -printf '%h\n' | sort)
echo "players: $players; assembled $assembled"

if [ ! -x "$engine" ]; then
  echo "openarena-trial: $engine is absent: the engine load is skipped"
  exit 0
fi
commands=()
for model in "$work"/id1/progs/*.mdl; do commands+=("+modeldecompile progs/$(basename "$model")"); done
timeout 600 "$engine" -basedir "$work" -nohome "${commands[@]}" +quit >"$work/engine.log" 2>&1
echo "DarkPlaces loaded $(grep -c '^Wrote' "$work/engine.log") of ${#commands[@]} written models"
