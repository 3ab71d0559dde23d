#!/usr/bin/env bash
# Builds the benchmarks in release mode and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=build/bench
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_TESTS=OFF -DVANDREL_BENCH=ON
cmake --build "$BUILD" -j "$(nproc)"
for b in "$BUILD"/bench/bench_*; do "$b" "$@"; done
