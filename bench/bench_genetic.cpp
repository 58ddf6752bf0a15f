// The genetic search: one objective evaluation, and a whole run at the
// window's default settings.

#include "relan/criteria.hpp"
#include "relan/genetic.hpp"
#include "relan/histogram.hpp"
#include "relan/input_files.hpp"

#include "quiet_host.hpp"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

relan::Analysis sampleState() {
    relan::Analysis s;
    relan::loadFailureData(RELAN_SAMPLES_DIR "/mtz82_2018.rel", relan::NumberFormat{}, s);
    relan::hist(s);
    return s;
}

// The sample's fleet and censoring law over a histogram of the full 31
// intervals (8 of 100 h, 23 of 200 h).
relan::Analysis longState() {
    relan::Analysis s = sampleState();
    s.Hist_Arr.clear();
    int total = 0;
    for (int k = 0; k < 31; ++k) {
        relan::Hist_Rec r;
        r.time = k < 8 ? 100.0 * (k + 1) : 800 + 200.0 * (k - 7);
        r.Sum = 1 + (k * 7) % 9;
        total += r.Sum;
        s.Hist_Arr.push_back(r);
    }
    s.Kol_izw = total;
    return s;
}

// Parameter vectors as a converged population holds them: laws close to the
// data, none saturating inside the histogram, so every boundary is computed.
std::vector<relan::OptArray> nearLaws(bool censoring) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(0.8, 1.25);
    std::vector<relan::OptArray> v(4096);
    for (auto& a : v)
        a = {0,
             1.3 * u(rng),
             2e-5 * u(rng),
             1.2 * u(rng),
             censoring ? 1800 * u(rng) : 0,
             censoring ? 450 * u(rng) : 0};
    return v;
}

// Vectors drawn over the whole search ranges, as the first generations see them.
std::vector<relan::OptArray> drawnLaws() {
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<relan::OptArray> v(4096);
    for (auto& a : v)
        a = {0, 0.00001 + 5 * u(rng), 0.00001 + 5 * u(rng), 0.1 + 5 * u(rng), 0, 0};
    return v;
}

void runObjective(benchmark::State& st, relan::Analysis s, const std::vector<relan::OptArray>& laws,
                  bool censoring) {
    s.Sred_Opt = s.SKO_Opt = censoring;
    relan::GeneticObjective objective(s);
    std::size_t i = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(objective(laws[i]));
        i = (i + 1) % laws.size();
    }
    st.counters["intervals"] = static_cast<double>(s.Hist_Arr.size());
}

void BM_GeneticObjective31(benchmark::State& st) {
    runObjective(st, longState(), nearLaws(false), false);
}
BENCHMARK(BM_GeneticObjective31);

void BM_GeneticObjectiveSample(benchmark::State& st) {
    runObjective(st, sampleState(), nearLaws(false), false);
}
BENCHMARK(BM_GeneticObjectiveSample);

void BM_GeneticObjectiveSampleDrawn(benchmark::State& st) {
    runObjective(st, sampleState(), drawnLaws(), false);
}
BENCHMARK(BM_GeneticObjectiveSampleDrawn);

void BM_GeneticObjective31Censoring(benchmark::State& st) {
    runObjective(st, longState(), nearLaws(true), true);
}
BENCHMARK(BM_GeneticObjective31Censoring);

// The uncached criterion, for comparison.
void BM_Pirson_ZFGen31(benchmark::State& st) {
    const relan::Analysis s = longState();
    const auto laws = nearLaws(false);
    relan::Mod_Weib m;
    m.F_norm.resize(s.Hist_Arr.size());
    m.F_Weib.resize(s.Hist_Arr.size());
    m.Kol_F_priv.resize(s.Hist_Arr.size());
    std::size_t i = 0;
    for (auto _ : st) {
        const auto& a = laws[i];
        benchmark::DoNotOptimize(relan::Pirson_ZFGen(s, a[2], a[1], a[3], s.Sred, s.SKO, m));
        i = (i + 1) % laws.size();
    }
}
BENCHMARK(BM_Pirson_ZFGen31);

// The window's defaults on the sample: 3000 individuals, 1500 generations,
// all cores (the argument: number of threads, 0 = one per core).
void BM_GeneticRunDefault(benchmark::State& st) {
    for (auto _ : st) {
        relan::Analysis s;
        relan::loadFailureData(RELAN_SAMPLES_DIR "/mtz82_2018.rel", relan::NumberFormat{}, s);
        QuietHost host;
        relan::GeneticControl control;
        relan::GeneticOptions o;
        o.seed = 1;
        o.threads = static_cast<unsigned>(st.range(0));
        relan::GeneticFields f; // 0.0000001, 3000, 1500, 50
        const auto out = relan::runGenetic(s, f, host, control, o);
        benchmark::DoNotOptimize(out.criterion);
    }
}
BENCHMARK(BM_GeneticRunDefault)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
