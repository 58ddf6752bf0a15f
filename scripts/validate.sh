#!/usr/bin/env bash
# Builds the simulation study of the likelihood model and runs it with its
# fixed seeds; prints the table of docs/validation.md. An argument sets the
# number of replicates per scenario (200 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-validate -G Ninja -DCMAKE_BUILD_TYPE=Release -DRELAN_BUILD_TESTS=OFF -DRELAN_BUILD_GUI=OFF >/dev/null
cmake --build build-validate -j2 --target relan-validate
./build-validate/validation/relan-validate "$@"
