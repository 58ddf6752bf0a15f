#pragma once

#include "relan/calculation.hpp"
#include "relan/input_files.hpp"
#include "relan/nonparam.hpp"
#include "relan/state.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace relan::cli {

using Json = nlohmann::ordered_json;

Json inputJson(const AnalysisState& s);
Json gridJson(const std::vector<GridRow>& grid);
Json histogramJson(const AnalysisState& s);
Json modelsJson(const AnalysisState& s, const CalcResult& r);
Json tableJson(const ResultTable& t);
Json nonparamJson(const NonParamResult& n);

// The model record a fit of this kind fills.
const Mod_Weib& modelOf(const AnalysisState& s, FitKind kind);

} // namespace relan::cli
