#include "relan/half_fleet.hpp"

#include <cmath>

namespace relan {
namespace {

// Fractional part with the sign of its argument.
double frac(double x) {
    return x - std::trunc(x);
}

} // namespace

HalfFleetTimes halfFleetTimes(const std::vector<Problems>& failures, double reducedFleet,
                              const std::function<double(double)>& weight,
                              const std::function<void(double)>& afterFailure) {
    HalfFleetTimes r;
    const double half = 0.5 * reducedFleet;
    double corrected = 0;
    double tprev = 0;
    for (std::size_t i = 0; i < failures.size(); ++i) {
        const double t = failures[i].time;
        corrected += weight(t);
        if (afterFailure) afterFailure(corrected);
        const double n = static_cast<double>(i + 1);
        if (r.t50 == 0 && n / reducedFleet >= 0.5) r.t50 = t - (t - tprev) * frac(n - half);
        if (r.tz50 == 0 && corrected / reducedFleet >= 0.5) r.tz50 = t - (t - tprev) * frac(corrected - half);
        tprev = t;
    }
    return r;
}

} // namespace relan
