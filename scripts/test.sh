#!/usr/bin/env bash
# Sets up a fresh machine, builds everything, runs every test, checks the
# Windows cross-build of the plug-in and runs its cases under Wine, then runs
# the tests again under AddressSanitizer and UndefinedBehaviorSanitizer; checks
# two exports under Valgrind's memcheck and fuzzes the export and the MDL
# reader for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
scripts/build.sh --tests
ctest --test-dir build --output-on-failure -j "$(nproc)"
scripts/cross-build.sh
scripts/wine-tests.sh
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVANDRELL_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j "$(nproc)" >/dev/null
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --test-dir build-sanitize --output-on-failure -j "$(nproc)"
scripts/memcheck.sh
scripts/fuzz.sh
