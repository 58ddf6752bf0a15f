#include "relan/input_files.hpp"
#include "relan/special.hpp"

#include <benchmark/benchmark.h>

static void BM_LoadSample(benchmark::State& st) {
    const std::string bytes = relan::readInputFile(RELAN_SAMPLES_DIR "/mtz82_2018.rel");
    for (auto _ : st) {
        relan::AnalysisState s;
        benchmark::DoNotOptimize(relan::parseFailureData(bytes, "sample", relan::NumberFormat{}, s));
    }
}
BENCHMARK(BM_LoadSample);

static void BM_CDF_Gauss(benchmark::State& st) {
    double x = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(relan::CDF_Gauss(1800, 450, x));
        x += 1.7;
        if (x > 4000) x = 0;
    }
}
BENCHMARK(BM_CDF_Gauss);

static void BM_weibCDF2(benchmark::State& st) {
    double x = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(relan::weibCDF2(2e-5, 1.3, x, x + 100));
        x += 1.7;
        if (x > 4000) x = 0;
    }
}
BENCHMARK(BM_weibCDF2);
