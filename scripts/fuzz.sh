#!/usr/bin/env bash
# Fuzzes both file loads with libFuzzer for the given number of seconds
# (default 300), starting from the shipped samples and test files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
seconds=${1:-300}
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRELAN_BUILD_FUZZ=ON \
    -DRELAN_BUILD_TESTS=OFF -DRELAN_BUILD_GUI=OFF -DRELAN_SANITIZE=ON
cmake --build build-fuzz --target fuzz_input_files
corpus=build-fuzz/corpus
mkdir -p "$corpus"
cp data/samples/* "$corpus"/
[ -d tests/data ] && cp tests/data/* "$corpus"/ 2>/dev/null || true
./build-fuzz/fuzz/fuzz_input_files -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -artifact_prefix=build-fuzz/ "$corpus"
