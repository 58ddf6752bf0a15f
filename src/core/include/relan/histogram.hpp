#pragma once

// The failure histogram every model is fitted to and every chart is drawn
// from, and the modelled histogram of a fitted law.

#include "relan/log.hpp"
#include "relan/numtext.hpp"
#include "relan/state.hpp"

#include <vector>

namespace relan {

// Narrowest first-interval width the halving goes down to: a crowd of
// failures at one time cannot be split by narrower intervals.
constexpr int kMinHistWidth = 1;
// Beyond this operating time the interval widths would no longer fit their
// integer hours; no product runs for thousands of years.
constexpr double kMaxFailureTime = 1e8;

// Rebuilds Hist_Arr, D_Hist1, D_Hist2, Sum_PrichCol, Sum_PrichRow of `h` from
// the sorted MasProbl; the chart pass's sums in `h` are left as they were.
// Raises relan::Error when there are no failures.
void hist(const LoadedData& data, HistogramData& h);
inline void hist(Analysis& s) {
    hist(s, s);
}

// Modelled failures per interval of the law (A, B, Kpowt) under the current
// censoring law s.Sred / s.SKO, their total and their RMS difference from the
// observed counts; appends the 95 % band line to the log.
void Hist_Made(const Analysis& s, double A, double B, double Kpowt, RealArray& Mas_Model_Hist,
               double& N_Nakopl, double& SKO_, const NumberFormat& fmt, const LogSink& log);

// The intervals as the criteria walk them: boundaries t[0] = 0, t[i + 1] =
// right end of interval i, and the observed count of each interval.
struct IntervalBounds {
    std::vector<double> t;
    std::vector<double> observed;
};
IntervalBounds intervalBounds(const std::vector<Hist_Rec>& h);

} // namespace relan
