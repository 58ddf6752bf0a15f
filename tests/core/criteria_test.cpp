#include "fixtures.hpp"

#include "relan/criteria.hpp"
#include "relan/histogram.hpp"
#include "relan/special.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace relan;

namespace {

// Two intervals (0, 100], (100, 200] with 10 and 5 failures, 20 products, no
// censoring, and the law F = 1 - 2^(-t/100) that expects exactly those counts.
AnalysisState exactFixture() {
    AnalysisState s;
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
            case 0: A *= 1.01; break;
            case 1: B += 0.003; break;
            case 2: K -= 0.001; break;
            case 3: Mu += 1; break;
            default: break;
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
        AnalysisState wide = s;
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
    s.MSmirn.F_norm = {0, 0, 0};
    const double a = Smirnow(s, 1e-3, 1, 1, 0, 0);
    EXPECT_EQ(a, Smirnow(s, 1e-3, 1, 1, 500, 50));
    // cum(k) = 10 F(x_k); hand-computed squares of (k+1 - cum).
    double sum = 0;
    for (int k = 0; k < 3; ++k) {
        const double d = (k + 1) - 10 * (1 - std::exp(-1e-3 * 100 * (k + 1)));
        sum += d * d;
    }
    EXPECT_NEAR(a, std::sqrt(sum) / 3, 1e-12);
    s.MSmirn.F_norm = {0.5, 0.5, 0.5};
    EXPECT_NE(Smirnow(s, 1e-3, 1, 1, 0, 0), a);
}

TEST(Smirnov, CachedCriterionIsBitIdentical) {
    auto s = relan::test::makeState(relan::test::weibullTimes(300, 2e-4, 1.2, 1800, 450, 5), 900, 1800, 450);
    s.MSmirn.F_norm.clear();
    for (const auto& p : s.MasProbl) s.MSmirn.F_norm.push_back(CDF_Gauss(1800, 450, p.time));
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
