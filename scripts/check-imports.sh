#!/usr/bin/env bash
# Checks that Windows binaries import nothing but DLLs that Windows itself
# provides and our own SDK library: the MinGW runtime (libgcc, libstdc++,
# winpthread) must be linked in, so that the files run on a machine that has
# no MinGW.
#
#   scripts/check-imports.sh i686|x86_64 FILE...
set -euo pipefail
arch=${1:-}
case "$arch" in
  i686 | x86_64) shift ;;
  *) echo "usage: scripts/check-imports.sh i686|x86_64 FILE..." >&2; exit 2 ;;
esac
objdump=$arch-w64-mingw32-objdump
# What Windows itself provides, and the host's SDK library.
allowed="kernel32.dll user32.dll gdi32.dll comctl32.dll msvcrt.dll advapi32.dll libhostsdk.dll"
fail=0
for module in "$@"; do
  imports=$($objdump -p "$module" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]') ||
    { echo "check-imports: cannot read $module"; fail=1; continue; }
  for imported in $imports; do
    if ! grep -qw -- "$imported" <<<"$allowed"; then
      echo "check-imports: $module imports $imported"
      fail=1
    fi
  done
done
exit $fail
