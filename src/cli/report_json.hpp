#pragma once

#include "relan/calculation.hpp"
#include "relan/genetic.hpp"
#include "relan/input_files.hpp"
#include "relan/nonparam.hpp"
#include "relan/state.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace relan::cli {

using Json = nlohmann::ordered_json;

Json inputJson(const AnalysisState& s);
Json gridJson(const std::vector<GridRow>& grid);
Json histogramJson(const AnalysisState& s);
Json modelsJson(const AnalysisState& s, const CalcResult& r);
Json tableJson(const ResultTable& t);

// A finished genetic run, for the reports; its model is s.MGenet.
struct GeneticRun {
    GeneticOutcome outcome;
    std::optional<std::uint64_t> seed;
};
// The genetic model as a "models" entry: "passes" are the generations run,
// "criterion" the objective at the stored law.
Json geneticJson(const AnalysisState& s, const GeneticRun& g);
Json nonparamJson(const NonParamResult& n);

// The model record a fit of this kind fills.
const Mod_Weib& modelOf(const AnalysisState& s, FitKind kind);

} // namespace relan::cli
