#pragma once

#include "report_json.hpp"

#include "relan/calculation.hpp"
#include "relan/nonparam.hpp"

#include <optional>

#include <string>
#include <vector>

namespace relan::cli {

// A report a person reads in a terminal: the data, the histogram, one block
// per model and the results table.
std::string textReport(const Analysis& input, const Analysis& s, const CalcResult& r,
                       const NonParamResult& np, const std::vector<std::string>& log, const NumberFormat& fmt,
                       const std::optional<GeneticRun>& genetic = std::nullopt);

} // namespace relan::cli
