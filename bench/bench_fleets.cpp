// The load and every fit on generated fleets of 1,500, 10,000 and 100,000
// failures, for the table scripts/bench.sh prints. The fleets are those of
// relan-fleet-file with a fixed seed: 1,500 failures with times to 0.01 h
// as in the sample, 10,000 and 20,000 with every time distinct, 100,000
// with times to 0.1 h.

#include "fleet_file.hpp"

#include "relan/fits.hpp"
#include "relan/genetic.hpp"
#include "relan/histogram.hpp"
#include "relan/input_files.hpp"
#include "relan/likelihood.hpp"

#include "quiet_host.hpp"

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>

namespace {

int decimalsFor(int failures) {
    switch (failures) {
    case 1500:
        return 2;
    case 100000:
        return 1;
    default:
        return 6;
    }
}

// Decoding, cause matching, sorting and the thresholds; the failure list's
// texts are made only when shown, so they are not part of a load.
void BM_Load(benchmark::State& st) {
    const auto failures = static_cast<int>(st.range(0));
    const std::string bytes = relan::sim::fleetFile({failures, decimalsFor(failures), 20181});
    for (auto _ : st) {
        relan::Analysis s;
        benchmark::DoNotOptimize(relan::parseFailureData(bytes, "fleet", relan::NumberFormat{}, s));
    }
    st.SetItemsProcessed(st.iterations() * failures);
}
BENCHMARK(BM_Load)->Arg(1500)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The loaded fleet with its histogram, as a calculation has it when the
// first fit starts; made once per size.
const relan::Analysis& fleet(int failures) {
    static std::map<int, relan::Analysis> made;
    auto it = made.find(failures);
    if (it != made.end()) return it->second;
    relan::Analysis s;
    relan::parseFailureData(relan::sim::fleetFile({failures, decimalsFor(failures), 20181}), "fleet",
                            relan::NumberFormat{}, s);
    relan::hist(s);
    return made.emplace(failures, std::move(s)).first->second;
}

relan::FitOptions defaults(double kdiv) {
    relan::FitOptions o;
    o.kdiv = kdiv;
    o.timing = false;
    return o;
}

// Each iteration fits a fresh copy, so that no run starts from another's
// results. The main window's default coefficients: 1.00025 for both
// Pearson fits, 1.0005 for Smirnov.
template <typename Fit> void runFit(benchmark::State& st, double kdiv, Fit fit) {
    const relan::Analysis& loaded = fleet(static_cast<int>(st.range(0)));
    const relan::FitOptions opt = defaults(kdiv);
    for (auto _ : st) {
        relan::Analysis s = loaded;
        benchmark::DoNotOptimize(fit(s, opt).criterion);
    }
}

void BM_Spiral(benchmark::State& st) {
    runFit(st, 1.00025,
           [](relan::Analysis& s, const relan::FitOptions& o) { return relan::SpirSp_Execute(s, o); });
}
BENCHMARK(BM_Spiral)->Arg(1500)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Newton(benchmark::State& st) {
    runFit(st, 1.00025, [](relan::Analysis& s, const relan::FitOptions& o) {
        return relan::Podbor_Weib_Pirson(s, s.models[relan::ModelId::Newton].A,
                                         s.models[relan::ModelId::Newton].B, o);
    });
}
BENCHMARK(BM_Newton)->Arg(1500)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Smirnov(benchmark::State& st) {
    runFit(st, 1.0005, [](relan::Analysis& s, const relan::FitOptions& o) {
        return relan::Podbor_Weib_Smirnow(s, s.models[relan::ModelId::Smirnov].A,
                                          s.models[relan::ModelId::Smirnov].B, o);
    });
}
BENCHMARK(BM_Smirnov)
    ->Arg(1500)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_Likelihood(benchmark::State& st) {
    const relan::Analysis& s = fleet(static_cast<int>(st.range(0)));
    for (auto _ : st)
        benchmark::DoNotOptimize(relan::fitLikelihood(s));
}
BENCHMARK(BM_Likelihood)->Arg(1500)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The genetic search rates laws on the histogram, so a generation costs the
// same at any fleet size; 300 generations of the window's 3000 individuals
// keep the table's run short.
void BM_Genetic300(benchmark::State& st) {
    for (auto _ : st) {
        relan::Analysis s = fleet(static_cast<int>(st.range(0)));
        QuietHost host;
        relan::GeneticControl control;
        relan::GeneticOptions o;
        o.seed = 1;
        relan::GeneticFields f;
        f.generationsText = "300";
        benchmark::DoNotOptimize(relan::runGenetic(s, f, host, control, o).criterion);
    }
}
BENCHMARK(BM_Genetic300)
    ->Arg(1500)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

} // namespace
