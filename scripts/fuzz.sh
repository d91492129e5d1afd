#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (every library instrumented) and runs
# each for the given number of seconds on a copy of the seed corpus in
# fuzz/corpus/. Exits non-zero on a finding; the input is left in build-fuzz/.
set -euo pipefail
seconds="${1:-60}"
cd "$(dirname "$0")/.."

sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DORVEX_FUZZ=ON -DORVEX_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="$sanitizers" >/dev/null
cmake --build build-fuzz --target orvex_fuzz_xml -j 3

work=fuzz/corpus-run
rm -rf "$work"
mkdir -p "$work"
cp fuzz/corpus/* "$work"/
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
build-fuzz/fuzz/orvex_fuzz_xml -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix=build-fuzz/ "$work"
