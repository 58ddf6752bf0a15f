#!/usr/bin/env bash
# Builds the benchmarks in their own optimised tree and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRELAN_BUILD_BENCH=ON \
    -DRELAN_BUILD_TESTS=OFF -DRELAN_BUILD_GUI=OFF
cmake --build build-bench -j "$(nproc)" --target relan_bench
./build-bench/bench/relan_bench "$@"
