#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds everything and runs
# the whole test suite: the normal build (core, command line, windows), then
# the core and command line again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/format.sh --check
jobs=$(nproc)

# The benchmarks are built (not run) so that a change of the core cannot
# leave them behind.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DRELAN_BUILD_BENCH=ON
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRELAN_SANITIZE=ON -DRELAN_BUILD_GUI=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
