#!/usr/bin/env bash
# Times the unattended command-line backup (the built program, started as cron
# starts it) against the same backup in process, in one run, at 50 and 1,000
# sites; the last lines print both medians, their ratio and the goal. Arguments
# go to the benchmark (for example --benchmark_filter=/1000).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_BENCH=ON >/dev/null
cmake --build build --target orvex orvex_bench_unattended >/dev/null
build/bench/orvex_bench_unattended "$@"
