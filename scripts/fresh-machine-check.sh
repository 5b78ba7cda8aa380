#!/usr/bin/env bash
# Proves the README's main job works on a fresh machine: builds a minimal
# Debian root of this machine's own release with debootstrap, installs git in
# it (the one thing the README asks for before cloning), installs the Debian
# package (scripts/package.sh) there with apt, exports the bundled example
# with the installed mdlexport and removes the package again; clones the committed
# state of this repository with a copy of ../shared beside it (where there
# is one: the main job itself needs nothing beside the clone), runs
# scripts/run-example.sh there as root and checks that the model was written
# and described. Everything it makes is unmounted and removed on the way out,
# whether the check passed, failed or was interrupted.
#
# Needs root, debootstrap and dpkg-dev (scripts/setup.sh --tests). Set
# FRESH_MACHINE_KEEP=1 to keep the root for a look after a failure (its
# mounts are still undone). Downloads are tried FRESH_MACHINE_ATTEMPTS times
# (3) before the check gives up.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
shared=$(cd .. && pwd)/shared

say() { echo "fresh-machine-check: $*"; }
die() { say "$*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || die "must run as root (debootstrap and chroot need it)"
command -v debootstrap >/dev/null || die "debootstrap is not installed (scripts/setup.sh --tests)"
[ -d "$shared" ] || say "note: $shared is absent, so the clone has none beside it either"
git diff --quiet HEAD 2>/dev/null && git diff --cached --quiet 2>/dev/null ||
  say "note: uncommitted changes are not part of the check, which clones HEAD"

# This machine's release, and the mirror its apt sources name for it.
# shellcheck disable=SC1091
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$suite" ] || die "/etc/os-release names no VERSION_CODENAME"
mirror=""
for sources in /etc/apt/sources.list.d/*.sources; do
  [ -f "$sources" ] || continue
  # deb822 stanzas: the first "deb" stanza whose Suites include the release.
  mirror=$(awk -v suite="$suite" '
    function flush() {
      if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && uris != "" && found == "") {
        split(uris, u, " "); found = u[1]
      }
      types = ""; suites = ""; uris = ""
    }
    /^[ \t]*#/ { next }
    /^[ \t]*$/ { flush(); next }
    tolower($1) == "types:"  { $1 = ""; types = $0 }
    tolower($1) == "suites:" { $1 = ""; suites = $0 }
    tolower($1) == "uris:"   { $1 = ""; uris = $0 }
    END { flush(); print found }' "$sources")
  [ -n "$mirror" ] && break
done
if [ -z "$mirror" ]; then
  for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] || continue
    # one-line form: deb [options] URI SUITE COMPONENT...
    mirror=$(awk -v suite="$suite" '
      $1 == "deb" {
        i = 2
        if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        if ($(i + 1) == suite) { print $i; exit }
      }' "$list")
    [ -n "$mirror" ] && break
  done
fi
[ -n "$mirror" ] || die "no apt source for $suite found in /etc/apt"

# The root lives in the build area, beside the other build folders: /tmp may
# be small, and a minimal root with the build packages takes about 1 GB.
work="$repo/build-fresh-machine"
root="$work/root"

start=""
mounted=()
cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  set +e
  # Undo mounts innermost first; a busy one is detached lazily. Nothing is
  # deleted while anything under the root is still mounted.
  local i still
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[$i]}" 2>/dev/null || umount -l "${mounted[$i]}" 2>/dev/null
  done
  # Anything else mounted under the work folder (a package's own mount, say).
  if [ -d "$work" ]; then
    while read -r still; do
      umount -l "$still" 2>/dev/null
    done < <(findmnt -rn -o TARGET | grep -F "$work/" | sort -r)
    still=$(findmnt -rn -o TARGET | grep -F "$work/" || true)
    if [ -n "$still" ]; then
      say "still mounted, leaving $work in place: $still" >&2
      exit 1
    fi
  fi
  if [ "${FRESH_MACHINE_KEEP:-0}" = 1 ] && [ $status -ne 0 ]; then
    say "kept $root"
  else
    rm -rf --one-file-system "$work"
  fi
  [ -n "${start:-}" ] && say "time: $(($(date +%s) - start)) s in all, removal included"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

mount_in_root() { # TYPE SOURCE TARGET [OPTIONS]
  mkdir -p "$root$3"
  if [ "${4:-}" = bind ]; then
    mount --bind "$2" "$root$3"
  else
    mount -t "$1" ${4:+-o "$4"} "$2" "$root$3"
  fi
  mounted+=("$root$3")
}

start=$(date +%s)
commit=$(git rev-parse HEAD)
# A root left behind by an interrupted earlier run is not reused: only a
# clean one proves anything. Its mounts are undone first.
if [ -e "$work" ]; then
  for old in $(findmnt -rn -o TARGET | grep -F "$work/" | sort -r || true); do umount -l "$old"; done
  [ -z "$(findmnt -rn -o TARGET | grep -F "$work/" || true)" ] || die "cannot unmount what is left under $work"
  rm -rf --one-file-system "$work"
fi
mkdir -p "$work"

# A mirror in the middle of a sync can serve files that do not match its
# index for a while; downloads are tried again a little later, each time on
# a new root, before the check gives up.
# shellcheck source=scripts/retry.sh
source scripts/retry.sh
attempts=${FRESH_MACHINE_ATTEMPTS:-3}
bootstrap_root() {
  rm -rf --one-file-system "$root"
  debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 && return 0
  tail -n 20 "$work/debootstrap.log" >&2
  return 1
}
say "debootstrap --variant=minbase $suite from $mirror"
retry "$attempts" 20 debootstrap bootstrap_root || die "debootstrap failed $attempts times"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
# No service a package installs is started inside the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mount_in_root proc proc /proc
mount_in_root sysfs sysfs /sys ro
mount_in_root none /dev /dev bind
mount_in_root none /dev/pts /dev/pts bind
after_root=$(date +%s)

in_root() { chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"; }

# The Debian package on the fresh root: apt installs it with what its Depends
# name, the installed mdlexport exports the example it ships (from another
# folder, nothing set) to the bytes this machine's build of the package
# writes, mdlinfo checks the model, and a purge leaves no file of it behind.
# The package is made from the working tree here (in CI, the commit under
# test); apt's lists must be there (the git step fetches them).
check_debian_package() {
  local began=$SECONDS deb name listed left file
  deb=$(scripts/package.sh 2>"$work/package.log" | tail -n 1) ||
    { cat "$work/package.log" >&2; die "scripts/package.sh failed"; }
  name=$(basename "$deb")
  build-package/bin/mdlexport -q --frames all --base-name wave examples/example.gltf \
    "$work/expected.mdl" || die "the package's build could not export the example here"
  # apt reads the file as its own unprivileged user: /tmp is open to it.
  cp "$deb" "$root/tmp/$name"
  chmod 644 "$root/tmp/$name"
  say "installing $name with apt-get"
  in_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    "/tmp/$name" >"$work/package-install.log" 2>&1 ||
    { tail -n 20 "$work/package-install.log" >&2; die "apt-get install ./$name failed"; }
  mkdir -p "$root/tmp/elsewhere"
  in_root bash -c 'cd /tmp/elsewhere && mdlexport -q --frames all --base-name wave \
      /usr/share/doc/vandrell/examples/example.gltf wave.mdl && mdlinfo --check wave.mdl' \
    >"$work/package-run.log" 2>&1 || { cat "$work/package-run.log" >&2; die "the installed tools failed"; }
  grep -qx "wave.mdl: ok" "$work/package-run.log" || die "the installed mdlinfo did not pass the model"
  cmp "$root/tmp/elsewhere/wave.mdl" "$work/expected.mdl" >&2 ||
    die "the installed mdlexport wrote another model than the package's build"
  check_blender_addon
  listed=$(in_root dpkg-query -L vandrell) || die "dpkg knows no package vandrell after installing it"
  in_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 purge -y -qq \
    vandrell >>"$work/package-install.log" 2>&1 ||
    { tail -n 20 "$work/package-install.log" >&2; die "apt-get purge vandrell failed"; }
  in_root dpkg-query -W vandrell >/dev/null 2>&1 && die "vandrell is still known to dpkg after the purge"
  left=""
  while read -r file; do
    # Folders the package shares with others (/usr/bin) stay; its own go.
    if [ -e "$root$file" ] && { [ ! -d "$root$file" ] || [[ "$file" == */vandrell* ]]; }; then
      left+=" $file"
    fi
  done <<<"$listed"
  [ -z "$left" ] || die "the purge left these behind:$left"
  rm -rf "$root/tmp/elsewhere" "$root/tmp/$name"
  say "package: installed, exported the example byte for byte, checked, purged clean ($((SECONDS - began)) s)"
}

# Debian's Blender exports the example through the add-on the package ships:
# Blender and numpy (which the add-on needs) installed with apt, the add-on's
# zip from /usr/share/vandrell installed into fresh user folders with
# Blender's own Install operator, the example imported with Blender's glTF
# importer and written by File > Export > Quake MDL, which must find
# /usr/bin/mdlexport on PATH; the installed mdlinfo checks the model, which
# holds one frame for each frame of the imported animation.
check_blender_addon() {
  local began=$SECONDS installed frames
  say "installing blender and python3-numpy with apt-get"
  in_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends blender python3-numpy >"$work/blender-install.log" 2>&1 ||
    { tail -n 20 "$work/blender-install.log" >&2; die "installing blender failed"; }
  installed=$SECONDS
  mkdir -p "$root/tmp/blender/scripts" "$root/tmp/blender/config" "$root/tmp/blender/out"
  cat >"$root/tmp/blender/export.py" <<'PYTHON'
import os
import sys

import bpy

out = "/tmp/blender/out"
bpy.ops.preferences.addon_install(filepath="/usr/share/vandrell/blender/io_scene_quake_mdl.zip")
bpy.ops.preferences.addon_enable(module="io_scene_quake_mdl")
from io_scene_quake_mdl import tool
addon = os.path.dirname(os.path.abspath(tool.__file__))
if addon != os.path.join(bpy.utils.user_resource("SCRIPTS"), "addons", "io_scene_quake_mdl"):
    sys.exit("the add-on runs from %s, not the fresh user folder" % addon)
found = tool.find_mdlexport("")
if found != ("/usr/bin/mdlexport", "PATH"):
    sys.exit("the add-on found %s, not /usr/bin/mdlexport on PATH" % (found,))
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.preferences.addon_enable(module="io_scene_quake_mdl")
bpy.ops.import_scene.gltf(filepath="/usr/share/doc/vandrell/examples/example.gltf",
                          import_shading="SMOOTH")
# The scene's frames are the animation's, as a user sets them (the importer
# leaves the empty scene's 1 to 250).
scene = bpy.context.scene
start, end = bpy.data.actions[0].frame_range
for action in bpy.data.actions:
    start, end = min(start, action.frame_range[0]), max(end, action.frame_range[1])
scene.frame_start, scene.frame_end = int(round(start)), int(round(end))
if scene.frame_end <= scene.frame_start:
    sys.exit("the example imported without its animation")
result = bpy.ops.export_scene.quake_mdl(filepath=os.path.join(out, "example.mdl"),
                                        frames_all=True)
if result != {"FINISHED"}:
    sys.exit("the export ended %s" % result)
with open(os.path.join(out, "frames"), "w") as f:
    f.write("%d\n" % (scene.frame_end - scene.frame_start + 1))
PYTHON
  in_root env BLENDER_USER_SCRIPTS=/tmp/blender/scripts BLENDER_USER_CONFIG=/tmp/blender/config \
    blender -b --factory-startup --python-exit-code 1 --python /tmp/blender/export.py \
    >"$work/blender-run.log" 2>&1 || { tail -n 30 "$work/blender-run.log" >&2; die "Blender's export through the add-on failed"; }
  in_root bash -c 'cd /tmp/blender/out && mdlinfo --check example.mdl && mdlinfo example.mdl' \
    >"$work/blender-check.log" 2>&1 || { cat "$work/blender-check.log" >&2; die "the installed mdlinfo refused Blender's model"; }
  grep -qx "example.mdl: ok" "$work/blender-check.log" || die "the installed mdlinfo did not pass Blender's model"
  frames=$(cat "$root/tmp/blender/out/frames")
  grep -qE "^numframes +$frames\$" "$work/blender-check.log" ||
    die "Blender's model does not hold the scene's $frames frames: $(grep numframes "$work/blender-check.log")"
  rm -rf "$root/tmp/blender"
  say "Blender: $((installed - began)) s to install it, $((SECONDS - installed)) s to export the example" \
    "through the packaged add-on ($frames frames) and check it"
}

say "installing git, as the README asks"
# A stale index is a warning: the installation decides.
update_root_indexes() { in_root apt-get -o DPkg::Lock::Timeout=900 update -qq >"$work/update.log" 2>&1; }
if ! retry "$attempts" 10 "apt-get update in the fresh root" update_root_indexes; then
  say "warning: some package indexes of the fresh root could not be updated:" >&2
  grep -E '^(E|W|Err):' "$work/update.log" >&2 || tail -n 5 "$work/update.log" >&2
fi
in_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq git \
  >"$work/git.log" 2>&1 || { tail -n 20 "$work/git.log" >&2; die "installing git failed"; }

check_debian_package

# The committed state under test, cloned by the fresh machine's own git from
# a bundle of HEAD (the check must not see uncommitted files) and checked out
# at the commit HEAD was when the check started.
git bundle create "$work/repo.bundle" HEAD >/dev/null 2>&1
mkdir -p "$root/home/user"
cp "$work/repo.bundle" "$root/home/user/repo.bundle"
in_root git -c advice.detachedHead=false clone -q /home/user/repo.bundle /home/user/vandrell
in_root git -c advice.detachedHead=false -C /home/user/vandrell checkout -q "$commit"
if [ -d "$shared" ]; then cp -a "$shared" "$root/home/user/shared"; fi

say "running scripts/run-example.sh at ${commit:0:12} as root"
if ! in_root bash -c 'cd /home/user/vandrell && scripts/run-example.sh' >"$work/run-example.log" 2>&1; then
  tail -n 40 "$work/run-example.log" >&2
  die "scripts/run-example.sh failed on the fresh root"
fi
model="$root/home/user/vandrell/build/example.mdl"
[ -s "$model" ] || die "scripts/run-example.sh wrote no $model"
[ "$(head -c 4 "$model")" = IDPO ] || die "$model does not start with the MDL magic IDPO"
log="$work/run-example.log"
grep -qE "^build/example.mdl: [0-9]+ vertices, [0-9]+ triangles, [1-9][0-9]* frames" "$log" ||
  die "mdlexport printed no result line for build/example.mdl"
# mdlinfo read the file back and described its header.
grep -qE "^ident +IDPO$" "$log" && grep -qE "^version +6$" "$log" &&
  grep -qE "^numframes +[1-9]" "$log" || die "mdlinfo printed no description of the model"
say "passed: the example model ($(stat -c %s "$model") bytes) was written and described on a fresh $suite root"
say "time: $((after_root - start)) s for debootstrap, $(($(date +%s) - after_root)) s for git, the clone and the main job"
