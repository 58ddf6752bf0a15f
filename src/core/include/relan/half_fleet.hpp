#pragma once

// The operating times by which half of the reduced fleet has failed: the
// median the expanded chart and the non-parametric analysis both report.

#include "relan/state.hpp"

#include <functional>
#include <vector>

namespace relan {

struct HalfFleetTimes {
    double t50 = 0;  // plain count of failures; 0 = half the fleet never reached
    double tz50 = 0; // each failure weighted up for the products out of warranty; 0 = never reached
};

// Walks the failures in time order, interpolating between the previous
// failure and the one at which the running count passes half of
// `reducedFleet`. `weight(t)` is 1 / (1 - G(t)) at a failure's time and
// raises the caller's own error where no product is left under warranty;
// `afterFailure(corrected)`, when given, sees the running weighted count.
HalfFleetTimes halfFleetTimes(const std::vector<Problems>& failures, double reducedFleet,
                              const std::function<double(double)>& weight,
                              const std::function<void(double)>& afterFailure = {});

} // namespace relan
