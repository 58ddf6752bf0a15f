#include "fleet_sim.hpp"
#include "relan/histogram.hpp"
#include "relan/input_files.hpp"
#include "relan/likelihood.hpp"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

relan::LikelihoodOptions withMcfAt1000() {
    relan::LikelihoodOptions o;
    o.mcfTimes = {1000};
    return o;
}

void fitAll(benchmark::State& st, const relan::Analysis& s, const relan::LikelihoodOptions& o) {
    for (auto _ : st)
        benchmark::DoNotOptimize(relan::fitLikelihood(s, o));
    st.counters["failures"] = static_cast<double>(s.MasProbl.size());
}

} // namespace

// The bundled sample: the fit, every interval and the chi-square.
static void BM_LikelihoodSample(benchmark::State& st) {
    relan::Analysis s;
    relan::loadFailureData(RELAN_SAMPLES_DIR "/mtz82_2018.rel", relan::NumberFormat{}, s);
    relan::hist(s);
    fitAll(st, s, withMcfAt1000());
}
BENCHMARK(BM_LikelihoodSample)->Unit(benchmark::kMillisecond);

// About 10,000 documented failures of a simulated fleet.
static void BM_Likelihood10000(benchmark::State& st) {
    std::mt19937_64 rng(12345);
    relan::Analysis s = relan::sim::simulateFleet({15000, 1.0, 1e-3, 1.0, 1200, 300, 1.0}, rng);
    relan::hist(s);
    fitAll(st, s, withMcfAt1000());
}
BENCHMARK(BM_Likelihood10000)->Unit(benchmark::kMillisecond);

// The sample with the censoring law searched too.
static void BM_LikelihoodSampleCensoring(benchmark::State& st) {
    relan::Analysis s;
    relan::loadFailureData(RELAN_SAMPLES_DIR "/mtz82_2018.rel", relan::NumberFormat{}, s);
    relan::hist(s);
    relan::LikelihoodOptions o = withMcfAt1000();
    o.fitSred = o.fitSKO = true;
    fitAll(st, s, o);
}
BENCHMARK(BM_LikelihoodSampleCensoring)->Unit(benchmark::kMillisecond);

// A probability-plot band of 30 times on the sample.
static void BM_LikelihoodBand30(benchmark::State& st) {
    relan::Analysis s;
    relan::loadFailureData(RELAN_SAMPLES_DIR "/mtz82_2018.rel", relan::NumberFormat{}, s);
    const relan::LikelihoodFit fit = relan::fitLikelihood(s);
    std::vector<double> times;
    for (int i = 1; i <= 30; ++i)
        times.push_back(100.0 * i);
    for (auto _ : st)
        benchmark::DoNotOptimize(relan::likelihoodBand(s, fit, times));
}
BENCHMARK(BM_LikelihoodBand30)->Unit(benchmark::kMillisecond);
