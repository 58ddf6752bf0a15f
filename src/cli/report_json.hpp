#pragma once

#include "relan/input_files.hpp"
#include "relan/state.hpp"

#include <nlohmann/json.hpp>

namespace relan::cli {

nlohmann::ordered_json inputJson(const AnalysisState& s);
nlohmann::ordered_json gridJson(const std::vector<GridRow>& grid);

} // namespace relan::cli
