#include "fixtures.hpp"

#include "relan/criteria.hpp"
#include "relan/smirnov_estimate.hpp"
#include "relan/special.hpp"
#include "smirnov_kernels.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace relan;
using relan::test::makeState;
using relan::test::weibullTimes;

namespace {

// The sum the criterion takes the root of, failure by failure, and the
// running sums T = sum C^2, N = sum (k + 1) C, in the order of the
// criterion itself.
struct Direct {
    double S = 0, T = 0, N = 0;
};
Direct direct(const Analysis& s, double A, double B, double K) {
    Direct d;
    double cum = 0, C = 0, prev = 0;
    for (std::size_t k = 0; k < s.MasProbl.size(); ++k) {
        const double x = s.MasProbl[k].time;
        const double w = weibCDF2(A, B, prev, x) * (1 - s.models[ModelId::Smirnov].F_norm[k]) * s.Izd_Prived;
        cum += w * K;
        C += w;
        const double dev = static_cast<double>(k + 1) - cum;
        d.S += dev * dev;
        d.T += C * C;
        d.N += static_cast<double>(k + 1) * C;
        prev = x;
    }
    return d;
}

void storeWarrantyShares(Analysis& s) {
    s.models[ModelId::Smirnov].F_norm.clear();
    for (const auto& p : s.MasProbl)
        s.models[ModelId::Smirnov].F_norm.push_back(CDF_Gauss(s.Sred, s.SKO, p.time));
}

// A fleet of generated failure times under the kind of law the search meets.
struct Fleet {
    const char* what;
    int n;
    double round; // times rounded to this many hours; 0 keeps them distinct
    double fleet;
    double shrink = 1; // the times divided by this
    int atZero = 0;    // the first this many failures at time 0
};

Analysis fleetState(const Fleet& f, unsigned seed) {
    auto times = weibullTimes(f.n, 3e-4, 1.15, 1800, 450, seed);
    if (f.round > 0)
        for (double& t : times)
            t = std::max(f.round, std::round(t / f.round) * f.round);
    if (f.shrink != 1)
        for (double& t : times)
            t /= f.shrink;
    std::fill(times.begin(), times.begin() + f.atZero, 0.0);
    auto s = makeState(times, f.fleet, 1800, 450);
    storeWarrantyShares(s);
    return s;
}

// The bounds hold whichever table of kernels the machine runs: each test
// below runs on every table this machine can run, the portable one that
// machines without AVX2 take included.
class SmirnovEstimate : public testing::TestWithParam<const smirnov::Kernels*> {
    smirnov::UseKernels use_{*GetParam()};
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Kernels, SmirnovEstimate, testing::ValuesIn(smirnov::runnableKernels()),
                         [](const testing::TestParamInfo<const smirnov::Kernels*>& i) {
                             return std::string(i.param->name);
                         });

// The estimate's interval must hold the root of the direct sum for every
// kind of data and law the search meets, and be narrow enough to settle
// the comparisons of a search.
TEST_P(SmirnovEstimate, BoundsHoldTheDirectEvaluation) {
    const Fleet cases[] = {
        {"distinct times", 400, 0, 1500},
        {"times to 0.1 h repeat", 3000, 0.1, 9000},
        {"few distinct times, large groups", 2000, 100, 6000},
        {"a single failure", 1, 0, 5},
    };
    struct Law {
        double A, B, K;
    } laws[] = {
        {3e-4, 1.15, 1},   // near the data's law
        {0.0005, 1, 1},    // the search's start
        {1e-10, 0.3, 0.1}, // lower limits: F almost 0 everywhere
        {0.01, 5, 30},     // upper limits: F reaches 1 early, flat increments
        {2e-3, 0.7, 5.8},
    };
    for (const Fleet& c : cases) {
        const Analysis s = fleetState(c, 11);
        SmirnovEstimator E(s);
        for (const Law& l : laws) {
            const Direct d = direct(s, l.A, l.B, l.K);
            const double root = std::sqrt(d.S);
            const SmirnovBounds b = E.at(l.A, l.B, l.K);
            ASSERT_TRUE(b.usable) << c.what << " A=" << l.A;
            EXPECT_LE(b.lo, root) << c.what << " A=" << l.A << " B=" << l.B;
            EXPECT_GE(b.hi, root) << c.what << " A=" << l.A << " B=" << l.B;
            EXPECT_LT(b.hi - b.lo, 1e-8 * root + 1e-12) << c.what << " A=" << l.A << " B=" << l.B;
            // Along K the criterion's square is a quadratic with T and N.
            const SmirnovKBound q = E.quadratic(l.A, l.B);
            ASSERT_TRUE(q.usable) << c.what;
            EXPECT_LE(std::fabs(q.T - d.T), q.rho * d.T) << c.what << " A=" << l.A;
            EXPECT_LE(std::fabs(q.N - d.N), q.rho * d.N) << c.what << " A=" << l.A;
            // A second K on the same law is made from the stored running sums.
            const double root2 = std::sqrt(direct(s, l.A, l.B, l.K * 1.5).S);
            const SmirnovBounds b2 = E.at(l.A, l.B, l.K * 1.5);
            EXPECT_LE(b2.lo, root2) << c.what;
            EXPECT_GE(b2.hi, root2) << c.what;
        }
    }
}

// A line search along B walks by one step again and again, and the
// estimate makes each new x^B from the last by a product. Along such walks,
// forth and back, through lines of A between them, and at the limits of
// the search, the bounds must still hold the direct evaluation and stay
// narrow enough to decide.
TEST_P(SmirnovEstimate, BoundsHoldAlongWalksOfB) {
    const Fleet cases[] = {
        {"distinct times", 300, 0, 1500},
        {"distinct times, a law split between two threads", 9000, 0, 30000},
        {"times to 0.1 h repeat", 2000, 0.1, 6000},
        {"few distinct times, large groups", 1500, 100, 5000},
        {"times below an hour", 200, 0, 400, 3000},
        {"failures at time 0", 300, 0, 1500, 1, 3},
        {"a single failure", 1, 0, 5},
    };
    struct Walk {
        double A, B, K, h;
        int steps;
    } walks[] = {
        {3e-4, 1.15, 1, 1e-3, 40},   // early passes: the largest step
        {3e-4, 1.15, 1, -1e-7, 40},  // late passes: the finest step
        {0.0005, 1, 1, 3.7e-4, 60},  // a step no power of two
        {1e-10, 0.3, 0.1, 1e-3, 20}, // the lower limits
        {0.01, 4.98, 30, 1e-3, 20},  // towards the upper limits: F reaches 1
    };
    for (const Fleet& c : cases) {
        const Analysis s = fleetState(c, 5);
        SmirnovEstimator E(s);
        for (const Walk& w : walks) {
            double B = w.B, A = w.A;
            for (int i = 0; i < w.steps; ++i) {
                B += w.h;
                // Every fifth step a short line of A between, as the search
                // makes them, and a step back.
                if (i % 5 == 4) A *= 1.001;
                if (i % 7 == 6) B -= w.h;
                const double root = std::sqrt(direct(s, A, B, w.K).S);
                const SmirnovBounds b = E.at(A, B, w.K);
                ASSERT_TRUE(b.usable) << c.what << " B=" << B;
                EXPECT_LE(b.lo, root) << c.what << " walk from B=" << w.B << " step " << i;
                EXPECT_GE(b.hi, root) << c.what << " walk from B=" << w.B << " step " << i;
                EXPECT_LT(b.hi - b.lo, 1e-8 * root + 1e-12)
                    << c.what << " walk from B=" << w.B << " step " << i;
            }
        }
    }
}

// The vector exponential the estimate relies on stays within the few ulp
// its bound allows for.
TEST_P(SmirnovEstimate, VectorExponentialIsWithinItsAllowance) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-700, 50);
    std::vector<double> x(4099), y(x.size());
    for (double& v : x)
        v = u(rng);
    x[0] = 0;
    x[1] = -1e300;
    SmirnovEstimator::expInto(x.data(), y.data(), x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double want = std::exp(x[i]);
        EXPECT_LE(std::fabs(y[i] - want), 4 * std::numeric_limits<double>::epsilon() * want) << x[i];
    }
}

// A line search along B makes x^h - 1 = expm1(h ln x) once for its step
// by a short polynomial. Over each of its ranges it must stay within the
// error the bound of the powers counts on, and refuse an argument beyond.
TEST_P(SmirnovEstimate, SmallExpm1StaysWithinItsBound) {
    constexpr double u = std::numeric_limits<double>::epsilon() / 2;
    std::mt19937_64 rng(4);
    for (double Z : {1e-12, 0x1p-13, 1e-3, 0x1p-8, 1.0 / 64, 0x1p-4}) {
        std::uniform_real_distribution<double> arg(-Z, Z);
        std::vector<double> x(1001), y(x.size());
        for (double& v : x)
            v = arg(rng);
        x[0] = 0;
        x[1] = -0.0;
        x[2] = Z;
        x[3] = -Z;
        ASSERT_TRUE(SmirnovEstimator::expm1Small(x.data(), y.data(), x.size(), Z)) << Z;
        const double rest = SmirnovEstimator::expm1SmallError(Z);
        EXPECT_LT(rest, u) << Z;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const long double want = std::expm1(static_cast<long double>(x[i]));
            EXPECT_LE(std::fabs(y[i] - want), 2.3 * u * std::fabs(x[i]) + rest + 1e-19 * std::fabs(x[i]))
                << "Z=" << Z << " x=" << x[i];
        }
        x[500] = 2.5 * Z;
        EXPECT_FALSE(SmirnovEstimator::expm1Small(x.data(), y.data(), x.size(), Z)) << Z;
    }
    double y = 0;
    const double far = 0.1;
    EXPECT_FALSE(SmirnovEstimator::expm1Small(&far, &y, 1, far));
}

// A line along K takes at once the run of steps the bound says certainly
// fall. Every step of such a run must fall in the direct evaluation, the
// run must reach most of the way to the criterion's least value, and a
// walk away from it must not be run at all.
TEST_P(SmirnovEstimate, RunsAlongKFallAtEveryStep) {
    const Fleet cases[] = {
        {"distinct times", 400, 0, 1500},
        {"times to 0.1 h repeat", 3000, 0.1, 9000},
        {"few distinct times, large groups", 2000, 100, 6000},
    };
    for (const Fleet& c : cases) {
        const Analysis s = fleetState(c, 17);
        SmirnovEstimator E(s);
        const double A = 3e-4, B = 1.15;
        const SmirnovKBound q = E.quadratic(A, B);
        ASSERT_TRUE(q.usable) << c.what;
        const double vertex = q.N / q.T;
        for (double side : {-1.0, 1.0}) {
            const double K0 = vertex * (1 + side * 0.4);
            const double h = -side * vertex * 4e-4; // about 1000 steps to the vertex
            const double R = E.at(A, B, K0).normHi;
            const long long n = smirnovRunAlongK(q, K0, h, R, 100000);
            EXPECT_GT(n, 900) << c.what << " from " << K0;
            EXPECT_LT(n, 1001) << c.what << " from " << K0; // not past the vertex
            double K = K0, before = Smirnow(s, A, B, K0, 0, 0);
            for (long long i = 0; i < n; ++i) {
                K += h;
                const double now = Smirnow(s, A, B, K, 0, 0);
                ASSERT_LT(now, before) << c.what << " step " << i + 1 << " of " << n << " from " << K0;
                before = now;
            }
            // Away from the vertex nothing falls; a run of none is no run.
            EXPECT_EQ(smirnovRunAlongK(q, K0, -h, R, 100000), 0) << c.what;
            EXPECT_LE(smirnovRunAlongK(q, K0, h, R, 7), 7) << c.what;
            EXPECT_EQ(smirnovRunAlongK(q, K0, h, R, 0), 0) << c.what;
        }
    }
}

// Late in a search each law's exponentials come from those of a nearby
// law by a short polynomial. Over each of its ranges, at the range's edge
// and far inside, the result must lie within the bound the estimate
// counts on, and a lane outside the range must be refused.
TEST_P(SmirnovEstimate, NearExponentialStaysWithinItsBound) {
    constexpr double u = std::numeric_limits<double>::epsilon() / 2;
    std::mt19937_64 rng(8);
    for (double Z : {0x1p-13, 0x1p-10, 0x1p-8, 0x1p-6, 0x1p-4}) {
        for (double reach : {1.0, 1e-3}) {
            // x^B of times up to 3000 h, a law A0 with A0 p0 up to about 8,
            // and a nearby law that moves A p by up to reach * Z both ways.
            std::uniform_real_distribution<double> power(0, 1e4), unit(-1, 1);
            const double A0 = 8e-4;
            const std::size_t n = 1003;
            std::vector<double> p0(n), p(n), e0(n), e(n);
            const double A = A0 + reach * Z / 2 / 1e4 * 0.999;
            for (std::size_t i = 0; i < n; ++i) {
                p0[i] = power(rng);
                p[i] = p0[i] + unit(rng) * reach * Z / 2 / A0 * 0.999;
                if (i == 0) p0[i] = p[i] = 0; // a failure at time 0
                e0[i] = std::exp(-(A0 * p0[i]));
            }
            ASSERT_TRUE(SmirnovEstimator::expNear(A, p.data(), A0, p0.data(), e0.data(), e.data(), n, Z))
                << Z;
            // std::exp is within an ulp.
            const double bound = SmirnovEstimator::expNearError(2 * u, Z);
            EXPECT_LT(bound, 6 * u) << Z;
            for (std::size_t i = 0; i < n; ++i) {
                const long double want = std::exp(-(static_cast<long double>(A) * p[i]));
                EXPECT_LE(std::fabs(e[i] - want), bound + 1e-19) << "Z=" << Z << " p=" << p[i];
            }
            // One lane beyond the range: the polynomial would not hold there.
            p[n / 2] = p0[n / 2] + Z / A0;
            EXPECT_FALSE(SmirnovEstimator::expNear(A, p.data(), A0, p0.data(), e0.data(), e.data(), n, Z))
                << Z;
        }
    }
    // A move beyond the widest range is never taken by a polynomial.
    const double p0 = 100, e0 = std::exp(-0.1);
    double e = 0;
    EXPECT_FALSE(SmirnovEstimator::expNear(1.5e-3, &p0, 1e-3, &p0, &e0, &e, 1, 0.05 * 2));
    EXPECT_FALSE(std::isfinite(SmirnovEstimator::expNearError(2 * u, 0.1)));
}

// Every index of a split loop is visited once, whether the worker takes
// its half or the caller takes it back, and the same splitter serves loop
// after loop.
TEST(SplitInTwo, VisitsEveryIndexOnce) {
    SplitInTwo split;
    for (std::size_t n : {0u, 1u, 7u, 4095u, 4096u, 100001u}) {
        for (int round = 0; round < 3; ++round) {
            std::vector<int> seen(n, 0);
            split.run(n, [&](std::size_t from, std::size_t to) {
                for (std::size_t i = from; i < to; ++i)
                    ++seen[i];
            });
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(seen[i], 1) << n << " at " << i;
        }
    }
}

// A worker that is running takes its half: over loops long enough, some
// second half runs beside the first.
TEST(SplitInTwo, TheWorkerTakesHalvesOfLongLoops) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core";
    SplitInTwo split;
    bool besides = false;
    for (int round = 0; round < 50 && !besides; ++round) {
        std::array<std::thread::id, 2> who{};
        std::vector<double> out(200000);
        split.run(out.size(), [&](std::size_t from, std::size_t to) {
            for (std::size_t i = from; i < to; ++i)
                out[i] = std::sqrt(static_cast<double>(i)) * std::log1p(i);
            who[from == 0 ? 0 : 1] = std::this_thread::get_id();
        });
        besides = who[0] != who[1];
    }
    EXPECT_TRUE(besides);
}
