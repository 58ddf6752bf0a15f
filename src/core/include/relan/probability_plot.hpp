#pragma once

// The likelihood model on Weibull probability paper: x = ln t, y =
// ln(-ln(1 - F)), where a Weibull law is the straight line y = ln A + B ln t.
// The observed points are the censoring-corrected cumulative failures per
// product (each failure weighted by the inverse share still under warranty
// at its time), divided by the fitted K to put them on the law's scale.

#include "relan/state.hpp"

#include <string>
#include <vector>

namespace relan {

struct ProbabilityPoint {
    double time = 0; // hours
    double F = 0;    // 0 < F < 1
};

struct ProbabilityPlot {
    std::vector<ProbabilityPoint> observed;
    std::vector<ProbabilityPoint> fitted;
    // The pointwise 95 % band of the fitted law, where its ends are bounded.
    std::vector<ProbabilityPoint> bandLow, bandHigh;
};

// Weibull paper's ordinate of a share F, 0 < F < 1.
double weibullPaperY(double F);

// Needs the likelihood model of the last calculation (its Mod_Weib and likelihoodFit);
// relan::Error otherwise. `bandPoints` times spread evenly in ln t over the
// documented failures carry the fitted law and its band.
ProbabilityPlot probabilityPlot(const Analysis& s, int bandPoints = 25);

// The observed points as a drawing of them looks: from a curve climbing in
// both ln t and the paper's ordinate, a point is kept when it moves at least
// 1/cells of either range from the last one kept; the first and the last are
// always kept. At most about 2 * cells + 2 points remain, whatever the fleet.
std::vector<ProbabilityPoint> thinnedForDrawing(const std::vector<ProbabilityPoint>& points,
                                                int cells = 1000);

inline constexpr const char* kProbabilityPlotTitle = "Модель МП на вероятностной бумаге Вейбулла";
inline constexpr const char* kNoLikelihoodModel =
    "Модель МП не рассчитана: отметьте «Модель МП (максимальное правдоподобие)» и нажмите «Расчет»";

} // namespace relan
