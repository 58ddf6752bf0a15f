#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it on the sample data.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)" --target relan relan-cli
exec ./build/src/gui/relan data/samples/mtz82_2018.rel
