#include "fixtures.hpp"

#include "relan/criteria.hpp"
#include "relan/histogram.hpp"
#include "relan/smirnov_estimate.hpp"
#include "relan/special.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace relan;

namespace {

// Two intervals (0, 100], (100, 200] with 10 and 5 failures, 20 products, no
// censoring, and the law F = 1 - 2^(-t/100) that expects exactly those counts.
Analysis exactFixture() {
    Analysis s;
    s.Hist_Arr.resize(2);
    s.Hist_Arr[0].time = 100;
    s.Hist_Arr[0].Sum = 10;
    s.Hist_Arr[1].time = 200;
    s.Hist_Arr[1].Sum = 5;
    s.Izd_Prived = 20;
    s.Kol_izw = 15;
    return s;
}
const double kExactA = std::log(2.0) / 100;

Mod_Weib sized(std::size_t n) {
    Mod_Weib m;
    m.F_norm.resize(n);
    m.F_Weib.resize(n);
    m.Kol_F_priv.resize(n);
    return m;
}

} // namespace

TEST(Pearson, ExactLawScoresZeroInEveryVariant) {
    auto s = exactFixture();
    for (auto v : {PearsonVariant::Standard, PearsonVariant::Spec1, PearsonVariant::Spec2}) {
        auto m = sized(2);
        EXPECT_NEAR(Pirson(s, kExactA, 1, 1, 1e9, 1, m, v), 0, 1e-24) << static_cast<int>(v);
        EXPECT_NEAR(m.Kol_F_priv[0], 10, 1e-12);
        EXPECT_NEAR(m.F_Weib[1], 0.25, 1e-15);
        EXPECT_EQ(m.F_norm[0], 0);
    }
}

TEST(Pearson, VariantsWeighTheDeviations) {
    auto s = exactFixture();
    auto m = sized(2);
    // K = 0.5 halves every expectation: E = 5 and 2.5, total 7.5.
    const double total = (15 - 7.5) * (15 - 7.5);
    EXPECT_NEAR(Pirson(s, kExactA, 1, 0.5, 1e9, 1, m, PearsonVariant::Spec1), 25 + 6.25 + total, 1e-9);
    EXPECT_NEAR(Pirson(s, kExactA, 1, 0.5, 1e9, 1, m, PearsonVariant::Standard), 1 + 1 + total, 1e-9);
    EXPECT_NEAR(Pirson(s, kExactA, 1, 0.5, 1e9, 1, m, PearsonVariant::Spec2),
                25 * 0.25 + 6.25 * 0.0625 + total, 1e-9);
}

TEST(Pearson, StandardWithNothingExpected) {
    auto s = exactFixture();
    auto m = sized(2);
    // A = 0: the law gives no probability, so E = 0 where failures were seen.
    EXPECT_TRUE(std::isinf(Pirson(s, 0, 1, 1, 1e9, 1, m, PearsonVariant::Standard)));
    s.Hist_Arr[0].Sum = s.Hist_Arr[1].Sum = 0;
    s.Kol_izw = 0;
    EXPECT_EQ(Pirson(s, 0, 1, 1, 1e9, 1, m, PearsonVariant::Standard), 0);
}

TEST(Pearson, CachedCriterionIsBitIdentical) {
    auto s = relan::test::makeState(relan::test::weibullTimes(200, 2e-4, 1.2, 1800, 450, 3), 700, 1800, 450);
    hist(s);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pick(0, 4);
    for (auto v : {PearsonVariant::Standard, PearsonVariant::Spec1, PearsonVariant::Spec2}) {
        PearsonCriterion Q(s, v);
        double A = 2e-4, B = 1.1, K = 0.9, Mu = 1800, Sig = 450;
        auto cached = sized(s.Hist_Arr.size()), direct = cached;
        for (int i = 0; i < 300; ++i) {
            // Change one parameter at a time, as a coordinate search does.
            switch (pick(rng)) {
            case 0:
                A *= 1.01;
                break;
            case 1:
                B += 0.003;
                break;
            case 2:
                K -= 0.001;
                break;
            case 3:
                Mu += 1;
                break;
            default:
                break;
            }
            const double q = Q(A, B, K, Mu, Sig, cached);
            const double p = Pirson(s, A, B, K, Mu, Sig, direct, v);
            ASSERT_EQ(q, p) << i;
            ASSERT_EQ(cached.Kol_F_priv, direct.Kol_F_priv);
            ASSERT_EQ(cached.F_Weib, direct.F_Weib);
            ASSERT_EQ(cached.F_norm, direct.F_norm);
        }
    }
}

TEST(PearsonGenetic, PenaltyAboveTheRepetitionRange) {
    auto s = exactFixture();
    auto m = sized(2);
    auto unpenalised = [&](double k) {
        Analysis wide = s;
        wide.Alim[2][3] = 1e9;
        auto w = sized(2);
        return Pirson_ZFGen(wide, kExactA, 1, k, 1e9, 1, w);
    };
    EXPECT_DOUBLE_EQ(Pirson_ZFGen(s, kExactA, 1, 10.2, 1e9, 1, m), 4 * unpenalised(10.2));
    EXPECT_DOUBLE_EQ(Pirson_ZFGen(s, kExactA, 1, 5.1, 1e9, 1, m), unpenalised(5.1));
    // Weighted, not squared deviations; SKO_out and Kol_Nakopl recorded.
    Pirson_ZFGen(s, kExactA, 1, 0.5, 1e9, 1, m);
    EXPECT_NEAR(m.Kol_Nakopl, 7.5, 1e-12);
    EXPECT_NEAR(m.SKO_out, std::sqrt(25 + 6.25) / 15, 1e-12);
    EXPECT_NEAR(Pirson_ZFGen(s, kExactA, 1, 0.5, 1e9, 1, m), 25 * 0.5 + 6.25 * 0.25 + 7.5 * 7.5, 1e-9);
}

TEST(Smirnov, UsesTheStoredWarrantySharesOnly) {
    auto s = relan::test::makeState({100, 200, 300}, 10, 1e9, 1);
    s.models[ModelId::Smirnov].F_norm = {0, 0, 0};
    const double a = Smirnow(s, 1e-3, 1, 1, 0, 0);
    EXPECT_EQ(a, Smirnow(s, 1e-3, 1, 1, 500, 50));
    // cum(k) = 10 F(x_k); hand-computed squares of (k+1 - cum).
    double sum = 0;
    for (int k = 0; k < 3; ++k) {
        const double d = (k + 1) - 10 * (1 - std::exp(-1e-3 * 100 * (k + 1)));
        sum += d * d;
    }
    EXPECT_NEAR(a, std::sqrt(sum) / 3, 1e-12);
    s.models[ModelId::Smirnov].F_norm = {0.5, 0.5, 0.5};
    EXPECT_NE(Smirnow(s, 1e-3, 1, 1, 0, 0), a);
}

TEST(Smirnov, CachedCriterionIsBitIdentical) {
    auto s = relan::test::makeState(relan::test::weibullTimes(300, 2e-4, 1.2, 1800, 450, 5), 900, 1800, 450);
    s.models[ModelId::Smirnov].F_norm.clear();
    for (const auto& p : s.MasProbl)
        s.models[ModelId::Smirnov].F_norm.push_back(CDF_Gauss(1800, 450, p.time));
    SmirnovCriterion Q(s);
    double A = 5e-4, B = 1, K = 1;
    for (int i = 0; i < 200; ++i) {
        if (i % 3 == 0) A += 1e-5;
        if (i % 3 == 1) B -= 1e-3;
        if (i % 3 == 2) K += 1e-3;
        ASSERT_EQ(Q(A, B, K), Smirnow(s, A, B, K, 0, 0)) << i;
    }
}

TEST(Kolmogorov, StatisticAndVerdict) {
    auto s = relan::test::makeState({100}, 1, 1e9, 1);
    double crit = 0;
    std::string verdict;
    Kolmogor(s, 1, 1e-3, 1, 1e9, 1, crit, verdict);
    EXPECT_NEAR(crit, std::fabs(1 - (1 - std::exp(-0.1))), 1e-15);
    EXPECT_EQ(verdict, " <1.3581(0.05)");

    // F = 1 at the failure and K = -(1.3581 - 1), an exact difference: the
    // statistic 1 - K is then exactly the critical value.
    Kolmogor(s, -(1.3581 - 1), 10, 1, 1e9, 1, crit, verdict);
    ASSERT_EQ(crit, 1.3581);
    EXPECT_EQ(verdict, " >1.3581(0.05)");
    Kolmogor(s, -0.358099999, 10, 1, 1e9, 1, crit, verdict);
    EXPECT_EQ(verdict, " <1.3581(0.05)");
}

namespace {

// Weibull failure times where every `every`-th from `first` on repeats the
// one before it, as operating hours repeat in real files.
std::vector<double> tiedTimes(int n, double A, double B, unsigned seed, std::size_t first,
                              std::size_t every) {
    auto times = relan::test::weibullTimes(n, A, B, 1800, 450, seed);
    for (std::size_t k = first; k < times.size(); k += every)
        times[k] = times[k - 1];
    return times;
}

Analysis smirnovFixture(std::vector<double> times, double fleet) {
    auto s = relan::test::makeState(times, fleet, 1800, 450);
    for (const auto& p : s.MasProbl)
        s.models[ModelId::Smirnov].F_norm.push_back(CDF_Gauss(1800, 450, p.time));
    return s;
}

// The K at which Smirnow() is least for (A, B), by golden sections: the
// criterion is convex in K.
double bestK(const Analysis& s, double A, double B) {
    double lo = 0.01, hi = 30;
    const double g = (std::sqrt(5.0) - 1) / 2;
    for (int i = 0; i < 200; ++i) {
        const double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
        if (Smirnow(s, A, B, a, 0, 0) < Smirnow(s, A, B, b, 0, 0))
            hi = b;
        else
            lo = a;
    }
    return (lo + hi) / 2;
}

struct LineEnd {
    double K, value;
    int moves;
};

// The Smirnov fit's line search along K, evaluating every trial directly.
LineEnd directLineSearch(const Analysis& s, double A, double B, double K, double h, double lo, double hi) {
    double value = Smirnow(s, A, B, K, 0, 0);
    for (int moves = 0;; ++moves) {
        const double trial = K + h;
        const double v = Smirnow(s, A, B, trial, 0, 0);
        if (!(v < value) || trial + h <= lo || trial > hi) return {K, value, moves};
        K = trial;
        value = v;
    }
}

// The same line search as the fit runs it, through its bounds.
LineEnd skippingLineSearch(const Analysis& s, double A, double B, double K, double h, double lo, double hi) {
    SmirnovSearch line(s, {A, B, K});
    int moves = 0;
    for (;;) {
        const double trial = line.point().K + h;
        if (trial + h <= lo || trial > hi || !line.fallsAlongK(trial, h)) break;
        ++moves;
    }
    return {line.point().K, line.value(), moves};
}

} // namespace

TEST(Smirnov, LineSearchAlongKEndsAsTheDirectOne) {
    const auto s = smirnovFixture(tiedTimes(300, 2e-4, 1.2, 5, 10, 10), 900);
    const double A = 2e-4, B = 1.2;
    const double Kb = bestK(s, A, B);
    struct Case {
        const char* what;
        double K0, h, lo, hi;
    } cases[] = {
        {"rises at the first trial", Kb, 1e-3, 0.1, 30},
        {"first trial too close to call", Kb, 1e-9, 0.1, 30},
        {"heads away from the best K", Kb + 0.01, 1e-3, 0.1, 30},
        {"step too small to move K", Kb, 1e-20, 0.1, 30},
        {"long crawl up to the best K", Kb - 0.3, 1e-3, 0.1, 30},
        {"long crawl down to the best K", Kb + 0.05, -1e-4, 0.1, 30},
        {"small steps around the best K", Kb - 2e-5, 1e-7, 0.1, 30},
        {"long run into steps too close to call", Kb - 9e-7, 3e-9, 0.1, 30},
        {"steps whose rounding decides", Kb - 1e-8, 1e-10, 0.1, 30},
        {"steps whose rounding decides, downwards", Kb + 1e-9, -1e-11, 0.1, 30},
        {"upper limit ends a long run", Kb - 0.3, 1e-3, 0.1, Kb - 0.1},
        {"lower limit ends a long run", Kb + 0.3, -1e-3, Kb + 0.1, 30},
        {"upper limit at the first trial", Kb - 0.1 - 1e-4, 1e-3, 0.1, Kb - 0.1},
        {"lower limit at the first trial", Kb + 0.1 + 1.5e-3, -1e-3, Kb + 0.1, 30},
    };
    for (const auto& c : cases) {
        const LineEnd want = directLineSearch(s, A, B, c.K0, c.h, c.lo, c.hi);
        const LineEnd got = skippingLineSearch(s, A, B, c.K0, c.h, c.lo, c.hi);
        EXPECT_EQ(got.moves, want.moves) << c.what;
        EXPECT_EQ(got.K, want.K) << c.what;
        EXPECT_EQ(got.value, want.value) << c.what;
    }
}

TEST(Smirnov, SeveralKAtOnceAreEachBitIdentical) {
    const auto s = smirnovFixture(tiedTimes(200, 2e-4, 1.2, 6, 4, 5), 700);
    SmirnovCriterion Q(s);
    struct Case {
        double A, B;
        std::vector<double> K;
    } cases[] = {
        {2e-4, 1.2, {1.1}},                         // one K on a new law
        {2e-4, 1.2, {1.1, 1.1 + 1e-9, 1.1 + 2e-9}}, // the same law, cached
        {2.1e-4, 1.19, {0.5, 3, 1e-3, 29}},         // far apart, on a new law
        {2.1e-4, 1.19, {2, 2}},                     // repeated
    };
    for (const auto& c : cases) {
        std::vector<double> got(c.K.size());
        Q.atK(c.A, c.B, c.K.data(), got.data(), c.K.size());
        for (std::size_t i = 0; i < c.K.size(); ++i)
            ASSERT_EQ(got[i], Smirnow(s, c.A, c.B, c.K[i], 0, 0)) << c.A << " " << c.K[i];
    }
}

TEST(Smirnov, CachedCriterionIsBitIdenticalOnReturns) {
    // A coordinate search returns to its accepted point after one or two
    // rejected trials in other coordinates; equal times share their powers.
    const auto s = smirnovFixture(tiedTimes(120, 3e-4, 1.1, 8, 1, 3), 400);
    SmirnovCriterion Q(s);
    const double A1 = 3e-4, A2 = 3.1e-4, A3 = 3.2e-4, B1 = 1.1, B2 = 1.101, K = 1.3;
    const double visits[][3] = {
        {A1, B1, K}, {A2, B1, K},   {A3, B1, K}, {A2, B2, K}, {A2, B1, K}, {A2, B1, K + 1e-3}, {A3, B2, K},
        {A1, B1, K}, {A2, B2, 0.7}, {A1, B2, K}, {A2, B1, K}, {A3, B1, 2}, {A1, B1, K},        {A1, B1, 0.1},
    };
    for (const auto& v : visits)
        ASSERT_EQ(Q(v[0], v[1], v[2]), Smirnow(s, v[0], v[1], v[2], 0, 0));
}
