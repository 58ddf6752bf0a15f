#include "relan/fits.hpp"
#include "relan/histogram.hpp"
#include "relan/input_files.hpp"
#include "relan/special.hpp"

#include <benchmark/benchmark.h>

#include <string>

static void BM_LoadSample(benchmark::State& st) {
    const std::string bytes = relan::readInputFile(RELAN_SAMPLES_DIR "/mtz82_2018.rel");
    for (auto _ : st) {
        relan::Analysis s;
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

namespace {

// A loaded file with its histogram, as a calculation has it when the first
// fit starts (the fields hold the file's own censoring law).
relan::Analysis loadedWithHistogram(const std::string& path) {
    relan::Analysis s;
    relan::loadFailureData(path, relan::NumberFormat{}, s);
    relan::hist(s);
    return s;
}

relan::FitOptions defaults(double kdiv) {
    relan::FitOptions o;
    o.kdiv = kdiv;
    o.timing = false;
    return o;
}

// Each iteration fits a fresh copy, so that no run starts from another's results.
template <typename Fit> void runFit(benchmark::State& st, const std::string& path, double kdiv, Fit fit) {
    const relan::Analysis loaded = loadedWithHistogram(path);
    const relan::FitOptions opt = defaults(kdiv);
    for (auto _ : st) {
        relan::Analysis s = loaded;
        benchmark::DoNotOptimize(fit(s, opt).criterion);
    }
}

const std::string kSample = RELAN_SAMPLES_DIR "/mtz82_2018.rel";
const std::string kFleet1500 = RELAN_BENCH_DATA_DIR "/fleet1500.rel";

auto spiral = [](relan::Analysis& s, const relan::FitOptions& o) { return relan::SpirSp_Execute(s, o); };
auto newton = [](relan::Analysis& s, const relan::FitOptions& o) {
    return relan::Podbor_Weib_Pirson(s, s.models[relan::ModelId::Newton].A,
                                     s.models[relan::ModelId::Newton].B, o);
};
auto smirnov = [](relan::Analysis& s, const relan::FitOptions& o) {
    return relan::Podbor_Weib_Smirnow(s, s.models[relan::ModelId::Smirnov].A,
                                      s.models[relan::ModelId::Smirnov].B, o);
};

} // namespace

// The main window's default coefficients: 1.00025 for both Pearson fits, 1.0005 for Smirnov.
static void BM_Spiral_Sample(benchmark::State& st) {
    runFit(st, kSample, 1.00025, spiral);
}
BENCHMARK(BM_Spiral_Sample)->Unit(benchmark::kMillisecond)->Iterations(10);

static void BM_Newton_Sample(benchmark::State& st) {
    runFit(st, kSample, 1.00025, newton);
}
BENCHMARK(BM_Newton_Sample)->Unit(benchmark::kMillisecond)->Iterations(5);

static void BM_Smirnov_Sample(benchmark::State& st) {
    runFit(st, kSample, 1.0005, smirnov);
}
BENCHMARK(BM_Smirnov_Sample)->Unit(benchmark::kMillisecond)->Iterations(5);

static void BM_Smirnov_Fleet1500(benchmark::State& st) {
    runFit(st, kFleet1500, 1.0005, smirnov);
}
BENCHMARK(BM_Smirnov_Fleet1500)->Unit(benchmark::kMillisecond)->Iterations(2);
