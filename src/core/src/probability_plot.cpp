#include "relan/probability_plot.hpp"

#include "relan/error.hpp"
#include "relan/likelihood.hpp"
#include "relan/special.hpp"

#include <algorithm>
#include <cmath>

namespace relan {

double weibullPaperY(double F) {
    return std::log(-std::log1p(-F));
}

std::vector<ProbabilityPoint> thinnedForDrawing(const std::vector<ProbabilityPoint>& points, int cells) {
    if (points.size() <= 2 || cells <= 0) return points;
    double xLo = std::log(points.front().time), xHi = xLo;
    double yLo = weibullPaperY(points.front().F), yHi = yLo;
    for (const ProbabilityPoint& p : points) {
        const double x = std::log(p.time), y = weibullPaperY(p.F);
        xLo = std::min(xLo, x), xHi = std::max(xHi, x);
        yLo = std::min(yLo, y), yHi = std::max(yHi, y);
    }
    const double dx = (xHi - xLo) / cells, dy = (yHi - yLo) / cells;
    std::vector<ProbabilityPoint> out{points.front()};
    double xLast = std::log(points.front().time), yLast = weibullPaperY(points.front().F);
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        const double x = std::log(points[i].time), y = weibullPaperY(points[i].F);
        if (std::abs(x - xLast) < dx && std::abs(y - yLast) < dy) continue;
        out.push_back(points[i]);
        xLast = x, yLast = y;
    }
    out.push_back(points.back());
    return out;
}

ProbabilityPlot probabilityPlot(const Analysis& s, int bandPoints) {
    if (!s.models[ModelId::Likelihood].Executed || !s.likelihoodFit) throw Error(kNoLikelihoodModel);
    const LikelihoodFit& fit = *s.likelihoodFit;
    const double K = fit.K_powtor;
    const double P = s.Izd_Prived;
    if (!(K > 0) || !(P > 0) || s.MasProbl.empty()) throw Error(kNoLikelihoodModel);

    ProbabilityPlot plot;
    // One point per distinct failure time, as the weighted count stands
    // after its last failure.
    double weighted = 0;
    for (std::size_t k = 0; k < s.MasProbl.size(); ++k) {
        const double t = s.MasProbl[k].time;
        const double still = 1 - CDF_Gauss(fit.Sred, fit.SKO, t);
        if (!(still > 0)) break; // nobody left under warranty to weight by
        weighted += 1 / still;
        if (k + 1 < s.MasProbl.size() && s.MasProbl[k + 1].time == t) continue;
        const double F = weighted / P / K;
        if (F > 0 && F < 1 && std::isfinite(F)) plot.observed.push_back({t, F});
    }

    const double first = s.MasProbl.front().time, last = s.MasProbl.back().time;
    std::vector<double> times;
    const int n = std::max(2, bandPoints);
    for (int i = 0; i < n; ++i)
        times.push_back(std::exp(std::log(first) + (std::log(last) - std::log(first)) * i / (n - 1)));
    for (double t : times) {
        const double F = -std::expm1(-fit.A * std::pow(t, fit.B));
        if (F > 0 && F < 1) plot.fitted.push_back({t, F});
    }
    for (const McfPoint& p : likelihoodBand(s, fit, times)) {
        auto onPaper = [&](const std::optional<double>& m, std::vector<ProbabilityPoint>& out) {
            if (!m) return;
            const double F = *m / K;
            if (F > 0 && F < 1 && std::isfinite(F)) out.push_back({p.time, F});
        };
        onPaper(p.value.lo, plot.bandLow);
        onPaper(p.value.hi, plot.bandHigh);
    }
    return plot;
}

} // namespace relan
