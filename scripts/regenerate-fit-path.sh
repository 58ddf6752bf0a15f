#!/usr/bin/env bash
# Rewrites the fit-path golden files tests/data/fit_path/*.json from relan-cli,
# with the cases of tests/core/fit_path_test.cpp (keep the two lists alike).
#   bash scripts/regenerate-fit-path.sh [BUILD_DIR]     (default: build)
# Only for a change that is meant to change the printed numbers, and whose
# commit says why: see "Regenerating the fit-path files" in
# docs/smirnov-bound.md. Check the diff of the files before committing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target relan-cli relan-fleet-file >/dev/null
cli=$build/src/cli/relan-cli
fleet=$build/validation/relan-fleet-file
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

S=data/samples/mtz82_2018.rel
T=tests/data/small.rel
# The generated fleets of the test: FAILURES DECIMALS SEED.
"$fleet" 3000 6 "$tmp/distinct3000.rel" 7
"$fleet" 5000 1 "$tmp/ties5000.rel" 8

cases=(
    "sample|$S|"
    "sample_warranty|$S|--warranty data/samples/gar2018.txt"
    "sample_fitted_warranty|$S|--fit-mean --fit-sd"
    "sample_spec2|$S|--criterion spec2"
    "sample_coarse|$S|--kdiv-smirnov 1.01 --kdiv-spiral 1.01 --kdiv-newton 1.01"
    "fleet1500|bench/data/fleet1500.rel|"
    "small|$T|"
    "small_typed_warranty|$T|--sred 1400 --sko 300"
    "distinct3000|$tmp/distinct3000.rel|"
    "ties5000|$tmp/ties5000.rel|"
)
for c in "${cases[@]}"; do
    IFS='|' read -r name file options <<<"$c"
    # As the test runs it: both streams, the timing left out.
    # shellcheck disable=SC2086
    "$cli" analyze "$file" --models spiral,newton,smirnov --no-timing $options >"tests/data/fit_path/$name.json" 2>&1
    echo "wrote tests/data/fit_path/$name.json"
done
git status --short tests/data/fit_path
