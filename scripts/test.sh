#!/usr/bin/env bash
# Sets up a fresh machine, builds everything, runs every test, checks the
# Windows cross-build of the plug-in and runs its cases under Wine, then runs
# the tests again under AddressSanitizer and UndefinedBehaviorSanitizer; checks
# two exports under Valgrind's memcheck and fuzzes the export and the MDL
# reader for a bounded time. Each stage says how long it took; a failed stage
# is named in the last line, and its exit status is the script's.
#
#   scripts/test.sh [--only STAGE]... [--from STAGE] [--dry-run]   (--help lists the stages)
set -euo pipefail
cd "$(dirname "$0")/.."

# Stages run where errexit does not reach (status is taken): chain with &&.
sanitizer_build() {
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVANDRELL_SANITIZE=ON >/dev/null &&
    cmake --build build-sanitize -j "$(nproc)" >/dev/null
}
sanitizer_tests() {
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j "$(nproc)"
}

# The stages in the order they run: name, command, what it does.
stages=(
  "set-up" "scripts/setup.sh --tests" "install the packages the build and the tests need"
  "build" "scripts/build.sh --tests" "build everything in build/"
  "tests" "ctest --test-dir build --output-on-failure -j $(nproc)" "run every test of build/"
  "Windows cross-build" "scripts/cross-build.sh" "build the 32-bit Windows plug-in, check its imports"
  "Wine tests" "scripts/wine-tests.sh" "run the export cases under Wine, compare with Linux"
  "sanitizer build" "sanitizer_build" "build with ASan and UBSan in build-sanitize/"
  "sanitizer tests" "sanitizer_tests" "run every test of build-sanitize/"
  "memcheck" "scripts/memcheck.sh" "two exports under Valgrind's memcheck"
  "fuzzing" "scripts/fuzz.sh" "build the fuzzers with clang and run each for a while"
  "Debian package" "scripts/package.sh" "make the .deb in build-package/, check it (Depends, files, lintian)"
  "Windows zip" "scripts/windows-tools.sh" "cross-build mdlexport.exe and mdlinfo.exe, pack the zip"
  "Windows zip in Wine" "scripts/wine-tools-test.sh" "the zipped tools under Wine, compared with Linux"
)
fields=3
count=$((${#stages[@]} / fields))

usage() {
  echo "usage: scripts/test.sh [--only STAGE]... [--from STAGE] [--dry-run]"
  echo "Runs every stage in order (what CI runs), or with --only just the stages"
  echo "named, or with --from the named stage and those after it. A stage is"
  echo "named as below, in any case, with - for spaces (\"wine-tests\")."
  echo "--dry-run prints the stages that would run, and runs none."
  echo "Stages:"
  local i
  for ((i = 0; i < count; i++)); do
    printf '  %-20s %s\n' "${stages[fields * i]}" "${stages[fields * i + 2]}"
  done
}

# The index of a stage given by name, "Wine tests" or "wine-tests" alike.
stage_index() {
  local wanted i
  wanted=$(tr 'A-Z ' 'a-z-' <<<"$1")
  for ((i = 0; i < count; i++)); do
    if [ "$(tr 'A-Z ' 'a-z-' <<<"${stages[fields * i]}")" = "$wanted" ]; then
      echo "$i"
      return 0
    fi
  done
  echo "test.sh: no stage \"$1\"; scripts/test.sh --help lists them" >&2
  return 2
}

selected=()
from=""
dry_run=0
while [ $# -gt 0 ]; do
  case "$1" in
    --only | --from)
      [ $# -ge 2 ] || { usage >&2; exit 2; }
      index=$(stage_index "$2") || exit 2
      if [ "$1" = --only ]; then selected[index]=1; else from=$index; fi
      shift 2
      ;;
    --only=* | --from=*)
      set -- "${1%%=*}" "${1#*=}" "${@:2}"
      ;;
    --dry-run) dry_run=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
if [ ${#selected[@]} -gt 0 ] && [ -n "$from" ]; then
  echo "test.sh: --only and --from do not go together" >&2
  exit 2
fi
if [ ${#selected[@]} -eq 0 ]; then
  for ((i = ${from:-0}; i < count; i++)); do selected[i]=1; done
fi

for ((i = 0; i < count; i++)); do
  [ -n "${selected[i]:-}" ] || continue
  name=${stages[fields * i]}
  if [ $dry_run -eq 1 ]; then
    echo "test.sh: would run \"$name\""
    continue
  fi
  start=$SECONDS
  status=0
  # The command is a word list or one of the functions above.
  # shellcheck disable=SC2086
  ${stages[fields * i + 1]} || status=$?
  if [ $status -ne 0 ]; then
    echo "test.sh: stage \"$name\" failed (exit $status) after $((SECONDS - start)) s"
    exit $status
  fi
  echo "test.sh: $name took $((SECONDS - start)) s"
done
