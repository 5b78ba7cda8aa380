#!/usr/bin/env bash
# Writes the notices of other people's code in the Windows zip: its
# licenses/ folder (each library's copyright and licence notices, as the
# Debian packages it was built from carry them) and THIRD-PARTY-NOTICES.txt,
# which names for each library the zip's files that hold its code.
#
#   scripts/windows-notices.sh STAGE LIBRARIES BINARY...
#
# STAGE is the zip's folder, LIBRARIES the prefix scripts/windows-libraries.sh
# made (its licenses/ holds the notices of the sources it built), and each
# BINARY an unstripped program or library as linked, with the linker's map
# beside it (BINARY.map). What a binary holds is read from its map: every
# archive member and object file the linker took, and for stb, compiled in
# from its headers, the binary's own symbols. A file linked from anywhere this
# script does not know fails it, so that a new library cannot enter the zip
# without its notice.
set -euo pipefail
cd "$(dirname "$0")/.."
stage=$1
libraries=$(realpath -m "$2")
shift 2

die() { echo "windows-notices: $*" >&2; exit 1; }
[ -d "$libraries/licenses" ] || die "$libraries/licenses is missing (scripts/windows-libraries.sh makes it)"

# The library a linked file belongs to: the compilers' files by the Debian
# package that installed them, what scripts/windows-libraries.sh built by
# its name, this project's own by being in the build.
component_of() { # FILE
  local file=$1 package
  if [[ "$file" != /* || "$file" == "$PWD"/* ]]; then
    echo ours
    return
  fi
  file=$(realpath -m "$file") # lib/gcc/X/12-win32/../../../../X/lib/libkernel32.a
  if [[ "$file" == "$libraries"/* ]]; then
    case "${file##*/}" in
      libassimp.a) echo assimp ;;
      libminizip.a) echo minizip ;;
      libjpeg.a) echo libjpeg ;;
      *) echo unknown ;;
    esac
    return
  fi
  package=$(dpkg -S "$file" 2>/dev/null | head -n 1 | cut -d: -f1 || true)
  case "$package" in
    # libgcc, libstdc++ and GCC's start and end objects
    gcc-mingw-w64-* | g++-mingw-w64-*) echo gcc ;;
    # the C runtime's start-up code and library parts, winpthreads, and the
    # import libraries of the system DLLs
    mingw-w64-*-dev) echo mingw ;;
    libz-mingw-w64-dev) echo zlib ;;
    *) echo unknown ;;
  esac
}

declare -A holders=() known=()
for binary in "$@"; do
  map=$binary.map
  [ -f "$map" ] || die "$map is missing: the build links without -Wl,-Map"
  name=${binary##*/}
  arch=x86_64
  if [[ "$binary" == build-win32/* || "$binary" == */build-win32/* ]]; then name="plugin-32bit\\$name"; arch=i686; fi
  # Archive members the linker took, and the object files it loaded.
  inputs=$( {
    grep -o '^[^ (]*\.a(' "$map" | sed 's/($//'
    sed -n 's/^LOAD \(.*\.o\(bj\)\{0,1\}\)$/\1/p' "$map"
  } | sort -u)
  while read -r file; do
    [ -n "$file" ] || continue
    [ -n "${known[$file]:-}" ] || known[$file]=$(component_of "$file")
    component=${known[$file]}
    [ "$component" != unknown ] || die "$binary links $file, which has no notice here"
    [ "$component" = ours ] && continue
    [[ " ${holders[$component]:-} " == *" $name "* ]] || holders[$component]+=" $name"
  done <<<"$inputs"
  # stb's decoder, its PNG writer and its lettering are compiled in from
  # their headers; their functions keep stb's names.
  symbols=$("$arch-w64-mingw32-nm" "$binary" | awk '{ print $NF }')
  if grep -qE 'stbi_|stbiw_|stb_easy_font' <<<"$symbols"; then
    holders[stb]+=" $name"
  fi
done
if [ -z "${holders[gcc]:-}" ] || [ -z "${holders[mingw]:-}" ]; then
  die "no runtime found in the link maps"
fi

licenses=$stage/licenses
mkdir -p "$licenses"
cp LICENSE "$licenses/vandrell-LICENSE.txt"
copy() { # NOTICE-FILE...: into licenses/
  local file
  for file in "$@"; do cp "$file" "$licenses/"; done
}
notes=""
entry() { # COMPONENT TITLE NOTICE...: a paragraph for a library the zip holds
  local component=$1 title=$2 file
  shift 2
  [ -n "${holders[$component]:-}" ] || return 0
  notes+="$(fold -s -w 76 <<<"$title" | sed 's/ *$//')"$'\n'
  notes+="$(fold -s -w 72 <<<"${holders[$component]# }" | sed 's/ *$//; s/ /, /g; s/^/    in: /')"$'\n'
  for file in "$@"; do notes+="    notices: licenses\\$file"$'\n'; done
  notes+=$'\n'
}
copy "$libraries"/licenses/*
copy_as() { cp "$1" "$licenses/$2"; }
copy_as /usr/share/doc/libstb-dev/copyright stb-copyright.txt
copy_as /usr/share/doc/mingw-w64-common/copyright mingw-w64-copyright.txt
copy_as /usr/share/doc/gcc-mingw-w64-base/copyright gcc-copyright.txt

entry assimp "Assimp, the scene import library, and the code of others it bundles (its copyright file names each part); utf8cpp's headers are compiled into it" \
  assimp-copyright.txt assimp-LICENSE.txt utf8cpp-copyright.txt
entry minizip "minizip, which reads ZIP files for Assimp" minizip-copyright.txt
entry zlib "zlib, compression for Assimp and minizip" zlib-copyright.txt
entry libjpeg "libjpeg-turbo, JPEG decoding. This software is based in part on the work of the Independent JPEG Group." \
  libjpeg-turbo-copyright.txt libjpeg-turbo-LICENSE.md libjpeg-turbo-README.ijg.txt
entry stb "stb (stb_image, stb_image_write, stb_easy_font), image decoding, PNG writing and lettering" \
  stb-copyright.txt
entry gcc "The GCC runtime libraries (libgcc, libstdc++), under the GPL version 3 with the GCC Runtime Library Exception" \
  gcc-copyright.txt
entry mingw "The MinGW-w64 runtime (its start-up code and C library parts, and the import libraries of the system DLLs)" \
  mingw-w64-copyright.txt

version=$(sed -n 's/^project(Vandrell VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
{
  echo "Other people's code in Vandrell $version for Windows"
  echo "================================================="
  echo
  cat <<'EOF'
Vandrell's own code is under the MIT licence: LICENSE.txt (also
licenses\vandrell-LICENSE.txt). Its programs also hold the code of the
libraries below, linked in statically (as the linker's maps of this build
show) or compiled in from their headers. Each one's copyright and licence
notices are in licenses\, as the Debian packages it was built from carry
them.

EOF
  printf '%s' "$notes"
  fold -s -w 76 <<<"Built from: $(cat "$libraries/versions.txt"), with the runtime of gcc-mingw-w64 $(dpkg-query -W -f='${Version}' gcc-mingw-w64-base) and mingw-w64 $(dpkg-query -W -f='${Version}' mingw-w64-common)." |
    sed 's/ *$//'
} | sed 's/$/\r/' >"$stage/THIRD-PARTY-NOTICES.txt"
echo "windows-notices: $(find "$licenses" -type f | wc -l) notice files;$(for c in "${!holders[@]}"; do printf ' %s:%s' "$c" "$(tr ' ' ',' <<<"${holders[$c]}")"; done)"
