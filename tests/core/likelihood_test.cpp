#include "relan/likelihood.hpp"

#include "fixtures.hpp"
#include "fleet_sim.hpp"
#include "relan/calculation.hpp"
#include "relan/error.hpp"
#include "relan/histogram.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using relan::Analysis;
using relan::LikelihoodFit;
using relan::LikelihoodInterval;
using relan::LikelihoodOptions;

// A simulated fleet with the histogram the calculation builds.
Analysis simulatedWithHistogram(const relan::sim::Scenario& sc, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    Analysis s = relan::sim::simulateFleet(sc, rng);
    relan::hist(s);
    return s;
}

double weibF(double A, double B, double t) {
    return -std::expm1(-A * std::pow(t, B));
}
double upperTail(double z) {
    return 0.5 * std::erfc(z / std::sqrt(2.0));
}

bool contains(const LikelihoodInterval& ci, double truth) {
    return ci.lo && ci.hi && *ci.lo <= truth && truth <= *ci.hi;
}

bool hasWarning(const LikelihoodFit& f, const relan::Warning& w) {
    return std::find(f.warnings.begin(), f.warnings.end(), w) != f.warnings.end();
}

// The warnings of one kind, in order.
template <typename Kind> std::vector<Kind> warningsOf(const LikelihoodFit& f) {
    std::vector<Kind> out;
    for (const auto& w : f.warnings)
        if (const Kind* k = std::get_if<Kind>(&w)) out.push_back(*k);
    return out;
}

const relan::Warning kKOpenUpwards =
    relan::warning::IntervalOpen{relan::Estimate::K, 0, relan::IntervalSide::Upper};

// Golden-section maximum of a unimodal function on [a, b].
double goldenMax(const std::function<double(double)>& f, double a, double b) {
    const double g = (std::sqrt(5.0) - 1) / 2;
    double c = b - g * (b - a), d = a + g * (b - a);
    double fc = f(c), fd = f(d);
    for (int i = 0; i < 200 && b - a > 1e-12 * (1 + std::fabs(a)); ++i) {
        if (fc > fd) {
            b = d, d = c, fd = fc, c = b - g * (b - a), fc = f(c);
        } else {
            a = c, c = d, fc = fd, d = a + g * (b - a), fd = f(d);
        }
    }
    return 0.5 * (a + b);
}

struct ShareCase {
    double A, B, Sred, SKO, expected;
};

// With an exponential law the expectation over a normal W has a closed form
// (completing the square), exact even where W may fall below 0:
// E[1 - exp(-A W); W > 0] = P(W > 0) - exp(-A mu + A^2 s^2 / 2) Phi((mu - A s^2) / s).
double exponentialShare(double A, double mu, double s) {
    return upperTail(-mu / s) - std::exp(-A * mu + A * A * s * s / 2) * upperTail(-(mu - A * s * s) / s);
}

TEST(ObservedShare, MatchesClosedForms) {
    const std::vector<ShareCase> cases{
        // Every product leaves warranty at Sred: the share is F(Sred).
        {1e-4, 1.3, 1000, 1e-3, weibF(1e-4, 1.3, 1000)},
        {0.02, 0.4, 1500, 1e-2, weibF(0.02, 0.4, 1500)},
        {1e-12, 3.5, 2000, 1e-3, weibF(1e-12, 3.5, 2000)},
        // Exponential law, normal warranty ends, narrow and wide.
        {1e-3, 1, 2000, 300, exponentialShare(1e-3, 2000, 300)},
        {5e-4, 1, 4000, 900, exponentialShare(5e-4, 4000, 900)},
        {1e-3, 1, 1800, 900, exponentialShare(1e-3, 1800, 900)},
        {2e-6, 1, 300, 400, exponentialShare(2e-6, 300, 400)},
    };
    for (const auto& c : cases) {
        const double got = relan::observedShare(c.A, c.B, c.Sred, c.SKO);
        EXPECT_NEAR(got, c.expected, 1e-10 * c.expected) << "A=" << c.A << " B=" << c.B << " SKO=" << c.SKO;
    }
}

TEST(ObservedShare, IntervalsAddUpToTheWholeAndMatchTheDegenerateLaw) {
    const std::vector<double> cuts{0, 150, 500, 1200, 1800, 2500, std::numeric_limits<double>::infinity()};
    for (double B : {0.3, 0.7, 1.0, 2.5, 8.0}) {
        const double A = std::pow(1500.0, -B);
        double sum = 0;
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i)
            sum += relan::observedShare(A, B, 1700, 600, cuts[i], cuts[i + 1]);
        const double whole = relan::observedShare(A, B, 1700, 600);
        EXPECT_NEAR(sum, whole, 1e-11 * whole) << "B=" << B;
    }
    // A warranty ending at 1000 for all: between 200 and 600 every failure counts.
    const double A = 1e-3;
    EXPECT_NEAR(relan::observedShare(A, 1, 1000, 1e-3, 200, 600), std::exp(-200 * A) - std::exp(-600 * A),
                1e-12);
    EXPECT_NEAR(relan::observedShare(A, 1, 1000, 1e-3, 1200, 3000), 0, 1e-300);
}

TEST(ObservedShare, RefusesInvalidArguments) {
    EXPECT_THROW(relan::observedShare(0, 1, 1000, 100), relan::Error);
    EXPECT_THROW(relan::observedShare(1e-3, -1, 1000, 100), relan::Error);
    EXPECT_THROW(relan::observedShare(1e-3, 1, 1000, 0), relan::Error);
    EXPECT_THROW(relan::observedShare(1e-3, 1, 1000, 100, 500, 100), relan::Error);
}

TEST(FailureLogLikelihood, MatchesTheDirectFormula) {
    const std::vector<double> times{12.5, 80, 80, 310, 640.2, 1190, 1725};
    struct Case {
        double N, A, K, Sred, SKO;
    };
    // B = 1 so that the compensator has the closed form above.
    for (const Case c : {Case{300, 1e-3, 1.2, 1800, 450}, Case{55.5, 3e-4, 0.4, 1500, 900},
                         Case{1000, 2e-3, 2.5, 1400, 100}}) {
        double expected = 0;
        for (double t : times)
            expected += std::log(c.N * c.K * c.A * std::exp(-c.A * t) * upperTail((t - c.Sred) / c.SKO));
        expected -= c.N * c.K * exponentialShare(c.A, c.Sred, c.SKO);
        EXPECT_NEAR(relan::failureLogLikelihood(times, c.N, c.A, 1, c.K, c.Sred, c.SKO), expected, 1e-9)
            << "N=" << c.N;
    }
    // Another shape: the share is checked above, the rest is the formula.
    const double A = 2e-5, B = 1.7, K = 0.8, N = 400, mu = 1600, s = 350;
    double expected = -N * K * relan::observedShare(A, B, mu, s);
    for (double t : times)
        expected += std::log(N * K * A * B * std::pow(t, B - 1) * std::exp(-A * std::pow(t, B)) *
                             upperTail((t - mu) / s));
    EXPECT_NEAR(relan::failureLogLikelihood(times, N, A, B, K, mu, s), expected, 1e-9);
}

// A fleet of tens of thousands of distinct times takes its sum of t^B by
// bins of log t; it must agree with the direct formula over the whole range
// of shapes, from nearly flat to the steepest admissible.
TEST(FailureLogLikelihood, ManyDistinctTimesMatchTheDirectFormula) {
    std::vector<double> times;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> logTime(std::log(1e-3), std::log(3000.0));
    for (int i = 0; i < 60000; ++i)
        times.push_back(std::exp(logTime(rng)));
    std::sort(times.begin(), times.end());
    const double N = 80000, K = 1.3, mu = 2000, s = 800;
    for (const double B : {0.05, 0.6, 1.0, 3.3, 19.9}) {
        const double A = 2 / std::pow(3000.0, B); // F at the last time 1 - e^-2
        long double expected = -N * K * relan::observedShare(A, B, mu, s);
        long double scale = 0;
        for (double t : times) {
            const long double at = A * std::pow(static_cast<long double>(t), B);
            expected += std::log(static_cast<long double>(N * K * A * B)) +
                        (B - 1) * std::log((long double)t) - at +
                        std::log(static_cast<long double>(upperTail((t - mu) / s)));
            scale += at + std::fabs(std::log((long double)t));
        }
        const double got = relan::failureLogLikelihood(times, N, A, B, K, mu, s);
        EXPECT_NEAR(got, static_cast<double>(expected),
                    1e-12 * static_cast<double>(scale + std::fabs(expected)))
            << "B=" << B;
    }
}

// Every product leaves warranty at C: the documented failures are a Poisson
// process on [0, C] with intensity N K f(t). K = n / (N F(C)) then, and (A, B)
// maximise the likelihood of the Weibull law truncated at C, found here by
// nested golden-section searches of that closed form.
TEST(FitLikelihood, SharpWarrantyEndMatchesTheTruncatedWeibullMaximum) {
    const double C = 1000, N = 400;
    const std::vector<double> times = relan::test::weibullTimes(150, 1e-4, 1.3, C, 1e-6, 7);
    const double n = static_cast<double>(times.size());
    double sumLog = 0;
    for (double t : times)
        sumLog += std::log(t);
    auto truncated = [&](double logA, double B) {
        const double A = std::exp(logA);
        double sumPow = 0;
        for (double t : times)
            sumPow += std::pow(t, B);
        return n * logA + n * std::log(B) + (B - 1) * sumLog - A * sumPow - n * std::log(weibF(A, B, C));
    };
    auto bestLogA = [&](double B) { return goldenMax([&](double la) { return truncated(la, B); }, -40, 5); };
    const double Bhat = goldenMax([&](double B) { return truncated(bestLogA(B), B); }, 0.2, 6);
    const double Ahat = std::exp(bestLogA(Bhat));
    const double Khat = n / (N * weibF(Ahat, Bhat, C));

    const Analysis s = relan::test::makeState(times, N, C, 1e-3);
    LikelihoodOptions o;
    o.intervals = false;
    const LikelihoodFit f = relan::fitLikelihood(s, o);
    EXPECT_TRUE(f.converged);
    EXPECT_NEAR(f.B, Bhat, 1e-4 * Bhat);
    EXPECT_NEAR(f.A, Ahat, 1e-3 * Ahat);
    EXPECT_NEAR(f.K_powtor, Khat, 1e-3 * Khat);
    EXPECT_NEAR(f.K_powtor, n / (N * weibF(f.A, f.B, C)), 1e-8 * f.K_powtor);
    // The fit is the maximum: no nearby point of the closed form is higher.
    const double at = relan::failureLogLikelihood(times, N, f.A, f.B, f.K_powtor, C, 1e-3);
    EXPECT_NEAR(f.loglik, at, 1e-8);
    EXPECT_GE(f.loglik, relan::failureLogLikelihood(times, N, Ahat, Bhat, Khat, C, 1e-3) - 1e-7);
    for (double dA : {-1e-3, 1e-3})
        for (double dB : {-1e-3, 1e-3})
            EXPECT_GT(f.loglik, relan::failureLogLikelihood(times, N, f.A * (1 + dA), f.B * (1 + dB),
                                                            f.K_powtor, C, 1e-3));
    EXPECT_EQ(f.parameters, 3);
    EXPECT_NEAR(f.aic, 6 - 2 * f.loglik, 1e-9);
}

TEST(FitLikelihood, ProgressEndsAtItsTotalAndAStopEndsTheFit) {
    // The censoring law searched and a time asked: every kind of step.
    const Analysis s = simulatedWithHistogram({800, 1.2, 5e-4, 1.2, 1500, 400, 0.9}, 7);
    LikelihoodOptions o;
    o.fitSred = true;
    o.mcfTimes = {1000};
    std::vector<relan::ProgressReport> seen;
    o.progress.report = [&](const relan::ProgressReport& r) { seen.push_back(r); };
    const LikelihoodFit whole = relan::fitLikelihood(s, o);
    ASSERT_GE(seen.size(), 10u);
    const long long total = seen[0].total;
    for (std::size_t k = 0; k < seen.size(); ++k) {
        EXPECT_EQ(seen[k].stage, "Модель МП");
        EXPECT_EQ(seen[k].done, static_cast<long long>(k));
        EXPECT_EQ(seen[k].total, total);
    }
    EXPECT_EQ(seen.back().done, total);

    // Stopped in the search of the point (several parameters at once) and in
    // an interval's profile (one parameter): the same exception either way.
    for (const long long at : {1LL, total - 2}) {
        std::atomic<bool> stop{false};
        long long last = -1;
        o.progress.cancel = &stop;
        o.progress.report = [&](const relan::ProgressReport& r) {
            last = r.done;
            if (r.done == at) stop = true;
        };
        EXPECT_THROW(relan::fitLikelihood(s, o), relan::Cancelled) << at;
        EXPECT_EQ(last, at);
    }
    // Unstopped, the hooks change nothing in the fit.
    o.progress = {};
    EXPECT_EQ(relan::fitLikelihood(s, o).loglik, whole.loglik);
}

TEST(FitLikelihood, RecoversTheTruthOfASimulatedFleet) {
    const relan::sim::Scenario sc{3000, 1.2, 5e-4, 1.2, 1500, 400, 0.9};
    Analysis s = simulatedWithHistogram(sc, 20240611);
    LikelihoodOptions o;
    o.mcfTimes = {1000};
    const LikelihoodFit f = relan::fitLikelihood(s, o);
    EXPECT_TRUE(f.converged);
    EXPECT_TRUE(contains(f.A_ci, sc.A));
    EXPECT_TRUE(contains(f.B_ci, sc.B));
    EXPECT_TRUE(contains(f.K_ci, sc.K));
    EXPECT_TRUE(contains(f.eta_ci, std::pow(sc.A, -1 / sc.B)));
    ASSERT_EQ(f.mcf.size(), 2u);
    EXPECT_EQ(f.mcf[0].time, s.tGar);
    EXPECT_EQ(f.mcf[1].time, 1000);
    EXPECT_NEAR(f.mcf[1].value.estimate, f.K_powtor * weibF(f.A, f.B, 1000), 1e-12);
    EXPECT_TRUE(contains(f.mcf[1].value, sc.K * weibF(sc.A, sc.B, 1000)));
    for (const LikelihoodInterval* ci : {&f.A_ci, &f.B_ci, &f.K_ci, &f.eta_ci, &f.mcf[0].value})
        EXPECT_TRUE(*ci->lo < ci->estimate && ci->estimate < *ci->hi);
    EXPECT_TRUE(f.warnings.empty()) << testing::PrintToString(f.warnings);
    // A model that fits: the chi-square of the histogram is unremarkable.
    EXPECT_GE(f.gof.cells, 5);
    EXPECT_EQ(f.gof.df, f.gof.cells - 3);
    ASSERT_TRUE(f.gof.pValue.has_value());
    EXPECT_GT(*f.gof.pValue, 0.05);
    EXPECT_LE(*f.gof.pValue, 1);

    // The band at the reporting time is the interval the fit gave there.
    const auto band = relan::likelihoodBand(s, f, {500, s.tGar});
    ASSERT_EQ(band.size(), 2u);
    EXPECT_NEAR(*band[1].value.lo, *f.mcf[0].value.lo, 1e-3 * *f.mcf[0].value.lo);
    EXPECT_NEAR(*band[1].value.hi, *f.mcf[0].value.hi, 1e-3 * *f.mcf[0].value.hi);
    EXPECT_LT(*band[0].value.hi, *band[1].value.hi);
}

TEST(FitLikelihood, FewFailuresLeaveTheRepetitionCoefficientOpen) {
    const Analysis s = relan::test::makeState({120, 340, 410, 900}, 50, 1000, 200);
    const LikelihoodFit f = relan::fitLikelihood(s);
    EXPECT_FALSE(f.K_ci.hi.has_value());
    EXPECT_TRUE(f.K_ci.lo.has_value());
    EXPECT_TRUE(hasWarning(f, kKOpenUpwards));
    // What the data do determine stays closed: the failures counted so far.
    EXPECT_TRUE(f.mcf[0].value.closed());
}

TEST(FitLikelihood, AnUndeterminedCensoringLawLeavesTheGivenLawsFit) {
    const relan::sim::Scenario sc{175, 0.26, 0.0015, 1.1, 1800, 400, 1.0};
    std::mt19937_64 rng(5);
    Analysis s = relan::sim::simulateFleet(sc, rng);
    const LikelihoodFit fixed = relan::fitLikelihood(s);
    // Failures piling up before a sharp end at 1000 h, a law given as N(1500, 400).
    Analysis sharp = relan::test::makeState({}, 300, 1500, 400);
    for (int k = 0; k < 120; ++k)
        sharp.MasProbl.push_back(relan::Problems{1000.0 * (k + 0.5) / 120, 1, {}});
    const LikelihoodFit sharpFixed = relan::fitLikelihood(sharp);
    struct Case {
        const char* name;
        const Analysis* state;
        const LikelihoodFit* fixed;
        bool mean, sd;
        double threshold; // of a gain too small; 0: the SD ends on its bound
    };
    const std::vector<Case> cases{
        // Two parameters added: the gain must reach chi-square(2) / 2 = 3.00.
        {"both, small gain", &s, &fixed, true, true, 5.991464547107979 / 2},
        {"mean only, small gain", &s, &fixed, true, false, 3.841458820694124 / 2},
        // A large gain, but only by a law whose SD collapses on its bound.
        {"SD on its bound", &sharp, &sharpFixed, true, true, 0},
    };
    for (const auto& c : cases) {
        LikelihoodOptions o;
        o.fitSred = c.mean;
        o.fitSKO = c.sd;
        const LikelihoodFit f = relan::fitLikelihood(*c.state, o);
        ASSERT_TRUE(f.censoringGain.has_value()) << c.name;
        EXPECT_GE(*f.censoringGain, 0) << c.name;
        const relan::CensoringLawValues given{c.state->Sred, c.state->SKO};
        const auto small = warningsOf<relan::warning::CensoringUndetermined>(f);
        const auto onBound = warningsOf<relan::warning::CensoringOnBound>(f);
        if (c.threshold > 0) {
            ASSERT_EQ(small.size(), 1u) << c.name;
            EXPECT_TRUE(onBound.empty()) << c.name;
            EXPECT_EQ(small[0].gain, *f.censoringGain) << c.name;
            EXPECT_LT(small[0].gain, small[0].threshold) << c.name;
            EXPECT_DOUBLE_EQ(small[0].threshold, c.threshold) << c.name;
            EXPECT_EQ(small[0].given, given) << c.name;
        } else {
            ASSERT_EQ(onBound.size(), 1u) << c.name;
            EXPECT_TRUE(small.empty()) << c.name;
            EXPECT_TRUE(onBound[0].sd) << c.name;
            EXPECT_EQ(onBound[0].gain, *f.censoringGain) << c.name;
            EXPECT_EQ(onBound[0].given, given) << c.name;
        }
        // The model is the given law's: its figures, three parameters, no law intervals.
        EXPECT_EQ(f.parameters, 3) << c.name;
        EXPECT_FALSE(f.fittedSred || f.fittedSKO || f.Sred_ci || f.SKO_ci) << c.name;
        EXPECT_EQ(f.loglik, c.fixed->loglik) << c.name;
        EXPECT_EQ(f.K_powtor, c.fixed->K_powtor) << c.name;
        EXPECT_EQ(f.Sred, c.state->Sred) << c.name;
    }
    LikelihoodOptions both;
    both.fitSred = both.fitSKO = true;
    EXPECT_LT(*relan::fitLikelihood(s, both).censoringGain, 2.996);
}

// Failure times spread as a power law of shape 0.6 over the warranty: a
// fleet whose failures come early and whose law saturates far beyond it.
Analysis earlyFailures(int n, double fleet) {
    std::vector<double> times;
    for (int k = 1; k <= n; ++k)
        times.push_back(std::round(12000 * std::pow((k - 0.5) / n, 1 / 0.6)) / 10);
    return relan::test::makeState(times, fleet, 1500, 400);
}

TEST(FitLikelihood, ThePowerLawLimitMatchesItsClosedForm) {
    // Every warranty ends at C: the limit's exposure E[W^B] is C^B, its
    // maximum over c and B is at B = n / sum log(C / t) and c = n / (N C^B).
    const std::vector<double> times{3, 8, 15, 15, 40, 90, 160, 300, 520};
    const double C = 1000, N = 40, n = static_cast<double>(times.size());
    double sumLogRatio = 0, sumLog = 0;
    for (double t : times)
        sumLogRatio += std::log(C / t), sumLog += std::log(t);
    const double B = n / sumLogRatio;
    const double ll = n * std::log(n) - n * B * std::log(C) - n + n * std::log(B) + (B - 1) * sumLog;
    LikelihoodOptions o;
    o.intervals = false;
    const LikelihoodFit f = relan::fitLikelihood(relan::test::makeState(times, N, C, 1e-3), o);
    EXPECT_NEAR(f.powerLaw.B, B, 1e-6 * B);
    EXPECT_NEAR(f.powerLaw.c, n / (N * std::pow(C, B)), 1e-5 * f.powerLaw.c);
    EXPECT_NEAR(f.powerLaw.loglik, ll, 1e-8);
    EXPECT_GE(f.loglik, f.powerLaw.loglik - 1e-9);

    // Under a spread law the model itself tends to the limit as K grows
    // with K A fixed: the limit's exposure against the model's quadrature.
    const LikelihoodFit g = relan::fitLikelihood(relan::test::makeState(times, N, 800, 300), o);
    for (double K : {1e6, 1e8}) {
        const double model =
            relan::failureLogLikelihood(times, N, g.powerLaw.c / K, g.powerLaw.B, K, 800, 300);
        EXPECT_NEAR(model, g.powerLaw.loglik, 1e-5 * std::max(1.0, 1e6 / K)) << K;
    }
}

TEST(FitLikelihood, EarlyFailuresLeaveTheEndsTowardsThePowerLawOpen) {
    // The maximum has a finite K, yet the limit lies within 1.92 of it: K
    // and eta grow and A falls without the data saying where to stop (the
    // ends were once closed where eta met its bound of 1e9 h).
    const LikelihoodFit f = relan::fitLikelihood(earlyFailures(30, 200));
    EXPECT_TRUE(f.estimable);
    EXPECT_GT(f.powerLaw.loglik, f.loglik - 1.92);
    EXPECT_LT(f.powerLaw.loglik, f.loglik);
    EXPECT_TRUE(f.K_ci.lo && !f.K_ci.hi);
    EXPECT_TRUE(f.eta_ci.lo && !f.eta_ci.hi);
    EXPECT_TRUE(!f.A_ci.lo && f.A_ci.hi);
    EXPECT_TRUE(f.B_ci.closed());
    EXPECT_TRUE(f.mcf[0].value.closed());
    EXPECT_TRUE(hasWarning(f, kKOpenUpwards));

    // Fleets of the simulation study with early failures: an end is closed
    // only where the limit lies beyond the threshold and inside the range.
    const relan::sim::Scenario sc{500, 0.4, std::pow(5000.0, -0.6), 0.6, 1500, 400, 1.0};
    int notEstimable = 0;
    for (std::uint64_t seed = 5000; seed < 5012; ++seed) {
        std::mt19937_64 rng(seed);
        const LikelihoodFit g = relan::fitLikelihood(relan::sim::simulateFleet(sc, rng));
        if (g.K_ci.hi) {
            EXPECT_LT(g.powerLaw.loglik, g.loglik - 1.92) << seed;
            EXPECT_LE(*g.K_ci.hi, 1e4) << seed;
        }
        EXPECT_TRUE(g.K_ci.lo.has_value()) << seed;
        EXPECT_TRUE(g.mcf[0].value.closed()) << seed;
        notEstimable += !g.estimable;
    }
    EXPECT_GT(notEstimable, 0);
}

TEST(FitLikelihood, AMaximumAtThePowerLawLimitHasNoKAOrEta) {
    const relan::sim::Scenario sc{500, 0.4, std::pow(5000.0, -0.6), 0.6, 1500, 400, 1.0};
    std::mt19937_64 rng(5003);
    Analysis s = relan::sim::simulateFleet(sc, rng);
    LikelihoodOptions o;
    o.mcfTimes = {1000};
    const LikelihoodFit f = relan::fitLikelihood(s, o);
    EXPECT_FALSE(f.estimable);
    EXPECT_TRUE(f.converged);
    EXPECT_GE(f.powerLaw.loglik, f.loglik - 1e-9);
    // Said first, with the B of the power law.
    ASSERT_FALSE(f.warnings.empty());
    EXPECT_EQ(f.warnings[0], relan::Warning(relan::warning::NotEstimable{
                                 relan::warning::NotEstimable::Reason::PowerLawLimit, f.powerLaw.B}));
    // Nor are its intervals of K, A and eta told apart: the first warning says it all.
    for (const auto& open : warningsOf<relan::warning::IntervalOpen>(f))
        EXPECT_TRUE(open.quantity == relan::Estimate::B || open.quantity == relan::Estimate::Mcf)
            << testing::PrintToString(relan::Warning(open));
    // What the data determine: K F(t) = c t^B inside the observed times, with closed intervals.
    for (const auto& m : f.mcf) {
        EXPECT_NEAR(m.value.estimate, f.powerLaw.c * std::pow(m.time, f.powerLaw.B), 1e-6 * m.value.estimate);
        EXPECT_TRUE(m.value.closed() && *m.value.lo < m.value.estimate && m.value.estimate < *m.value.hi);
    }
    EXPECT_NEAR(f.B, f.powerLaw.B, 1e-12);
    EXPECT_TRUE(f.B_ci.closed());
    EXPECT_TRUE(f.K_ci.lo && !f.K_ci.hi && !f.eta_ci.hi && !f.A_ci.lo);
    // The band of the plot follows the same limit.
    const auto band = relan::likelihoodBand(s, f, {1000});
    ASSERT_EQ(band.size(), 1u);
    EXPECT_NEAR(*band[0].value.lo, *f.mcf[1].value.lo, 1e-3 * *f.mcf[1].value.lo);
    EXPECT_NEAR(*band[0].value.hi, *f.mcf[1].value.hi, 1e-3 * *f.mcf[1].value.hi);
}

TEST(FitLikelihood, LackOfFitIsSaidAndNoDegreesOfFreedomGiveNoP) {
    // Two laws mixed, a fleet large enough to show it.
    std::mt19937_64 rng(3);
    Analysis mixed = relan::sim::simulateFleet({1500, 0.3, std::pow(100.0, -3.0), 3.0, 1800, 300, 1.0}, rng);
    const Analysis late =
        relan::sim::simulateFleet({1500, 1.0, std::pow(1500.0, -4.0), 4.0, 1800, 300, 1.0}, rng);
    mixed.MasProbl.insert(mixed.MasProbl.end(), late.MasProbl.begin(), late.MasProbl.end());
    std::sort(mixed.MasProbl.begin(), mixed.MasProbl.end(),
              [](const relan::Problems& a, const relan::Problems& b) { return a.time < b.time; });
    relan::hist(mixed);
    LikelihoodOptions o;
    o.intervals = false;
    const LikelihoodFit bad = relan::fitLikelihood(mixed, o);
    ASSERT_TRUE(bad.gof.pValue.has_value());
    EXPECT_LT(*bad.gof.pValue, 0.05);
    EXPECT_TRUE(hasWarning(bad, relan::warning::LackOfFit{*bad.gof.pValue, 0.05}));

    // Fourteen failures in two cells after merging: three parameters leave no degree of freedom.
    Analysis few =
        relan::test::makeState({3, 8, 15, 26, 40, 60, 90, 130, 180, 250, 340, 460, 620, 850}, 100, 1500, 400);
    relan::hist(few);
    const LikelihoodFit none = relan::fitLikelihood(few, o);
    EXPECT_EQ(none.gof.df, 0);
    EXPECT_FALSE(none.gof.pValue.has_value());
    EXPECT_TRUE(hasWarning(none, relan::warning::FitNotJudged{none.gof.cells, 3}));
    EXPECT_TRUE(warningsOf<relan::warning::LackOfFit>(none).empty());
}

TEST(FitLikelihood, RefusesDataItCannotModel) {
    struct Case {
        const char* name;
        Analysis state;
        std::string message;
    };
    Analysis empty = relan::test::makeState({}, 100, 1000, 200);
    Analysis noSko = relan::test::makeState({100, 200}, 100, 1000, 0);
    Analysis noFleet = relan::test::makeState({100, 200}, 0, 1000, 200);
    Analysis ended = relan::test::makeState({500, 700}, 100, 100, 5);
    Analysis oneLate = relan::test::makeState({100, 200, 5000}, 100, 1000, 50);
    const std::vector<Case> cases{
        {"no failures", empty, relan::kNoFailureData},
        {"SKO 0", noSko, "СКО времени окончания гарантии должно быть больше 0"},
        {"no fleet", noFleet, "Приведенное число изделий должно быть больше 0"},
        {"law over", ended,
         "Закон окончания гарантии (среднее 100 ч, СКО 5 ч) не оставляет на гарантии ни одного изделия"},
        {"one late", oneLate, "Отказ на 5000 ч невозможен"},
    };
    for (const auto& c : cases) {
        try {
            relan::fitLikelihood(c.state);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const relan::Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << c.name << ": " << e.what();
        }
    }
}

TEST(FitLikelihood, GoodnessOfFitMergesSparseCellsAndNeedsAHistogram) {
    const relan::sim::Scenario sc{400, 1.0, 1e-3, 1.0, 1200, 300, 1.0};
    std::mt19937_64 rng(11);
    Analysis s = relan::sim::simulateFleet(sc, rng);
    LikelihoodOptions o;
    o.intervals = false;
    EXPECT_EQ(relan::fitLikelihood(s, o).gof.cells, 0);
    relan::hist(s);
    const LikelihoodFit f = relan::fitLikelihood(s, o);
    // The tail beyond the last interval expects few failures and is merged.
    EXPECT_LE(f.gof.cells, static_cast<int>(s.Hist_Arr.size()));
    ASSERT_FALSE(f.gof.merged.empty());
    const relan::MergedCells& tail = f.gof.merged.back();
    EXPECT_FALSE(tail.to.has_value());
    EXPECT_GE(tail.intervals, 2);
    EXPECT_LE(tail.from, s.Hist_Arr.back().time);
}

} // namespace
