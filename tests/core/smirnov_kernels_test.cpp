// The kernels of the Smirnov estimate on every table this machine can run:
// the portable table, which machines without AVX2 take, is tested here on
// every machine. Each kernel must stay within the accuracy the error bound
// counts on, the fit must take the same path on every table, and the
// bound must hold the exact value on data made to strain it.

#include "fixtures.hpp"

#include "relan/criteria.hpp"
#include "relan/fits.hpp"
#include "relan/histogram.hpp"
#include "relan/smirnov_estimate.hpp"
#include "relan/special.hpp"
#include "smirnov_bound.hpp"
#include "smirnov_kernels.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace relan;
using relan::test::makeState;
using relan::test::weibullTimes;
namespace sm = relan::smirnov;

namespace {

// Sums of a few thousand doubles, exact to far below a rounding of double.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
using Wide = __float128;
#else
using Wide = long double;
#endif

double toDouble(Wide w) {
    return static_cast<double>(w);
}

Wide absOf(Wide w) {
    return w < 0 ? -w : w;
}

class SmirnovKernels : public testing::TestWithParam<const sm::Kernels*> {
  protected:
    const sm::Kernels& k() const { return *GetParam(); }

  private:
    sm::UseKernels use_{*GetParam()};
};

std::string tableName(const testing::TestParamInfo<const sm::Kernels*>& i) {
    return i.param->name;
}

// exp(-(A x^B)) of n times spread over decades, a few shared, one at 1.
struct Exponentials {
    std::vector<double> L, p, e;
};
Exponentials exponentials(std::size_t n, double A, double B, unsigned seed) {
    Exponentials x;
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> logTime(std::log(0.5), std::log(5000.0));
    for (std::size_t i = 0; i < n; ++i)
        x.L.push_back(i % 97 == 5 ? 0.0 : logTime(rng));
    std::sort(x.L.begin(), x.L.end());
    for (double L : x.L) {
        x.p.push_back(std::pow(std::exp(L), B));
        x.e.push_back(std::exp(-(A * x.p.back())));
    }
    return x;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Kernels, SmirnovKernels, testing::ValuesIn(sm::runnableKernels()), tableName);

// The powers and the fresh exponentials of a law stay within the errors the
// bound gives them: x^B relative to the exact power of the time whose log
// the estimate holds, exp(-(A p)) absolutely (e <= 1).
TEST_P(SmirnovKernels, PowersAndExponentialsStayWithinTheirErrors) {
    for (double B : {0.3, 1.15, 4.98}) {
        const Exponentials x = exponentials(1031, 3e-4, B, 3);
        std::vector<double> L = x.L, y(L.size()), scratch(L.size());
        L[7] = -std::numeric_limits<double>::infinity(); // a failure at time 0
        k().powers(B, L.data(), y.data(), scratch.data(), L.size());
        double Lmax = 0;
        for (double l : x.L)
            Lmax = std::max(Lmax, std::fabs(l));
        const double rel = sm::freshPowerError(B, Lmax);
        EXPECT_EQ(y[7], 0.0);
        for (std::size_t i = 0; i < L.size(); ++i) {
            if (i == 7) continue;
            const long double want = std::exp(static_cast<long double>(B) * L[i]);
            EXPECT_LE(std::fabs(y[i] - want), rel * want) << "B=" << B << " L=" << L[i];
        }
    }
    for (double A : {1e-10, 3e-4, 0.01, 2.0}) {
        const Exponentials x = exponentials(1031, A, 1.15, 4);
        std::vector<double> y(x.p.size());
        k().expNegScaled(A, x.p.data(), y.data(), x.p.size());
        for (std::size_t i = 0; i < y.size(); ++i) {
            const long double want = std::exp(-(static_cast<long double>(A) * x.p[i]));
            EXPECT_LE(std::fabs(y[i] - want), sm::kFreshExpError) << "A=" << A << " p=" << x.p[i];
        }
    }
}

// A product with one rounding has one answer: every table gives its bits.
TEST_P(SmirnovKernels, ProductsByRatiosAreTheSameOnEveryTable) {
    const Exponentials x = exponentials(1031, 3e-4, 1.15, 5);
    std::vector<double> m(x.p.size()), mine(x.p.size()), theirs(x.p.size());
    for (std::size_t i = 0; i < m.size(); ++i)
        m[i] = std::expm1(1e-3 * x.L[i]);
    k().timesRatios(x.p.data(), m.data(), mine.data(), m.size());
    for (const sm::Kernels* other : sm::runnableKernels()) {
        other->timesRatios(x.p.data(), m.data(), theirs.data(), m.size());
        for (std::size_t i = 0; i < m.size(); ++i)
            ASSERT_EQ(std::bit_cast<std::uint64_t>(mine[i]), std::bit_cast<std::uint64_t>(theirs[i]))
                << other->name << " at " << i;
    }
}

// A law's pass over exponentials: its running sums within a + b C of the
// exact sums of the exact increments 1 - e, its sums at K and T within the
// rounding of a sum over the groups. Cases where increments reach the
// floor (F at 1 early), where they are all tiny, where the shares under
// warranty swing from group to group, and where every addition of the
// running sums rounds the same way.
TEST_P(SmirnovKernels, LawPassStaysWithinTheRunningSumBound) {
    struct Case {
        const char* what;
        double A, B, Izd;
        bool swinging = false, oneWay = false;
    } cases[] = {
        {"a law near the data's", 3e-4, 1.15, 1500},
        {"F at 1 early: flat increments", 2.0, 4.98, 9000},
        {"F almost 0 everywhere", 1e-10, 0.3, 1e9},
        {"shares under warranty swinging", 3e-4, 1.15, 1500, true},
        {"every addition rounding one way", 0, 0, 1.2, false, true},
    };
    for (const Case& c : cases) {
        Exponentials x = exponentials(2053, c.A, c.B, 6);
        if (c.oneWay) {
            // F rises by 64 ulp of F at every time, exactly, above the
            // flat increments; weighted by 1.2, each increment is 76.8 ulp
            // of the running sum, so every single addition rounds up and
            // every four-at-once addition rounds down.
            for (std::size_t g = 0; g < x.e.size(); ++g)
                x.e[g] = 0.45 - std::ldexp(static_cast<double>(g), -47);
        }
        const std::size_t G = x.e.size();
        std::vector<double> inWarr(G), weight(G), middle(G), count(G), C(G), w(G);
        for (std::size_t g = 0; g < G; ++g) {
            inWarr[g] = c.oneWay     ? 1
                        : c.swinging ? (g % 2 ? 0.999 : 0.001)
                                     : 1 - 0.4 * static_cast<double>(g) / G;
            weight[g] = inWarr[g] * c.Izd;
            count[g] = 1 + g % 3;
            middle[g] = static_cast<double>(2 * g + 1);
        }
        const double eps = sm::errorOfF(0);
        const double K = 1.3;
        sm::PieceSums sums;
        const sm::Piece piece{x.e.data(), 1.0,      inWarr.data(), weight.data(), G, 2 * eps,
                              c.Izd,      C.data(), middle.data(), count.data(),  K};
        const double last = k().lawPiece(piece, 0, true, sums, w.data());
        EXPECT_EQ(last, C.back()) << c.what;
        double variation = 0;
        for (std::size_t g = 0; g + 1 < G; ++g)
            variation += std::fabs(inWarr[g] - inWarr[g + 1]);
        variation = (variation + 1) * sm::kUp;
        const sm::RunningSumBound rs =
            sm::runningSumBound(c.Izd, eps, variation, static_cast<double>(G), sums.flat, 0);
        Wide exact = 0, S = 0, T = 0;
        Wide ePrev = 1;
        for (std::size_t g = 0; g < G; ++g) {
            Wide d = ePrev - Wide(x.e[g]); // (1 - e) - (1 - ePrev)
            ePrev = x.e[g];
            if (d < 0) d = 0;
            exact += d * Wide(inWarr[g]) * Wide(c.Izd);
            ASSERT_TRUE(absOf(Wide(C[g]) - exact) <= Wide(rs.a + rs.b * C[g])) << c.what << " group " << g;
            // The deviation as the pass rounds it: its cancellation is the
            // bound's business further on.
            const Wide h = middle[g] - K * C[g];
            S += Wide(count[g]) * h * h;
            T += Wide(count[g]) * Wide(C[g]) * Wide(C[g]);
        }
        const double gSum = sm::gammaOf(static_cast<double>(G) + 2);
        EXPECT_LE(std::fabs(sums.S - toDouble(S)), (gSum + 8 * sm::kU) * toDouble(S)) << c.what;
        EXPECT_LE(std::fabs(sums.T - toDouble(T)), (gSum + 8 * sm::kU) * toDouble(T)) << c.what;
    }
}

// The sums over the groups, reordered for vectors, stay within the rounding
// of a sum of G + 2 terms whatever the order.
TEST_P(SmirnovKernels, GroupSumsStayWithinTheirRounding) {
    const std::size_t G = 3001;
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<double> C(G), middle(G), n(G), spread(G), sumK1(G);
    double c = 0, k1 = 0;
    for (std::size_t g = 0; g < G; ++g) {
        n[g] = 1 + static_cast<double>(g % 5);
        c += u(rng) * n[g];
        C[g] = c;
        middle[g] = k1 + 1 + (n[g] - 1) / 2;
        sumK1[g] = n[g] * middle[g];
        spread[g] = n[g] * (n[g] * n[g] - 1) / 12;
        k1 += n[g];
    }
    const double K = 0.97, offset = 12.5;
    Wide S = 0, T = 0, N = 0, sumC = 0, squares = 0;
    for (std::size_t g = 0; g < G; ++g) {
        const Wide moved = Wide(C[g]) + Wide(offset);
        const Wide h = Wide(middle[g]) - Wide(K) * moved;
        S += Wide(n[g]) * h * h + Wide(spread[g]);
        T += Wide(n[g]) * moved * moved;
        const Wide h0 = Wide(middle[g]) - Wide(K) * Wide(C[g]);
        squares += Wide(n[g]) * h0 * h0 + Wide(spread[g]);
        N += Wide(sumK1[g]) * Wide(C[g]);
        sumC += Wide(n[g]) * Wide(C[g]);
    }
    // Each term has a few roundings of its own besides those of the sum.
    const double rel = sm::gammaOf(static_cast<double>(G) + 8);
    double gotN = 0, gotSumC = 0;
    k().linearSums(C.data(), sumK1.data(), n.data(), G, gotN, gotSumC);
    EXPECT_LE(std::fabs(gotN - toDouble(N)), rel * toDouble(N));
    EXPECT_LE(std::fabs(gotSumC - toDouble(sumC)), rel * toDouble(sumC));
    const double gotSquares = k().squaresAt(C.data(), middle.data(), n.data(), spread.data(), G, K);
    EXPECT_LE(std::fabs(gotSquares - toDouble(squares)), rel * toDouble(squares));
    double gotS = 0, gotT = 0;
    std::vector<double> moved = C;
    k().sumsAt(moved.data(), middle.data(), n.data(), spread.data(), G, offset, K, gotS, gotT);
    EXPECT_EQ(moved[G - 1], C[G - 1] + offset);
    EXPECT_LE(std::fabs(gotS - toDouble(S)), rel * toDouble(S));
    EXPECT_LE(std::fabs(gotT - toDouble(T)), rel * toDouble(T));
}

namespace {

// The sum the exact evaluation computes and, over its increments w(k) taken
// exactly, the norm of the deviations and T and N along K.
struct Exact {
    double rootS = 0; // sqrt of the evaluation's own double sum
    Wide D2 = 0, T = 0, N = 0;
};
Exact exactAt(const Analysis& s, double A, double B, double K) {
    Exact x;
    double cum = 0, sum = 0, prev = 0;
    Wide C = 0;
    for (std::size_t k = 0; k < s.MasProbl.size(); ++k) {
        const double t = s.MasProbl[k].time;
        const double w = weibCDF2(A, B, prev, t) * (1 - s.models[ModelId::Smirnov].F_norm[k]) * s.Izd_Prived;
        cum += w * K;
        const double d = static_cast<double>(k + 1) - cum;
        sum += d * d;
        C += Wide(w);
        const Wide D = Wide(static_cast<double>(k + 1)) - Wide(K) * C;
        x.D2 += D * D;
        x.T += C * C;
        x.N += Wide(static_cast<double>(k + 1)) * C;
        prev = t;
    }
    x.rootS = std::sqrt(sum);
    return x;
}

Analysis adversarial(const std::vector<double>& times, double fleet, bool swinging) {
    auto s = makeState(times, fleet, 1800, 450);
    for (std::size_t k = 0; k < times.size(); ++k)
        s.models[ModelId::Smirnov].F_norm.push_back(swinging ? (k % 2 ? 0.999 : 0.0)
                                                             : CDF_Gauss(1800, 450, times[k]));
    return s;
}

std::vector<double> repeated(std::initializer_list<std::pair<double, int>> groups) {
    std::vector<double> t;
    for (const auto& [time, n] : groups)
        t.insert(t.end(), n, time);
    return t;
}

} // namespace

// The interval holds the root of the evaluation's own sum, normHi the norm
// of the exact deviations, and T and N lie within rho of the exact ones, on
// data made to strain the bound: thousands of ties, a fleet of a billion,
// times from a millisecond to a million hours, shares under warranty
// swinging from failure to failure, and laws at the search's limits and
// beyond, where F is 0 or 1 at every time.
TEST_P(SmirnovKernels, BoundsHoldTheExactValueOnStrainingData) {
    auto spread = weibullTimes(3000, 3e-4, 1.15, 1800, 450, 21);
    std::vector<double> wide;
    for (int i = 0; i < 2000; ++i)
        wide.push_back(std::pow(10.0, -3 + 9.0 * i / 1999));
    struct Data {
        const char* what;
        Analysis s;
    } data[] = {
        {"5000 failures at 4 times",
         adversarial(repeated({{120, 1200}, {800, 2500}, {1500, 1000}, {1800, 300}}), 15000, false)},
        {"a fleet of a billion",
         adversarial(std::vector<double>(spread.begin(), spread.begin() + 500), 1e9, false)},
        {"times from 1e-3 h to 1e6 h", adversarial(wide, 6000, false)},
        {"warranty shares swinging", adversarial(spread, 9000, true)},
        {"failures at 0 and at 1 h",
         adversarial(repeated({{0, 40}, {1, 60}, {2.5, 100}, {900, 300}}), 1500, false)},
    };
    struct Law {
        double A, B, K;
    } laws[] = {
        {3e-4, 1.15, 1}, {1e-10, 0.3, 0.1}, {0.01, 5, 30}, {50, 5, 1}, {1e-12, 0.3, 1e4}, {2e-3, 0.7, 5.8},
    };
    for (Data& d : data) {
        SmirnovEstimator E(d.s);
        ASSERT_TRUE(E.at(laws[0].A, laws[0].B, laws[0].K).usable) << d.what;
        for (const Law& l : laws) {
            const Exact x = exactAt(d.s, l.A, l.B, l.K);
            const SmirnovBounds b = E.at(l.A, l.B, l.K);
            const std::string at = std::string(d.what) + " A=" + std::to_string(l.A) +
                                   " B=" + std::to_string(l.B) + " K=" + std::to_string(l.K);
            if (!b.usable) continue; // nothing claimed: the search evaluates exactly
            EXPECT_LE(b.lo, x.rootS) << at;
            EXPECT_GE(b.hi, x.rootS) << at;
            EXPECT_TRUE(Wide(b.normHi) * Wide(b.normHi) >= x.D2)
                << at << ": normHi " << b.normHi << ", exact " << std::sqrt(toDouble(x.D2));
            const SmirnovKBound q = E.quadratic(l.A, l.B);
            if (!q.usable) continue;
            EXPECT_TRUE(absOf(Wide(q.T) - x.T) <= Wide(q.rho) * x.T)
                << at << ": T " << q.T << ", exact " << toDouble(x.T) << ", rho " << q.rho;
            EXPECT_TRUE(absOf(Wide(q.N) - x.N) <= Wide(q.rho) * x.N)
                << at << ": N " << q.N << ", exact " << toDouble(x.N) << ", rho " << q.rho;
            EXPECT_TRUE(Wide(q.normC) * Wide(q.normC) >= x.T) << at;
        }
    }
}

// The interval's algebra at the worst running sums it allows for: every
// exact C(k) as far from the estimate's as |C~ - C| <= a + b C~ lets it
// lie, all pushing the deviations outward, or all inward. normHi must
// still reach the largest norm and lo stay below the smallest; along K, T
// and N must stay within rho of those of running sums all pushed up or
// all pushed down.
TEST(SmirnovBound, EnclosesTheWorstRunningSumsItAllowsFor) {
    struct Case {
        const char* what;
        std::size_t m;
        double K, a, b;
    } cases[] = {
        {"an absolute error a", 200, 1.1, 1e-9, 0},
        {"a relative error b", 200, 1.1, 0, 1e-9},
        {"both, a large K", 3000, 40, 1e-12, 1e-11},
        {"both, a small K", 50, 1e-3, 1e-7, 1e-8},
    };
    for (const Case& c : cases) {
        // Running sums that pass the deviations' zero halfway.
        std::vector<double> Ct(c.m);
        Wide S = 0, T = 0, N = 0, sumC = 0;
        for (std::size_t k = 0; k < c.m; ++k) {
            Ct[k] = (1.3 * static_cast<double>(k + 1) - 0.15 * static_cast<double>(c.m)) / c.K;
            Ct[k] = std::max(Ct[k], 0.0);
            const Wide d = Wide(static_cast<double>(k + 1)) - Wide(c.K) * Wide(Ct[k]);
            S += d * d;
            T += Wide(Ct[k]) * Wide(Ct[k]);
            N += Wide(static_cast<double>(k + 1)) * Wide(Ct[k]);
            sumC += Wide(Ct[k]);
        }
        sm::LawSums l{toDouble(T), c.a, c.b, true};
        const SmirnovKBound rb = smirnovRoundingBound(c.m, static_cast<double>(c.m));
        const SmirnovBounds bounds = sm::enclose(toDouble(S), c.K, l, c.m, c.m, static_cast<double>(c.m), rb);
        ASSERT_TRUE(bounds.usable) << c.what;
        for (double outward : {1.0, -1.0}) {
            Wide D2 = 0;
            for (std::size_t k = 0; k < c.m; ++k) {
                const double d = static_cast<double>(k + 1) - c.K * Ct[k];
                const double push = (d >= 0 ? -outward : outward) * (c.a + c.b * Ct[k]);
                const Wide D = Wide(static_cast<double>(k + 1)) - Wide(c.K) * (Wide(Ct[k]) + Wide(push));
                D2 += D * D;
            }
            const double norm = std::sqrt(toDouble(D2));
            if (outward > 0)
                EXPECT_GE(bounds.normHi, norm) << c.what;
            else
                EXPECT_LE(bounds.lo, norm) << c.what;
        }
        const SmirnovKBound q = sm::quadraticBound(rb, l, toDouble(N), toDouble(sumC), c.m, c.m);
        ASSERT_TRUE(q.usable) << c.what;
        for (double up : {1.0, -1.0}) {
            Wide Tx = 0, Nx = 0;
            for (std::size_t k = 0; k < c.m; ++k) {
                const Wide C = Wide(Ct[k]) + Wide(up * (c.a + c.b * Ct[k]));
                Tx += C * C;
                Nx += Wide(static_cast<double>(k + 1)) * C;
            }
            EXPECT_TRUE(absOf(Wide(q.T) - Tx) <= Wide(q.rho) * Tx) << c.what << " T, up " << up;
            EXPECT_TRUE(absOf(Wide(q.N) - Nx) <= Wide(q.rho) * Nx) << c.what << " N, up " << up;
            EXPECT_TRUE(Wide(q.normC) * Wide(q.normC) >= Tx) << c.what << " up " << up;
        }
    }
}

// The bound tells the same story on every table, so the Smirnov fit takes
// the same path and ends on the same bits, whichever table the machine
// runs.
TEST(SmirnovKernelTables, FitsTakeTheSamePathOnEveryTable) {
    struct Case {
        const char* what;
        int failures;
        double round, fleet, kdiv;
    } cases[] = {
        {"distinct times", 300, 0, 1000, 1.004},
        {"times to 0.1 h repeat", 800, 0.1, 2400, 1.004},
        {"few times, large groups", 600, 100, 2000, 1.004},
        {"one product, K at its limit", 300, 0.1, 1, 1.004},
    };
    for (const Case& c : cases) {
        auto times = weibullTimes(c.failures, 3e-4, 1.15, 1800, 450, 12);
        if (c.round > 0)
            for (double& t : times)
                t = std::max(c.round, std::round(t / c.round) * c.round);
        struct End {
            double A, B, K, criterion;
            long long passes;
        };
        std::vector<End> ends;
        for (const sm::Kernels* table : sm::runnableKernels()) {
            sm::UseKernels use(*table);
            auto s = makeState(times, c.fleet, 1800, 450);
            hist(s);
            FitOptions o;
            o.kdiv = c.kdiv;
            o.timing = false;
            const FitResult r =
                Podbor_Weib_Smirnow(s, s.models[ModelId::Smirnov].A, s.models[ModelId::Smirnov].B, o);
            ends.push_back({s.models[ModelId::Smirnov].A, s.models[ModelId::Smirnov].B,
                            s.models[ModelId::Smirnov].K_powtor, r.criterion, r.passes});
        }
        for (std::size_t i = 1; i < ends.size(); ++i) {
            const char* table = sm::runnableKernels()[i]->name;
            EXPECT_EQ(ends[i].A, ends[0].A) << c.what << " on " << table;
            EXPECT_EQ(ends[i].B, ends[0].B) << c.what << " on " << table;
            EXPECT_EQ(ends[i].K, ends[0].K) << c.what << " on " << table;
            EXPECT_EQ(ends[i].criterion, ends[0].criterion) << c.what << " on " << table;
            EXPECT_EQ(ends[i].passes, ends[0].passes) << c.what << " on " << table;
        }
    }
}

// The machine's table comes first, and the portable one is always there
// to be tested.
TEST(SmirnovKernelTables, ThePortableTableRunsEverywhere) {
    const auto tables = sm::runnableKernels();
    ASSERT_FALSE(tables.empty());
    EXPECT_EQ(tables[0], &sm::kernels());
    EXPECT_EQ(std::string(tables.back()->name), "portable");
    {
        sm::UseKernels use(*tables.back());
        EXPECT_EQ(&sm::kernels(), tables.back());
    }
    EXPECT_EQ(&sm::kernels(), tables[0]);
}
