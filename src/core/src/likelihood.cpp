#include "relan/likelihood.hpp"

#include "relan/error.hpp"

namespace relan {

namespace {
[[noreturn]] void notBuilt() { throw Error("Модель максимального правдоподобия еще не построена"); }
} // namespace

double observedShare(double, double, double, double) { notBuilt(); }
double observedShare(double, double, double, double, double, double) { notBuilt(); }
double failureLogLikelihood(const std::vector<double>&, double, double, double, double, double, double) { notBuilt(); }
LikelihoodFit fitLikelihood(const AnalysisState&, const LikelihoodOptions&) { notBuilt(); }
std::vector<McfPoint> likelihoodBand(const AnalysisState&, const LikelihoodFit&, const std::vector<double>&) {
    notBuilt();
}

} // namespace relan
