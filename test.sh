#!/usr/bin/env bash
# Builds Orvex and runs every test. ORVEX_SANITIZE=1 does the same under
# AddressSanitizer + UndefinedBehaviorSanitizer in a build folder of its own.
# ORVEX_WERROR=1 (set by CI) turns compiler warnings into errors.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-deps.sh

if [[ "${ORVEX_SANITIZE:-0}" == 1 ]]; then
  build=build-asan
  flags=(-DORVEX_SANITIZE=ON -DORVEX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  build=build
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_BENCH=ON)
fi

flags+=(-DORVEX_TESTS=ON -DORVEX_WERROR="$([[ "${ORVEX_WERROR:-0}" == 1 ]] && echo ON || echo OFF)")

cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
