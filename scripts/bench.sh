#!/usr/bin/env bash
# Builds the benchmarks in their own optimised tree and runs them.
#   bash scripts/bench.sh            the table of the load and every fit at
#                                    1,500, 10,000 (20,000) and 100,000 failures
#   bash scripts/bench.sh ARGS...    the benchmark program itself, e.g.
#                                    --benchmark_filter=Genetic
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRELAN_BUILD_BENCH=ON \
    -DRELAN_BUILD_TESTS=OFF -DRELAN_BUILD_GUI=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target relan_bench >/dev/null
if (($#)); then
    exec ./build-bench/bench/relan_bench "$@"
fi

csv=$(./build-bench/bench/relan_bench --benchmark_format=csv \
    --benchmark_filter='^BM_(Load|Spiral|Newton|Smirnov|Likelihood|Genetic300)/[0-9]+(/|$)' 2>/dev/null)
# One row per work, one column per fleet size, in seconds of wall time.
awk -F, '
    /^"BM_/ {
        gsub(/"/, "", $1)
        split($1, part, "/")
        work = part[1]; sub(/^BM_/, "", work); n = part[2]
        t = $3
        if ($5 == "ns") t /= 1e9; else if ($5 == "us") t /= 1e6; else if ($5 == "ms") t /= 1e3
        time[work, n] = t
        if (!(work in seen)) { seen[work] = 1; order[++works] = work }
    }
    END {
        split("1500 10000 20000 100000", sizes, " ")
        names["Load"] = "load (parse, sort, thresholds)"
        names["Spiral"] = "model 1.1, spiral descent"
        names["Newton"] = "model 1.2, Newton-type search"
        names["Smirnov"] = "model 2, Smirnov"
        names["Likelihood"] = "maximum-likelihood model"
        names["Genetic300"] = "genetic search, 300 generations of 3000"
        printf "| work | 1,500 failures | 10,000 | 20,000 | 100,000 |\n|---|---|---|---|---|\n"
        for (i = 1; i <= works; ++i) {
            w = order[i]
            printf "| %s |", (w in names ? names[w] : w)
            for (j = 1; j <= 4; ++j) {
                n = sizes[j]
                if ((w, n) in time) printf " %.3f s |", time[w, n]; else printf " – |"
            }
            printf "\n"
        }
    }' <<<"$csv"
