#pragma once

// The maximum-likelihood model of the failure process, beside the searches
// of the histogram criteria. The documented failures of the fleet form a
// Poisson process whose observed intensity at operating time t is
//   lambda(t) = Izd_Prived * K * f(t) * (1 - G(t)),
// f the density of F(t) = 1 - exp(-A t^B) and G the normal law of the
// warranty-end times. The fit maximises
//   sum_k log lambda(t_k) - integral_0^inf lambda(t) dt
// over log A, log B, log K (and the censoring mean and log SD when asked),
// and gives profile-likelihood intervals for what an engineer reports.
//
// Its closure K -> infinity, A -> 0 with c = K A fixed is a power law,
// K F(t) -> c t^B: when the data fit it as well as any finite K, K, A and
// eta are not estimable, while K F(t) inside the observed times stays
// determined.

#include "relan/numtext.hpp"
#include "relan/progress.hpp"
#include "relan/state.hpp"
#include "relan/warnings.hpp"

#include <optional>
#include <string>
#include <vector>

namespace relan {

// The share of a fleet's failures up to the end of the law that warranty
// observes, E[F(W); W > 0] = integral_0^inf f(t) (1 - G(t)) dt, W the
// warranty-end time ~ Normal(Sred, SKO); and the same between t1 and t2.
// Computed by adaptive Gauss-Kronrod quadrature to 1e-10 relative accuracy
// or better with the normal law of Boost.Math, for any SKO > 0; t2 may be
// +infinity. Invalid arguments (A, B, SKO <= 0, t1 > t2) raise relan::Error.
double observedShare(double A, double B, double Sred, double SKO);
double observedShare(double A, double B, double Sred, double SKO, double t1, double t2);

// The log-likelihood of failure times `times` (hours, each > 0) under the
// model; Izd_Prived the reduced fleet. -infinity is never returned: a law
// under which a documented failure is impossible raises relan::Error.
double failureLogLikelihood(const std::vector<double>& times, double Izd_Prived, double A, double B, double K,
                            double Sred, double SKO);

// A 95 % profile-likelihood interval (chi-square 1 df, 3.841). An end the
// profile does not reach within the admissible range is open: no number.
struct LikelihoodInterval {
    double estimate = 0;
    std::optional<double> lo, hi;
    bool closed() const { return lo.has_value() && hi.has_value(); }
};

// The mean cumulative number of failures per product K F(t), with its interval.
struct McfPoint {
    double time = 0;
    LikelihoodInterval value;
};

// Pearson's chi-square of the histogram against the fitted model, adjacent
// intervals merged until each expected count is at least 5.
struct LikelihoodGoodnessOfFit {
    double chi2 = 0;
    int cells = 0; // after merging, the tail beyond the last interval included
    int df = 0;    // cells - fitted parameters; 0 when too few cells
    // None when df is 0: the fit cannot then be judged by the histogram.
    std::optional<double> pValue;
    // The groups of more than one interval, in histogram order.
    std::vector<MergedCells> merged;
};

// The goodness of fit's p as every text shows it, "p = 0.726", or
// "согласие не оценивается" with no degrees of freedom.
std::string pValueText(const LikelihoodGoodnessOfFit& g, const NumberFormat& fmt);

struct LikelihoodOptions {
    bool fitSred = false;         // the censoring mean is searched too
    bool fitSKO = false;          // and/or its standard deviation
    std::vector<double> mcfTimes; // where K F(t) is reported besides tGar
    bool intervals = true;        // false: the point estimate and loglik only (simulations of speed)
    NumberFormat fmt;             // the decimal separator of the messages
    // Steps done of the steps the fit will take (each start of the search,
    // each interval), as "Модель МП"; a set flag ends the fit with Cancelled
    // within one evaluation of the likelihood.
    ProgressHooks progress;
};

// What the texts show for a quantity the data do not estimate.
inline constexpr const char* kNotEstimable = "не определяется";

// The power-law limit's maximum: K F(t) = c t^B with the fit's censoring law.
struct PowerLawLimit {
    double loglik = 0;
    double B = 0, c = 0;
};

struct LikelihoodFit {
    // At the power-law limit A and K_powtor represent it (A t^B below 1e-8
    // at every time the model is shown at), so that K F(t) is right; they
    // are then no estimates and `estimable` is false.
    double A = 0, B = 0, K_powtor = 0;
    // K, A and eta are estimates: the maximum is neither at the power-law
    // limit nor on a bound of the search, and K lies in its admissible range.
    bool estimable = true;
    PowerLawLimit powerLaw;
    double Sred = 0, SKO = 0; // the censoring law fitted with (the fixed one when not searched)
    bool fittedSred = false, fittedSKO = false; // which of the two were searched
    NumberFormat numbers;                       // the format of its texts, for the band's messages
    bool converged = false; // every start that reached the best agrees, and the optimiser said so
    double loglik = 0;
    int parameters = 3; // 3, 4 or 5
    double aic = 0;
    LikelihoodInterval A_ci, B_ci, K_ci, eta_ci;       // eta = A^(-1/B), hours
    std::optional<LikelihoodInterval> Sred_ci, SKO_ci; // when fitted
    std::vector<McfPoint> mcf;                         // at tGar first, then at the times asked
    LikelihoodGoodnessOfFit gof;
    // When the censoring law was searched: the gain of loglik over the
    // fixed law (a likelihood-ratio test: below 1.92 for one searched
    // parameter, 3.00 for two, it is not determined and the fit is the
    // given law's; so it is when the searched SD or mean ends on its bound).
    std::optional<double> censoringGain;
    // Each quantity the data do not determine, and why the fit should not be
    // trusted: not converged and not estimable first, the goodness of fit last.
    Warnings warnings;
};

// Fits the model to the documented failures of `s` (MasProbl times,
// Izd_Prived, and Sred, SKO, tGar as the calculation read them). Refuses with
// relan::Error (Russian text): no failures; a censoring law leaving no
// product under warranty at any failure time; SKO <= 0.
LikelihoodFit fitLikelihood(const Analysis& s, const LikelihoodOptions& options = {});

// K F(t) with its pointwise 95 % profile interval at each of `times`, for
// the probability plot's band.
std::vector<McfPoint> likelihoodBand(const Analysis& s, const LikelihoodFit& fit,
                                     const std::vector<double>& times);

} // namespace relan
