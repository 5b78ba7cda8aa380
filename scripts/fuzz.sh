#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer, UndefinedBehavior-
# Sanitizer, LeakSanitizer) in build-fuzz/ and runs each for a bounded time
# from its seed corpus in fuzz/corpus/. Any crash, leak, timeout or failed
# check stops with an error; the input that caused it is kept in
# build-fuzz/findings/ (EXPORT_FUZZER_DESCRIBE=1 build-fuzz/bin/export_fuzzer FILE
# says what scene and dialog entries it became). Longer runs by hand:
#   FUZZ_EXPORT_SECONDS=1200 FUZZ_READER_SECONDS=600 FUZZ_QUAKE_SECONDS=600 \
#     FUZZ_IMAGE_SECONDS=600 scripts/fuzz.sh
set -euo pipefail
cd "$(dirname "$0")/.."
export_seconds=${FUZZ_EXPORT_SECONDS:-90}
reader_seconds=${FUZZ_READER_SECONDS:-60}
quake_seconds=${FUZZ_QUAKE_SECONDS:-45}
image_seconds=${FUZZ_IMAGE_SECONDS:-30}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANDRELL_FUZZ=ON -DVANDRELL_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target export_fuzzer reader_fuzzer quake_fuzzer \
  image_fuzzer >/dev/null

mkdir -p build-fuzz/findings
run() {
  local name=$1 seconds=$2
  shift 2
  # New inputs go to a scratch corpus; the committed seeds are only read.
  local scratch=build-fuzz/corpus/$name
  mkdir -p "$scratch"
  echo "fuzz: $name for $seconds seconds"
  if ! build-fuzz/bin/"$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 \
      -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$name"- "$@" \
      "$scratch" fuzz/corpus/"${name%_fuzzer}" >build-fuzz/"$name".log 2>&1; then
    tail -n 60 build-fuzz/"$name".log
    echo "fuzz: $name found a fault; see build-fuzz/$name.log and build-fuzz/findings/"
    exit 1
  fi
  grep -E '^(stat::number_of_executed_units|export fuzzer:)' build-fuzz/"$name".log || true
}
run export_fuzzer "$export_seconds" -max_len=4096
run reader_fuzzer "$reader_seconds"
run quake_fuzzer "$quake_seconds"
run image_fuzzer "$image_seconds"
echo "fuzz: no findings"
