#!/usr/bin/env bash
# Sets up a fresh machine, builds everything, runs every test, checks the
# Windows cross-build of the plug-in and runs its cases under Wine, then runs
# the tests again under AddressSanitizer and UndefinedBehaviorSanitizer; checks
# two exports under Valgrind's memcheck and fuzzes the export and the MDL
# reader for a bounded time. Each stage says how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."

stage() {
  local name=$1 start=$SECONDS
  shift
  "$@"
  echo "test.sh: $name took $((SECONDS - start)) s"
}

sanitizer_build() {
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVANDRELL_SANITIZE=ON >/dev/null
  cmake --build build-sanitize -j "$(nproc)" >/dev/null
}

stage "set-up" scripts/setup.sh --tests
stage "build" scripts/build.sh --tests
stage "tests" ctest --test-dir build --output-on-failure -j "$(nproc)"
stage "Windows cross-build" scripts/cross-build.sh
stage "Wine tests" scripts/wine-tests.sh
stage "sanitizer build" sanitizer_build
stage "sanitizer tests" env UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$(nproc)"
stage "memcheck" scripts/memcheck.sh
stage "fuzzing" scripts/fuzz.sh
stage "Debian package" scripts/package.sh
stage "Windows tools" scripts/windows-tools.sh
stage "Windows tools under Wine" scripts/wine-tools-test.sh
