#pragma once

// The Russian sentences of the warnings, made from their facts: the only
// place that words them, so that the window, the command line, the log and
// the report read the same. Numbers follow the user's format.

#include "relan/numtext.hpp"
#include "relan/warnings.hpp"

#include <string>
#include <vector>

namespace relan {

// The warning as one sentence, as the log and the reports show it.
std::string warningText(const Warning& w, const NumberFormat& fmt);

// A parameter on a limit as the results table notes it, shorter than its
// warning: "A = 0,001: нижняя граница поиска модели 1.2".
std::string limitNote(const LimitHit& hit, const NumberFormat& fmt);
// The notes of a model's parameters on their limits, one a line.
std::string limitNotes(const std::vector<LimitHit>& hits, const NumberFormat& fmt);

// "1800–2200 ч (3 интервала)", "от 2400 ч и далее (2 интервала)" for the tail.
std::string mergedCellsText(const MergedCells& m, const NumberFormat& fmt);

} // namespace relan
