#!/usr/bin/env bash
# Configures and builds the project in build/ (Release with debug info): the
# exporter, the plug-in and the commands, and with --tests also the tests and
# the benchmarks (which need the packages of scripts/setup.sh --tests).
set -euo pipefail
cd "$(dirname "$0")/.."
with_tests=OFF
case "${1:-}" in
  --tests) with_tests=ON ;;
  "") ;;
  *) echo "usage: scripts/build.sh [--tests]" >&2; exit 2 ;;
esac
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVANDRELL_BUILD_TESTS=$with_tests -DVANDRELL_BUILD_BENCHMARKS=$with_tests >/dev/null
cmake --build build -j "$(nproc)"
