#!/usr/bin/env bash
# Runs the scripted export cases (wintest/cases.txt) with the Windows build of
# the plug-in under Wine, through the real Win32 dialogs on a virtual X
# display; runs the same cases with the Linux build; and compares the files
# the two wrote byte for byte. Saves a picture of the options dialog as
# Windows draws it.
#
#   scripts/wine-tests.sh [--picture PATH]
#
# The Wine prefix lives in the build folder and is set up once (wineboot).
# Where 32-bit Wine runs (scripts/setup.sh --tests installs it where the
# kernel runs 32-bit programs), the 32-bit plug-in runs under 32-bit Wine;
# elsewhere (IA-32 emulation switched off, or 32-bit Wine not installable)
# the same sources built for 64-bit Windows run under 64-bit Wine instead.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

picture=""
while [ $# -gt 0 ]; do
  case "$1" in
    --picture) picture=$2; shift 2 ;;
    *) echo "usage: scripts/wine-tests.sh [--picture PATH]" >&2; exit 2 ;;
  esac
done

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  arch=i686; build=build-win32; wine=/usr/lib/wine/wine
  wineserver=/usr/lib/wine/wineserver32; winearch=win32
else
  echo "wine-tests: 32-bit Wine does not run here (not installed, or the kernel runs no 32-bit programs);" \
    "testing the 64-bit Windows build under 64-bit Wine"
  arch=x86_64; build=build-win64; wine=/usr/lib/wine/wine64
  wineserver=/usr/lib/wine/wineserver64; winearch=win64
fi
for program in "$wine" "$wineserver" Xvfb import convert; do
  command -v "$program" >/dev/null || { echo "wine-tests: $program is missing (scripts/setup.sh --tests installs it)"; exit 1; }
done

# Both builds of the case runner and the plug-in.
scripts/cross-build.sh "$arch"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target scripted_export Vandrell >/dev/null

work=$root/$build/wine
linux_run=$work/run-linux
windows_run=$work/run-windows
rm -rf "$linux_run" "$windows_run"
mkdir -p "$linux_run" "$windows_run"

started=$(date +%s.%N)
me=wine-tests
# shellcheck source=scripts/wine-session.sh
. scripts/wine-session.sh
start_wine_session
booted=$(date +%s.%N)

# The Linux build's files are the reference.
linux_status=0
build/bin/scripted_export wintest/cases.txt "$linux_run" >"$work/linux.log" 2>&1 || linux_status=$?
sed 's/^/linux:   /' "$work/linux.log"

# The Windows build, with the picture taken while the options dialog waits.
# The wine server stays up between the two runs, so that only the case runner
# itself runs under the small file-size limit of the small-location cases.
"$wineserver" -p
all_cases=$(awk '$1 == "case" { print $2 }' wintest/cases.txt)
small_cases=$(awk '$1 == "case" { name = $2 } $1 == "small-location" { print name }' wintest/cases.txt)
other_cases=$(grep -vxF -f <(echo "$small_cases") <<<"$all_cases" || true)
windows_folder="Z:${windows_run//\//\\}"
cases_file="Z:${root//\//\\}\\wintest\\cases.txt"
run_windows() {
  timeout 600 "$wine" "$root/$build/bin/scripted_export.exe" "$cases_file" "$windows_folder" "$@"
}
# shellcheck disable=SC2086
(cd "$windows_run" && run_windows $other_cases >"$work/windows.log" 2>&1) &
windows_pid=$!
shot=$windows_run/options-dialog
for _ in $(seq 1200); do
  [ -f "$shot.ready" ] && break
  kill -0 "$windows_pid" 2>/dev/null || break
  sleep 0.1
done
picture_status=1
if [ -f "$shot.ready" ]; then
  sleep 1  # Wine hands its drawing to the X server a moment later
  read -r x y w h <"$shot.ready"
  if import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$work/options-dialog.png"; then
    picture_status=0
  fi
  touch "$shot.taken"
fi
windows_status=0
wait "$windows_pid" || windows_status=$?
if [ -n "$small_cases" ]; then
  # shellcheck disable=SC2086
  (cd "$windows_run" && trap '' XFSZ && ulimit -f 2 && export VANDRELL_SMALL_LOCATION=2048 &&
     run_windows $small_cases >>"$work/windows.log" 2>&1) || windows_status=$?
fi
tr -d '\r' <"$work/windows.log" | sed 's/^/windows: /'
finished=$(date +%s.%N)

# Every file either build wrote, byte for byte.
compare_status=0
compared=0
names=$( (cd "$linux_run" && ls; cd "$windows_run" && ls) | grep -v -e '\.ready$' -e '\.taken$' | sort -u)
for file in $names; do
  if [ -L "$linux_run/$file" ] || [ -L "$windows_run/$file" ]; then continue; fi
  if [ ! -f "$linux_run/$file" ] || [ ! -f "$windows_run/$file" ]; then
    echo "wine-tests: $file was written by only one build"; compare_status=1; continue
  fi
  if cmp -s "$linux_run/$file" "$windows_run/$file"; then
    compared=$((compared + 1))
  else
    echo "wine-tests: $file differs: $(cmp "$linux_run/$file" "$windows_run/$file" 2>&1 | head -n1)"
    compare_status=1
  fi
done
[ "$compared" -gt 0 ] || { echo "wine-tests: no file to compare"; compare_status=1; }

if [ $picture_status -eq 0 ] && [ -n "$picture" ]; then cp "$work/options-dialog.png" "$picture"; fi

awk -v a="$started" -v b="$booted" -v c="$finished" \
  'BEGIN { printf "wine-tests: Wine prefix set-up %.1f s, Windows cases %.1f s\n", b - a, c - b }'
fail=0
[ $linux_status -eq 0 ] || { echo "wine-tests: the Linux run of the cases failed"; fail=1; }
[ $windows_status -eq 0 ] || { echo "wine-tests: the Windows run of the cases failed (status $windows_status)"; fail=1; }
[ $picture_status -eq 0 ] || { echo "wine-tests: no picture of the options dialog"; fail=1; }
[ $compare_status -eq 0 ] || fail=1
[ $fail -eq 0 ] && echo "wine-tests: every case passed under Wine; $compared files identical to the Linux build's"
exit $fail
