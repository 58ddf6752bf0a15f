#include "relan/likelihood.hpp"

#include "relan/calculation.hpp"
#include "relan/error.hpp"
#include "relan/histogram.hpp"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/tools/minima.hpp>
#include <boost/math/tools/toms748_solve.hpp>
#include <nlopt.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace relan {

namespace {

namespace bm = boost::math;

constexpr double kInf = std::numeric_limits<double>::infinity();
// Half the 95 % quantile of chi-square with one degree of freedom.
constexpr double kHalfChi95 = 3.841458820694124 / 2;
// The same with two degrees of freedom (-2 log 0.05), for a law whose mean
// and SD are both searched.
constexpr double kHalfChi95Two = 5.991464547107979 / 2;
// A maximum this close to the power-law limit's is the limit's: the
// optimiser's resolution, far below any difference the data could show.
constexpr double kLimitTolerance = 1e-3;

// The admissible ranges: beyond them a quantity is no longer a statement
// about a fleet, and an interval end not reached inside is reported open.
constexpr double kEtaMin = 1e-2, kEtaMax = 1e9;
constexpr double kBMin = 0.05, kBMax = 20;
constexpr double kKMin = 1e-4, kKMax = 1e4;

// What the optimisers see where the model cannot be evaluated; far below
// any attainable log-likelihood, yet small enough to keep their quadratic
// models finite.
constexpr double kPenalty = -1e50;

// Work bounds of every search.
constexpr int kFitEvals = 3000;
constexpr int kProfileEvals = 600;
constexpr int kBracketSteps = 60;
constexpr int kRootIterations = 40;
constexpr int kQuadDepth = 15;

// The upper tail of the standard normal law, and its logarithm where the
// tail itself underflows (the asymptotic series keeps the searches of a
// censoring law smooth far outside the data).
double normalQ(double z) {
    return bm::cdf(bm::complement(bm::normal_distribution<double>(), z));
}
// Every evaluation of a searched censoring law takes one per distinct
// failure time: the double-precision erfc, not the library's extended one.
double logNormalQ(double z) {
    if (z < 30) return std::log(0.5 * std::erfc(z * std::numbers::sqrt2 / 2));
    const double r = 1 / (z * z);
    return -0.5 * z * z - std::log(z) - 0.5 * std::log(2 * std::numbers::pi) +
           std::log1p(-r + 3 * r * r - 15 * r * r * r);
}

// The Weibull law in the coordinates the searches use: log B and u = log eta,
// eta = A^(-1/B); the cumulative hazard is (t / eta)^B.
struct Weibull {
    double B, u;
    double hazard(double t) const { return t > 0 ? std::exp(B * (std::log(t) - u)) : 0.0; }
};

using GK61 = bm::quadrature::gauss_kronrod<double, 61>;
using GK15 = bm::quadrature::gauss_kronrod<double, 15>;

// The pieces the normal law is integrated over, in standard units z =
// (w - mu) / sigma: the density is then evaluated exactly at every node
// however narrow the law (in hours, w - mu would lose its digits). Beyond
// 40 SD the density is below 1e-340 of the peak: nothing a double can hold.
// The mass lies within 8 SD; those "core" pieces set the accuracy, the outer
// ones need only be negligible against them. A piece that starts at w = 0
// is integrated in hours (see substitutionPower).
struct Piece {
    double a, b; // z, or hours from 0 to b when fromZero
    bool core, fromZero;
};
std::vector<Piece> piecesOf(double mu, double sigma, double t1, double t2) {
    std::vector<Piece> out;
    const double z1 = std::isfinite(t2) ? (t2 - mu) / sigma : kInf;
    const double z0 = (t1 - mu) / sigma;
    const double lo = std::max(z0, -40.0), hi = std::min(z1, 40.0);
    if (!(lo < hi)) return out;
    std::vector<double> pts{lo};
    for (double c : {-8.0, 0.0, 8.0})
        if (c > lo && c < hi) pts.push_back(c);
    pts.push_back(hi);
    for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
        Piece pc{pts[i], pts[i + 1], pts[i] >= -8 && pts[i + 1] <= 8, false};
        if (i == 0 && t1 <= 0 && z0 > -40) pc = {0.0, mu + sigma * pts[1], pc.core, true};
        out.push_back(pc);
    }
    return out;
}

// Near w = 0 the law behaves as w^B, whose derivatives are infinite for
// B < 1: on a piece starting at 0, w = b v^p turns it into v^(pB) with
// pB >= 6, smooth enough for the rule to converge without halving towards
// the end point dozens of times.
int substitutionPower(double B) {
    return B >= 6 ? 1 : static_cast<int>(std::min(120.0, std::ceil(6 / B)));
}

constexpr double kCoreTol = 1e-11;  // relative, per core piece
constexpr double kOuterTol = 1e-13; // relative to the core's total

const double kInvSqrt2Pi = 1 / std::sqrt(2 * std::numbers::pi);

// The integral of lawPart(w) against the normal density over w in [t1, t2],
// plus lawPart(t2) times the mass beyond t2. lawPart behaves as w^B near 0
// and is 0 below t1; `power` is substitutionPower(B).
template <class Part>
double againstNormal(const Part& lawPart, int power, double mu, double sigma, double t1, double t2) {
    auto inZ = [&](double z) { return lawPart(mu + sigma * z) * kInvSqrt2Pi * std::exp(-0.5 * z * z); };
    double total = 0;
    if (std::isfinite(t2) && t2 > t1) {
        const double tail = normalQ((t2 - mu) / sigma);
        if (tail > 0) total += lawPart(t2) * tail;
    }
    auto piece = [&](auto rule, const Piece& pc, unsigned depth, double tol, double* err, double* l1) {
        if (!pc.fromZero) return rule(inZ, pc.a, pc.b, depth, tol, err, l1);
        const double b = pc.b;
        auto g = [&](double v) {
            const double vp1 = power == 1 ? 1.0 : std::pow(v, power - 1);
            const double w = b * vp1 * v;
            const double z = (w - mu) / sigma;
            return lawPart(w) * kInvSqrt2Pi * std::exp(-0.5 * z * z) / sigma * b * power * vp1;
        };
        return rule(g, 0.0, 1.0, depth, tol, err, l1);
    };
    auto gk61 = [](auto f, double a, double b, unsigned depth, double tol, double* err, double* l1) {
        return GK61::integrate(f, a, b, depth, tol, err, l1);
    };
    auto gk15 = [](auto f, double a, double b, unsigned depth, double tol, double* err, double* l1) {
        return GK15::integrate(f, a, b, depth, tol, err, l1);
    };
    const std::vector<Piece> pieces = piecesOf(mu, sigma, t1, t2);
    double core = 0;
    for (const auto& pc : pieces)
        if (pc.core) {
            double err = 0, l1 = 0;
            core += piece(gk61, pc, kQuadDepth, kCoreTol, &err, &l1);
        }
    double rest = 0;
    for (const auto& pc : pieces)
        if (!pc.core) {
            double err = 0, l1 = 0;
            double v = piece(gk15, pc, 0, 0, &err, &l1);
            const double want = kOuterTol * (core + total);
            if (!(err <= want)) {
                const double rel = want > 0 && l1 > 0 ? std::max(want / l1, 1e-14) : kCoreTol;
                v = piece(gk61, pc, kQuadDepth, rel, &err, &l1);
            }
            rest += v;
        }
    return total + core + rest;
}

// E[(F(min(W, t2)) - F(t1)); W > t1], W ~ Normal(mu, sigma), which equals the
// integral of f(t)(1 - G(t)) over [t1, t2]: integrating the law F against
// the smooth normal density avoids the infinite density f(0) of B < 1.
double shareBetween(const Weibull& law, double mu, double sigma, double t1, double t2) {
    const double H1 = law.hazard(t1);
    const double S1 = std::exp(-H1);
    auto lawPart = [&](double w) { return w > t1 ? S1 * -std::expm1(-(law.hazard(w) - H1)) : 0.0; };
    return againstNormal(lawPart, substitutionPower(law.B), mu, sigma, t1, t2);
}

// The exposure of the power-law limit in units of T^B: E[(W / T)^B; W > 0]
// = integral of B (t/T)^(B-1) (1 - G(t)) dt / T, W ~ Normal(mu, sigma).
double powerMoment(double B, double logT, double mu, double sigma) {
    auto lawPart = [&](double w) { return w > 0 ? std::exp(B * (std::log(w) - logT)) : 0.0; };
    return againstNormal(lawPart, substitutionPower(B), mu, sigma, 0, kInf);
}

// The first level of the same rules over the whole line, with the normal
// density, the logarithms of the nodes and the weights stored once for a
// censoring law: a likelihood evaluation then costs two exponentials per
// node. Whenever the first level would not have met the tolerances the
// adaptive computation above is used, so the two give the same numbers.
class ShareTable {
  public:
    ShareTable(double mu, double sigma, int power) {
        for (const auto& pc : piecesOf(mu, sigma, 0, kInf)) {
            Span span{nodes_.size(), 0, pc.core};
            auto add = [&](double x, double wk, double wg) {
                double w, dens;
                const double v = 0.5 * (1 + x);
                if (pc.fromZero) {
                    const double vp1 = power == 1 ? 1.0 : std::pow(v, power - 1);
                    w = pc.b * vp1 * v;
                    const double z = (w - mu) / sigma;
                    dens = 0.5 * pc.b * power * vp1 * kInvSqrt2Pi * std::exp(-0.5 * z * z) / sigma;
                } else {
                    const double z = 0.5 * (pc.a + pc.b) + 0.5 * (pc.b - pc.a) * x;
                    w = mu + sigma * z;
                    dens = 0.5 * (pc.b - pc.a) * kInvSqrt2Pi * std::exp(-0.5 * z * z);
                }
                nodes_.push_back({w > 0 ? std::log(w) : -kInf, dens * wk, dens * wg});
            };
            if (pc.core)
                addRule<GK61, bm::quadrature::gauss<double, 30>>(add);
            else
                addRule<GK15, bm::quadrature::gauss<double, 7>>(add);
            span.end = nodes_.size();
            spans_.push_back(span);
        }
    }

    // The share, or nothing when the adaptive rule is needed.
    std::optional<double> share(double B, double u) const {
        double core = 0, outer = 0;
        bool ok = true;
        std::vector<std::pair<double, double>> outerParts;
        for (const auto& sp : spans_) {
            double k = 0, g = 0;
            for (std::size_t i = sp.begin; i < sp.end; ++i) {
                const Node& nd = nodes_[i];
                const double F = -std::expm1(-std::exp(B * (nd.logw - u)));
                k += F * nd.wk;
                g += F * nd.wg;
            }
            const double err =
                std::max(std::fabs(k - g), std::fabs(k) * 2 * std::numeric_limits<double>::epsilon());
            if (sp.core) {
                core += k;
                if (!(err <= kCoreTol * std::fabs(k))) ok = false;
            } else {
                outer += k;
                outerParts.emplace_back(k, err);
            }
        }
        for (const auto& [k, err] : outerParts)
            if (!(err <= kOuterTol * core)) ok = false;
        if (!ok) return std::nullopt;
        return core + outer;
    }

  private:
    template <class Rule, class Gauss, class Add> static void addRule(Add& add) {
        const auto& x = Rule::abscissa();
        const auto& wk = Rule::weights();
        const auto& wg = Gauss::weights();
        const bool gaussOdd = (x.size() * 2 - 1 - 1) / 2 % 2 == 1; // the Gauss order is odd
        // The centre, then the symmetric pairs; Gauss nodes are every other one.
        add(0.0, wk[0], gaussOdd ? wg[0] : 0.0);
        for (std::size_t i = 1; i < x.size(); ++i) {
            const bool isGauss = gaussOdd ? i % 2 == 0 : i % 2 == 1;
            const double g = isGauss ? wg[i / 2] : 0.0;
            add(x[i], wk[i], g);
            add(-x[i], wk[i], g);
        }
    }
    struct Node {
        double logw, wk, wg;
    };
    struct Span {
        std::size_t begin, end;
        bool core;
    };
    std::vector<Node> nodes_;
    std::vector<Span> spans_;
};

// ---------------------------------------------------------------------------
// The data of one fit and the log-likelihood over its parameters.

struct Point {
    double u = 0, b = 0;  // log eta, log B
    double mu = 0, s = 0; // censoring mean and log SD
};

// sum c_j exp(B y_j) over many points y_j <= 0 (log t less the largest),
// in bins of y: a bin with centre y_c adds exp(B y_c) sum_m B^m M_m, M_m its
// moments sum c_j (y_j - y_c)^m / m!. Within a bin |B (y_j - y_c)| <= 1/2
// for every admissible B, so the series cut after kTerms terms leaves a
// remainder below 1e-20 of the bin's sum, and its terms, bounded by
// c_j 2^-m / m!, add with no cancellation worse than a factor e: the sum
// agrees with the direct one to a few ulp. Its cost follows the span of
// log t, not the number of distinct times, which a fleet of a million
// failures timed to the second makes hundreds of thousands.
class BinnedPowers {
  public:
    static constexpr double kMaxB = kBMax;
    static constexpr double kWidth = 1 / kMaxB; // |B (y - y_c)| <= kMaxB * kWidth / 2
    static constexpr int kTerms = 18;
    // Worth it only when the direct sum takes several times the work.
    static constexpr std::size_t kLeastPoints = 20000;

    BinnedPowers() = default;
    BinnedPowers(const std::vector<double>& y, const std::vector<double>& c) {
        if (y.size() < kLeastPoints) return;
        const double lo = y.front();
        const std::size_t bins = static_cast<std::size_t>(std::floor((y.back() - lo) / kWidth)) + 1;
        if (bins * kTerms * 4 > y.size()) return;
        for (std::size_t j = 0; j < y.size();) {
            const std::size_t bin = static_cast<std::size_t>(std::floor((y[j] - lo) / kWidth));
            const double centre = lo + (static_cast<double>(bin) + 0.5) * kWidth;
            std::array<double, kTerms> m{};
            for (; j < y.size() && static_cast<std::size_t>(std::floor((y[j] - lo) / kWidth)) == bin; ++j) {
                const double d = y[j] - centre;
                double term = c[j];
                for (int k = 0; k < kTerms; ++k) {
                    m[k] += term;
                    term *= d / (k + 1);
                }
            }
            centres_.push_back(centre);
            moments_.push_back(m);
        }
    }
    bool covers(double B) const { return !centres_.empty() && B >= 0 && B <= kMaxB; }
    double sum(double B) const {
        double total = 0;
        for (std::size_t i = 0; i < centres_.size(); ++i) {
            const auto& m = moments_[i];
            double p = m[kTerms - 1];
            for (int k = kTerms - 2; k >= 0; --k)
                p = p * B + m[k];
            total += std::exp(B * centres_[i]) * p;
        }
        return total;
    }

  private:
    std::vector<double> centres_;
    std::vector<std::array<double, kTerms>> moments_;
};

struct Data {
    double N = 0;                     // reduced fleet
    double n = 0;                     // documented failures
    std::vector<double> t, logt, cnt; // distinct times, their logarithms and how many failed at each
    double sumLogT = 0;               // sum over failures of log t
    double maxLogT = 0;
    double mu0 = 0, sigma0 = 0; // the given censoring law
    bool fitMu = false, fitS = false;
    double muLo = 0, muHi = 0, sLo = 0, sHi = 0;
    const ProgressHooks* hooks = nullptr; // whose stop request every evaluation takes

    void throwIfCancelled() const {
        if (hooks) hooks->throwIfCancelled();
    }

    mutable double cachedB = std::numeric_limits<double>::quiet_NaN(), cachedPow = 0;
    mutable double cachedMu = std::numeric_limits<double>::quiet_NaN(), cachedSigma = 0, cachedLogQ = 0;
    BinnedPowers binned; // empty unless the times are many

    // sum c_j (t_j / T)^B, T the largest time: one exp per distinct time, or
    // by bins of log t when there are many, and the fixed-B profiles reuse it.
    double powerSum(double B) const {
        if (B != cachedB) {
            double sum = 0;
            if (binned.covers(B)) {
                sum = binned.sum(B);
            } else {
                for (std::size_t j = 0; j < logt.size(); ++j)
                    sum += cnt[j] * std::exp(B * (logt[j] - maxLogT));
            }
            cachedB = B;
            cachedPow = sum;
        }
        return cachedPow;
    }
    // The observed share; for the given censoring law through its table.
    mutable std::map<int, ShareTable> tables;
    double share(double B, double u, double mu, double sigma) const {
        if (mu == mu0 && sigma == sigma0) {
            const int power = substitutionPower(B);
            auto it = tables.find(power);
            if (it == tables.end()) it = tables.emplace(power, ShareTable(mu, sigma, power)).first;
            if (auto v = it->second.share(B, u)) return *v;
        }
        return shareBetween(Weibull{B, u}, mu, sigma, 0, kInf);
    }
    // E[(W / T)^B; W > 0], T the largest time: the power-law limit's exposure.
    mutable double cachedMomB = std::numeric_limits<double>::quiet_NaN(), cachedMomMu = 0, cachedMomSigma = 0,
                   cachedMom = 0;
    double moment(double B, double mu, double sigma) const {
        if (B != cachedMomB || mu != cachedMomMu || sigma != cachedMomSigma) {
            cachedMom = powerMoment(B, maxLogT, mu, sigma);
            cachedMomB = B, cachedMomMu = mu, cachedMomSigma = sigma;
        }
        return cachedMom;
    }
    // sum over failures of log(1 - G(t)).
    double logSurvival(double mu, double sigma) const {
        if (mu != cachedMu || sigma != cachedSigma) {
            double sum = 0;
            for (std::size_t j = 0; j < logt.size(); ++j)
                sum += cnt[j] * logNormalQ((t[j] - mu) / sigma);
            cachedMu = mu;
            cachedSigma = sigma;
            cachedLogQ = sum;
        }
        return cachedLogQ;
    }
};

double sigmaOf(const Point& p) {
    return std::exp(p.s);
}

// The log-likelihood at p; K given by its logarithm, or profiled out
// (K = n / (N E) maximises it for fixed A, B and censoring law).
double logLik(const Data& d, const Point& p, const double* logK) {
    const double B = std::exp(p.b), sigma = sigmaOf(p);
    const double E = d.share(B, p.u, p.mu, sigma);
    if (!(E > 0) || !std::isfinite(E)) return kPenalty;
    const double logA = -B * p.u;
    const double sumLogF =
        d.n * (logA + p.b) + (B - 1) * d.sumLogT - std::exp(B * (d.maxLogT - p.u)) * d.powerSum(B);
    const double base = sumLogF + d.logSurvival(p.mu, sigma);
    double v;
    if (logK) {
        const double lNK = std::log(d.N) + *logK;
        v = d.n * lNK + base - std::exp(lNK) * E;
    } else {
        v = d.n * std::log(d.n / E) - d.n + base;
    }
    if (!std::isfinite(v) || v < kPenalty) return kPenalty;
    return v;
}

// The limit K -> infinity, A -> 0 with c = K A fixed is a power law:
// K F(t) -> c t^B, intensity N c B t^(B-1) (1 - G(t)), exposure
// E[W^B; W > 0] = T^B M. Its log-likelihood at p (p.u plays no part), log c
// given or profiled out (N c T^B = n / M maximises it for fixed B and law).
double limitLogLik(const Data& d, const Point& p, const double* logC) {
    const double B = std::exp(p.b), sigma = sigmaOf(p);
    const double M = d.moment(B, p.mu, sigma);
    if (!(M > 0) || !std::isfinite(M)) return kPenalty;
    const double base = d.n * p.b + (B - 1) * d.sumLogT + d.logSurvival(p.mu, sigma);
    double v;
    if (logC) {
        const double lNc = std::log(d.N) + *logC;
        v = d.n * lNc + base - std::exp(lNc + B * d.maxLogT) * M;
    } else {
        v = d.n * (std::log(d.n / M) - B * d.maxLogT) - d.n + base;
    }
    if (!std::isfinite(v) || v < kPenalty) return kPenalty;
    return v;
}

// log c of the limit's maximum at p.
double logCHat(const Data& d, const Point& p) {
    const double B = std::exp(p.b);
    return std::log(d.n / d.moment(B, p.mu, sigmaOf(p))) - std::log(d.N) - B * d.maxLogT;
}

double logKHat(const Data& d, const Point& p) {
    const double E = d.share(std::exp(p.b), p.u, p.mu, sigmaOf(p));
    return std::log(d.n / (d.N * E));
}

// ---------------------------------------------------------------------------
// Profiles: one quantity held, the others searched.

enum class Quantity { None, A, B, Eta, K, Mcf, Sred, SKO };

struct Constraint {
    Quantity what = Quantity::None;
    double x = 0;       // the held value in its search coordinate (log, or hours for Sred)
    double t0 = 0;      // the time of K F(t)
    bool limit = false; // the power-law limit instead of the model (no eta, A, K)
};

struct Layout {
    std::vector<int> free; // 0 u, 1 b, 2 mu, 3 s
};

Layout layoutFor(const Data& d, Quantity q, bool limit) {
    Layout l;
    if (!limit && q != Quantity::A && q != Quantity::Eta) l.free.push_back(0);
    if (q != Quantity::B) l.free.push_back(1);
    if (d.fitMu && q != Quantity::Sred) l.free.push_back(2);
    if (d.fitS && q != Quantity::SKO) l.free.push_back(3);
    return l;
}

double& coord(Point& p, int i) {
    return i == 0 ? p.u : i == 1 ? p.b : i == 2 ? p.mu : p.s;
}

void boundsOf(const Data& d, int i, double& lo, double& hi) {
    switch (i) {
    case 0:
        lo = std::log(kEtaMin), hi = std::log(kEtaMax);
        break;
    case 1:
        lo = std::log(kBMin), hi = std::log(kBMax);
        break;
    case 2:
        lo = d.muLo, hi = d.muHi;
        break;
    default:
        lo = d.sLo, hi = d.sHi;
        break;
    }
}

struct Problem {
    const Data& d;
    Constraint c;
    Layout layout;
    Point base;
    long evals = 0;

    Point pointOf(const double* y) const {
        Point p = base;
        for (std::size_t i = 0; i < layout.free.size(); ++i)
            coord(p, layout.free[i]) = y[i];
        switch (c.what) {
        case Quantity::B:
            p.b = c.x;
            break;
        case Quantity::Eta:
            p.u = c.x;
            break;
        case Quantity::A:
            p.u = -c.x / std::exp(p.b);
            break;
        case Quantity::Sred:
            p.mu = c.x;
            break;
        case Quantity::SKO:
            p.s = c.x;
            break;
        default:
            break;
        }
        return p;
    }
    double value(const double* y) {
        d.throwIfCancelled();
        ++evals;
        const Point p = pointOf(y);
        if (c.limit) {
            if (c.what != Quantity::Mcf) return limitLogLik(d, p, nullptr);
            const double logC = c.x - std::exp(p.b) * std::log(c.t0);
            return limitLogLik(d, p, &logC);
        }
        if (c.what == Quantity::K) return logLik(d, p, &c.x);
        if (c.what == Quantity::Mcf) {
            const double F = -std::expm1(-Weibull{std::exp(p.b), p.u}.hazard(c.t0));
            if (!(F > 0)) return kPenalty;
            const double logK = c.x - std::log(F);
            return logLik(d, p, &logK);
        }
        return logLik(d, p, nullptr);
    }
};

struct Optimum {
    double ll = kPenalty;
    Point p;
    bool success = false; // the optimiser met its tolerance, not its evaluation bound
};

// One coordinate: bracket the maximum from the start by doubling steps,
// then Brent's parabolic search inside the bracket.
Optimum maximise1(Problem& pr, double x0, double step, double lo, double hi, int maxEvals) {
    auto f = [&](double x) { return pr.value(&x); };
    x0 = std::clamp(x0, lo, hi);
    double f0 = f(x0);
    double a = std::max(lo, x0 - step), b = std::min(hi, x0 + step);
    double fb = f(b);
    bool success = true;
    // From x0 past `first`, steps doubling while the value rises: the end
    // behind the maximum and the one beyond it (or the edge of the range).
    auto walk = [&](double first, double fFirst, double dir, double edge) {
        double prev = x0, cur = first, fcur = fFirst, d = step;
        for (int k = 0; k < kBracketSteps && cur != edge; ++k) {
            d *= 2;
            const double next = dir > 0 ? std::min(edge, cur + d) : std::max(edge, cur - d);
            const double fn = f(next);
            if (fn <= fcur) return std::pair{prev, next};
            prev = cur, cur = next, fcur = fn;
        }
        return std::pair{prev, edge};
    };
    if (fb > f0) {
        std::tie(a, b) = walk(b, fb, 1, hi);
    } else if (const double fa = f(a); fa > f0) {
        std::tie(b, a) = walk(a, fa, -1, lo);
    }
    const boost::uintmax_t limit =
        static_cast<boost::uintmax_t>(std::max(10, maxEvals - static_cast<int>(pr.evals)));
    boost::uintmax_t iters = limit;
    const auto r = bm::tools::brent_find_minima([&](double x) { return -f(x); }, a, b, 30, iters);
    if (iters >= limit) success = false;
    Optimum o;
    double x = r.first, v = -r.second;
    if (f0 > v) x = x0, v = f0;
    o.ll = v;
    o.p = pr.pointOf(&x);
    o.success = success;
    return o;
}

Optimum maximise(const Data& d, const Constraint& c, const Point& start, double step, int maxEvals) {
    Problem pr{d, c, layoutFor(d, c.what, c.limit), start};
    const std::size_t n = pr.layout.free.size();
    std::vector<double> x(n), lo(n), hi(n), steps(n);
    for (std::size_t i = 0; i < n; ++i) {
        const int k = pr.layout.free[i];
        boundsOf(d, k, lo[i], hi[i]);
        Point s = start;
        x[i] = std::clamp(coord(s, k), lo[i], hi[i]);
        steps[i] = k == 2 ? step * d.sigma0 : step;
        // A start on a bound leaves room to step inwards.
        steps[i] = std::min(steps[i], 0.5 * (hi[i] - lo[i]));
    }
    if (n == 0) {
        Optimum o;
        o.p = pr.pointOf(nullptr);
        o.ll = pr.value(nullptr);
        o.success = true;
        return o;
    }
    if (n == 1) return maximise1(pr, x[0], steps[0], lo[0], hi[0], maxEvals);

    nlopt::opt opt(nlopt::LN_BOBYQA, static_cast<unsigned>(n));
    opt.set_lower_bounds(lo);
    opt.set_upper_bounds(hi);
    opt.set_initial_step(steps);
    std::vector<double> xtol(n);
    for (std::size_t i = 0; i < n; ++i)
        xtol[i] = pr.layout.free[i] == 2 ? 1e-7 * d.sigma0 : 1e-7;
    opt.set_xtol_abs(xtol);
    opt.set_ftol_abs(1e-10);
    opt.set_maxeval(maxEvals);
    Optimum best;
    best.p = pr.pointOf(x.data());
    auto fn = [](const std::vector<double>& y, std::vector<double>&, void* data) {
        return static_cast<Problem*>(data)->value(y.data());
    };
    opt.set_max_objective(fn, &pr);
    double value = kPenalty;
    nlopt::result res = nlopt::FAILURE;
    try {
        res = opt.optimize(x, value);
    } catch (const nlopt::roundoff_limited&) {
        res = nlopt::SUCCESS; // the tolerance asked for is below what the function resolves
        value = pr.value(x.data());
    } catch (const std::exception&) {
        // NLopt turns whatever the objective throws into a failure of its own.
        d.throwIfCancelled();
        res = nlopt::FAILURE;
        value = pr.value(x.data());
    }
    best.ll = value;
    best.p = pr.pointOf(x.data());
    best.success = res == nlopt::SUCCESS || res == nlopt::FTOL_REACHED || res == nlopt::XTOL_REACHED ||
                   res == nlopt::STOPVAL_REACHED;
    return best;
}

// Whether a free coordinate of an optimum lies on its search bound: the
// likelihood there is held down by the bound, not by the data. The upper
// bound of eta is left out where the limit beyond it was searched as well.
bool onBound(const Data& d, const Constraint& c, const Point& p, bool limitBeyondEta) {
    for (int k : layoutFor(d, c.what, c.limit).free) {
        double lo, hi;
        boundsOf(d, k, lo, hi);
        Point q = p;
        const double x = coord(q, k);
        const double tol = k == 2 ? 1e-4 * d.sigma0 : 1e-4;
        if (x <= lo + tol) return true;
        if (x >= hi - tol && !(k == 0 && limitBeyondEta)) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// The quantities reported, in search coordinates of the full parameter
// vector q = (u, b, log K, mu, s).

using Full = std::array<double, 5>;

double quantityOf(Quantity q, const Full& v, double t0) {
    const double B = std::exp(v[1]);
    switch (q) {
    case Quantity::A:
        return -B * v[0];
    case Quantity::B:
        return v[1];
    case Quantity::Eta:
        return v[0];
    case Quantity::K:
        return v[2];
    case Quantity::Mcf:
        return v[2] + std::log(-std::expm1(-Weibull{B, v[0]}.hazard(t0)));
    case Quantity::Sred:
        return v[3];
    case Quantity::SKO:
        return v[4];
    default:
        return 0;
    }
}

struct Fitted {
    Point p;
    double logK = 0;
    double ll = 0;
    bool success = false;
};

// The power-law limit's maximum (p.u unused); ll at kPenalty when not searched.
struct LimitFit {
    Point p;
    double ll = kPenalty;
    bool success = false;
};

class Intervals {
  public:
    // f: the maximum (of the model, or its representation at the limit);
    // limit: the power-law limit's maximum, whose nearness opens the ends of
    // K, eta and A towards it and which the other profiles include.
    Intervals(const Data& d, const Fitted& f, const LimitFit& limit) : d_(d), f_(f), limit_(limit) {
        idx_ = {0, 1, 2};
        if (d.fitMu) idx_.push_back(3);
        if (d.fitS) idx_.push_back(4);
        hessian();
    }

    // The estimate and both ends in the quantity's own units.
    LikelihoodInterval interval(Quantity q, double t0 = 0) {
        const Full v = full();
        const double xhat = quantityOf(q, v, t0);
        double lo, hi;
        range(q, xhat, lo, hi);
        const double se = waldSE(q, t0);
        LikelihoodInterval r;
        r.estimate = natural(q, xhat);
        if (!std::isfinite(xhat)) return r;
        // Towards the limit K, eta grow without end and A falls to 0: a
        // limit within the threshold leaves that end open.
        const bool limitNear = limit_.ll >= f_.ll - kHalfChi95;
        const bool openUp = limitNear && (q == Quantity::K || q == Quantity::Eta);
        const bool openDown = limitNear && q == Quantity::A;
        double from = std::clamp(xhat, lo, hi);
        // At the limit K's profile rises towards it; its search starts where
        // eta, a tenth of its bound, still leaves room for the optimum.
        if (q == Quantity::K && limit_.ll >= f_.ll)
            from = std::min(from, logCHat(d_, limit_.p) +
                                      std::exp(limit_.p.b) * (std::log(kEtaMax) - std::log(10.0)));
        if (!openDown)
            if (auto e = end(q, t0, from, se, -1, lo)) r.lo = natural(q, *e);
        if (!openUp)
            if (auto e = end(q, t0, from, se, +1, hi)) r.hi = natural(q, *e);
        return r;
    }

  private:
    Full full() const { return {f_.p.u, f_.p.b, f_.logK, f_.p.mu, f_.p.s}; }

    static double natural(Quantity q, double x) { return q == Quantity::Sred ? x : std::exp(x); }

    void range(Quantity q, double xhat, double& lo, double& hi) const {
        switch (q) {
        case Quantity::A:
            lo = -kBMax * std::log(kEtaMax), hi = -kBMax * std::log(kEtaMin);
            break;
        case Quantity::B:
            lo = std::log(kBMin), hi = std::log(kBMax);
            break;
        case Quantity::Eta:
            lo = std::log(kEtaMin), hi = std::log(kEtaMax);
            break;
        case Quantity::K:
            lo = std::log(kKMin), hi = std::log(kKMax);
            break;
        case Quantity::Mcf:
            lo = xhat - std::log(1e6), hi = std::log(kKMax);
            break;
        case Quantity::Sred:
            lo = d_.muLo, hi = d_.muHi;
            break;
        case Quantity::SKO:
            lo = d_.sLo, hi = d_.sHi;
            break;
        default:
            lo = hi = xhat;
        }
    }

    double fullLogLik(const Full& v) const {
        Point p{v[0], v[1], v[3], v[4]};
        return logLik(d_, p, &v[2]);
    }

    // The observed information by central differences; its inverse gives
    // the Wald steps that start each search for an interval end.
    void hessian() {
        const std::size_t m = idx_.size();
        std::vector<double> h(m);
        for (std::size_t i = 0; i < m; ++i)
            h[i] = idx_[i] == 3 ? 1e-3 * std::exp(f_.p.s) : 1e-3;
        const Full v0 = full();
        const double l0 = fullLogLik(v0);
        std::vector<double> H(m * m);
        auto at = [&](std::size_t i, double di, std::size_t j, double dj) {
            Full v = v0;
            v[idx_[i]] += di;
            v[idx_[j]] += dj;
            return fullLogLik(v);
        };
        for (std::size_t i = 0; i < m; ++i) {
            H[i * m + i] = (at(i, h[i], i, 0) - 2 * l0 + at(i, -h[i], i, 0)) / (h[i] * h[i]);
            for (std::size_t j = 0; j < i; ++j) {
                const double v = (at(i, h[i], j, h[j]) - at(i, h[i], j, -h[j]) - at(i, -h[i], j, h[j]) +
                                  at(i, -h[i], j, -h[j])) /
                                 (4 * h[i] * h[j]);
                H[i * m + j] = H[j * m + i] = v;
            }
        }
        // Covariance = (-H)^(-1) by Gauss-Jordan; unusable unless -H is
        // positive definite (checked by Cholesky first).
        std::vector<double> a(m * m), L(m * m, 0.0);
        for (std::size_t i = 0; i < m * m; ++i)
            a[i] = -H[i];
        bool pd = true;
        for (std::size_t i = 0; i < m && pd; ++i)
            for (std::size_t j = 0; j <= i; ++j) {
                double sum = a[i * m + j];
                for (std::size_t k = 0; k < j; ++k)
                    sum -= L[i * m + k] * L[j * m + k];
                if (i == j) {
                    if (!(sum > 0) || !std::isfinite(sum)) {
                        pd = false;
                        break;
                    }
                    L[i * m + i] = std::sqrt(sum);
                } else {
                    L[i * m + j] = sum / L[j * m + j];
                }
            }
        if (!pd) return;
        // inverse of L L^T
        std::vector<double> Linv(m * m, 0.0);
        for (std::size_t i = 0; i < m; ++i) {
            Linv[i * m + i] = 1 / L[i * m + i];
            for (std::size_t j = 0; j < i; ++j) {
                double sum = 0;
                for (std::size_t k = j; k < i; ++k)
                    sum -= L[i * m + k] * Linv[k * m + j];
                Linv[i * m + j] = sum / L[i * m + i];
            }
        }
        cov_.assign(m * m, 0.0);
        for (std::size_t i = 0; i < m; ++i)
            for (std::size_t j = 0; j < m; ++j) {
                double sum = 0;
                for (std::size_t k = std::max(i, j); k < m; ++k)
                    sum += Linv[k * m + i] * Linv[k * m + j];
                cov_[i * m + j] = sum;
            }
    }

    double waldSE(Quantity q, double t0) const {
        if (cov_.empty()) return std::numeric_limits<double>::quiet_NaN();
        const std::size_t m = idx_.size();
        const Full v0 = full();
        std::vector<double> g(m);
        for (std::size_t i = 0; i < m; ++i) {
            const double h = idx_[i] == 3 ? 1e-6 * std::exp(f_.p.s) : 1e-6;
            Full a = v0, b = v0;
            a[idx_[i]] += h;
            b[idx_[i]] -= h;
            g[i] = (quantityOf(q, a, t0) - quantityOf(q, b, t0)) / (2 * h);
        }
        double var = 0;
        for (std::size_t i = 0; i < m; ++i)
            for (std::size_t j = 0; j < m; ++j)
                var += g[i] * cov_[i * m + j] * g[j];
        return var > 0 && std::isfinite(var) ? std::sqrt(var) : std::numeric_limits<double>::quiet_NaN();
    }

    // Whether the profile of q takes in the power-law limit: the quantities
    // the limit keeps, when it comes near enough to count.
    bool withLimit(Quantity q) const {
        return limit_.ll >= f_.ll - kHalfChi95 - 1 &&
               (q == Quantity::B || q == Quantity::Mcf || q == Quantity::Sred || q == Quantity::SKO);
    }

    struct Seen {
        std::vector<std::pair<double, Point>> model, limit;
    };
    struct Excess {
        double value;
        bool onBound; // the optimum behind it lies on a bound of another parameter
    };

    // The profile log-likelihood minus the threshold at x; the optima found
    // there are kept to start the next evaluations near them.
    Excess excess(Quantity q, double t0, double x, Seen& seen) {
        auto warmFrom = [&](const std::vector<std::pair<double, Point>>& list, const Point& first) {
            const Point* warm = &first;
            double bestDist = std::fabs(x - quantityOf(q, full(), t0));
            for (const auto& [sx, sp] : list)
                if (std::fabs(sx - x) < bestDist) bestDist = std::fabs(sx - x), warm = &sp;
            return *warm;
        };
        const bool lim = withLimit(q);
        Constraint c{q, x, t0};
        const Optimum o = maximise(d_, c, warmFrom(seen.model, f_.p), 0.1, kProfileEvals);
        seen.model.emplace_back(x, o.p);
        Excess e{o.ll - (f_.ll - kHalfChi95), onBound(d_, c, o.p, lim)};
        if (lim) {
            Constraint cl{q, x, t0, true};
            const Optimum ol = maximise(d_, cl, warmFrom(seen.limit, limit_.p), 0.1, kProfileEvals);
            seen.limit.emplace_back(x, ol.p);
            if (ol.ll > o.ll) e = {ol.ll - (f_.ll - kHalfChi95), onBound(d_, cl, ol.p, true)};
        }
        return e;
    }

    std::optional<double> end(Quantity q, double t0, double xhat, double se, int dir, double limit) {
        if (dir > 0 ? xhat >= limit : xhat <= limit) return std::nullopt;
        const double scale = q == Quantity::Sred ? std::exp(f_.p.s) : 1.0;
        double step = std::isfinite(se) ? 1.96 * se : 0.3 * scale;
        step = std::clamp(step, 1e-3 * scale, 2.0 * scale);
        Seen seen;
        double xa = xhat, ga = kHalfChi95, xb = xhat, gb = 0;
        bool bracketed = false;
        for (int k = 0; k < kBracketSteps; ++k) {
            xb = xhat + dir * step;
            if (dir > 0 ? xb >= limit : xb <= limit) xb = limit;
            gb = excess(q, t0, xb, seen).value;
            if (gb < 0) {
                bracketed = true;
                break;
            }
            if (xb == limit) return std::nullopt;
            xa = xb, ga = gb;
            step *= 2;
        }
        if (!bracketed) return std::nullopt;
        boost::uintmax_t iters = kRootIterations;
        const double tol = 1e-4 * (q == Quantity::Sred ? std::max(1.0, std::fabs(xhat)) : 1.0);
        auto stop = [tol](double a, double b) { return std::fabs(a - b) <= tol; };
        auto g = [&](double x) { return excess(q, t0, x, seen).value; };
        const auto r = bm::tools::toms748_solve(g, std::min(xa, xb), std::max(xa, xb), xa < xb ? ga : gb,
                                                xa < xb ? gb : ga, stop, iters);
        const double x = 0.5 * (r.first + r.second);
        // An end where another parameter is held by its bound is the bound's, not the data's.
        if (excess(q, t0, x, seen).onBound) return std::nullopt;
        return x;
    }

    const Data& d_;
    const Fitted& f_;
    const LimitFit& limit_;
    std::vector<int> idx_; // which of q's five coordinates are free parameters
    std::vector<double> cov_;
};

// ---------------------------------------------------------------------------

Data prepare(const Analysis& s, bool fitMu, bool fitS, const NumberFormat& fmt) {
    if (s.MasProbl.empty()) throw Error(kNoFailureData);
    if (!(s.Izd_Prived > 0) || !std::isfinite(s.Izd_Prived))
        throw Error("Приведенное число изделий должно быть больше 0 (сейчас " +
                    formatFourDigits(s.Izd_Prived, fmt) + ")");
    if (!(s.SKO > 0) || !std::isfinite(s.SKO))
        throw Error("СКО времени окончания гарантии должно быть больше 0 (сейчас " +
                    formatFourDigits(s.SKO, fmt) + " ч)");
    if (!std::isfinite(s.Sred)) throw Error("Среднее время окончания гарантии не задано числом");
    std::map<double, double> counts;
    for (const auto& p : s.MasProbl) {
        if (!(p.time > 0) || !std::isfinite(p.time))
            throw Error("Время отказа должно быть больше 0 (в данных есть " + formatFourDigits(p.time, fmt) +
                        " ч)");
        counts[p.time] += 1;
    }
    int impossible = 0;
    double firstImpossible = kInf;
    for (const auto& [t, c] : counts)
        if (normalQ((t - s.Sred) / s.SKO) == 0) {
            impossible += static_cast<int>(c);
            firstImpossible = std::min(firstImpossible, t);
        }
    const std::string law =
        "(среднее " + formatHours(s.Sred, fmt) + " ч, СКО " + formatHours(s.SKO, fmt) + " ч)";
    if (impossible == static_cast<int>(s.MasProbl.size()))
        throw Error(
            "Закон окончания гарантии " + law +
            " не оставляет на гарантии ни одного изделия ко времени отказов: ни один из документированных "
            "отказов не мог быть учтен; проверьте среднее и СКО времени гарантии");
    if (impossible > 0)
        throw Error("Отказ на " + formatHours(firstImpossible, fmt) +
                    " ч невозможен при законе окончания гарантии " + law +
                    ": к этому времени гарантия закончилась у всех изделий (таких отказов " +
                    std::to_string(impossible) + "); проверьте среднее и СКО времени гарантии");
    Data d;
    d.N = s.Izd_Prived;
    d.n = static_cast<double>(s.MasProbl.size());
    for (const auto& [t, c] : counts) {
        d.t.push_back(t);
        d.logt.push_back(std::log(t));
        d.cnt.push_back(c);
        d.sumLogT += c * std::log(t);
    }
    d.maxLogT = d.logt.back();
    {
        std::vector<double> y(d.logt.size());
        for (std::size_t j = 0; j < y.size(); ++j)
            y[j] = d.logt[j] - d.maxLogT;
        d.binned = BinnedPowers(y, d.cnt);
    }
    d.mu0 = s.Sred;
    d.sigma0 = std::exp(std::log(s.SKO)); // as the searches rebuild it from log SKO
    d.fitMu = fitMu;
    d.fitS = fitS;
    const double scale = std::max(std::fabs(s.Sred), std::exp(d.maxLogT));
    d.muLo = std::min(s.Sred, 0.0);
    d.muHi = std::max(s.Sred, 10 * scale);
    d.sLo = std::min(std::log(s.SKO), std::log(0.005 * scale));
    d.sHi = std::max(std::log(s.SKO), std::log(5 * scale));
    return d;
}

// Starting points: a grid of shapes with the law's median at the median
// failure time, and the shape and scale a Weibull law would have given the
// mean and spread of log times.
std::vector<Point> starts(const std::vector<double>& times, double mu, double s) {
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const double med = sorted[sorted.size() / 2];
    std::vector<Point> out;
    for (double lb : {-1.0, 0.0, 0.7}) {
        const double B = std::exp(lb);
        out.push_back({std::log(med) - std::log(std::log(2.0)) / B, lb, mu, s});
    }
    double mean = 0, sq = 0;
    for (double t : times)
        mean += std::log(t);
    mean /= times.size();
    for (double t : times)
        sq += (std::log(t) - mean) * (std::log(t) - mean);
    const double sd = times.size() > 1 ? std::sqrt(sq / (times.size() - 1)) : 0;
    if (sd > 0) {
        const double B = std::clamp(std::numbers::pi / (std::sqrt(6.0) * sd), kBMin, kBMax);
        out.push_back({mean + std::numbers::egamma / B, std::log(B), mu, s});
    }
    return out;
}

// The steps of a fit as its progress counts them: each start of a search
// and each interval.
class Steps {
  public:
    Steps(const ProgressHooks& hooks, long long total) : hooks_(hooks), total_(total) {
        hooks_.tell(kStage, kUnit, 0, total_);
    }
    void next() { hooks_.tell(kStage, kUnit, ++done_, total_); }
    // The steps of fitPoint from `starts` starting points.
    static long long ofFit(std::size_t starts) { return static_cast<long long>(starts) + 1; }

  private:
    static constexpr const char* kStage = "Модель МП";
    static constexpr const char* kUnit = "шаг";
    const ProgressHooks& hooks_;
    long long total_;
    long long done_ = 0;
};

Fitted fitPoint(const Data& d, const std::vector<Point>& from, Steps& steps) {
    std::vector<Optimum> runs;
    for (const auto& p : from) {
        runs.push_back(maximise(d, Constraint{}, p, 0.3, kFitEvals));
        steps.next();
    }
    std::sort(runs.begin(), runs.end(), [](const Optimum& a, const Optimum& b) { return a.ll > b.ll; });
    Optimum best = maximise(d, Constraint{}, runs[0].p, 0.02, kFitEvals);
    steps.next();
    if (best.ll < runs[0].ll) best = runs[0];
    Fitted f;
    f.p = best.p;
    f.ll = best.ll;
    f.logK = logKHat(d, f.p);
    f.success = best.success && runs.size() > 1 && runs[0].ll - runs[1].ll <= 1e-4;
    return f;
}

LimitFit fitLimit(const Data& d, const std::vector<Point>& from, Steps& steps) {
    LimitFit best;
    Constraint c;
    c.limit = true;
    for (const auto& p : from) {
        const Optimum o = maximise(d, c, p, 0.3, kFitEvals);
        if (o.ll > best.ll) best = {o.p, o.ll, o.success};
    }
    steps.next();
    return best;
}

// Below this p the histogram rejects the model.
constexpr double kLackOfFit = 0.05;

LikelihoodGoodnessOfFit goodness(const Analysis& s, const Fitted& f, double N, int parameters) {
    LikelihoodGoodnessOfFit g;
    if (s.Hist_Arr.empty()) return g;
    const IntervalBounds ib = intervalBounds(s.Hist_Arr);
    std::vector<double> lo, hi, obs, exp;
    const Weibull law{std::exp(f.p.b), f.p.u};
    const double NK = N * std::exp(f.logK), sigma = std::exp(f.p.s);
    for (std::size_t i = 0; i + 1 < ib.t.size(); ++i) {
        lo.push_back(ib.t[i]);
        hi.push_back(ib.t[i + 1]);
        obs.push_back(ib.observed[i]);
    }
    lo.push_back(ib.t.back());
    hi.push_back(kInf);
    obs.push_back(0);
    for (std::size_t i = 0; i < lo.size(); ++i)
        exp.push_back(NK * shareBetween(law, f.p.mu, sigma, lo[i], hi[i]));

    struct Group {
        std::size_t first, last;
        double o = 0, e = 0;
    };
    std::vector<Group> groups;
    for (std::size_t i = 0; i < lo.size(); ++i) {
        if (groups.empty() || groups.back().e >= 5) groups.push_back({i, i});
        auto& gr = groups.back();
        gr.last = i;
        gr.o += obs[i];
        gr.e += exp[i];
    }
    if (groups.size() > 1 && groups.back().e < 5) {
        const Group tail = groups.back();
        groups.pop_back();
        groups.back().last = tail.last;
        groups.back().o += tail.o;
        groups.back().e += tail.e;
    }
    for (const auto& gr : groups) {
        if (gr.e > 0) g.chi2 += (gr.o - gr.e) * (gr.o - gr.e) / gr.e;
        const int k = static_cast<int>(gr.last - gr.first + 1);
        if (k > 1)
            g.merged.push_back(
                {lo[gr.first], std::isfinite(hi[gr.last]) ? std::optional<double>(hi[gr.last]) : std::nullopt,
                 k});
    }
    g.cells = static_cast<int>(groups.size());
    g.df = std::max(0, g.cells - parameters);
    if (g.df > 0) g.pValue = bm::cdf(bm::complement(bm::chi_squared_distribution<double>(g.df), g.chi2));
    return g;
}

// An interval wider than this many times its lower end leaves the quantity
// weakly determined.
constexpr double kWideInterval = 10;

void describe(const LikelihoodInterval& ci, Estimate quantity, bool widthCheck, Warnings& warnings,
              double time = 0) {
    if (!ci.hi) warnings.push_back(warning::IntervalOpen{quantity, time, IntervalSide::Upper});
    if (!ci.lo) warnings.push_back(warning::IntervalOpen{quantity, time, IntervalSide::Lower});
    if (widthCheck && ci.closed() && *ci.lo > 0 && *ci.hi / *ci.lo > kWideInterval)
        warnings.push_back(warning::IntervalWide{quantity, time, *ci.hi / *ci.lo, kWideInterval});
}

Fitted fittedFrom(const LikelihoodFit& fit) {
    Fitted f;
    f.p = {-std::log(fit.A) / fit.B, std::log(fit.B), fit.Sred, std::log(fit.SKO)};
    f.logK = std::log(fit.K_powtor);
    f.ll = fit.loglik;
    return f;
}

} // namespace

std::string pValueText(const LikelihoodGoodnessOfFit& g, const NumberFormat& fmt) {
    return g.pValue ? formatPattern("p = %.3g", {*g.pValue}, fmt) : std::string("согласие не оценивается");
}

double observedShare(double A, double B, double Sred, double SKO, double t1, double t2) {
    if (!(A > 0) || !(B > 0) || !std::isfinite(A) || !std::isfinite(B))
        throw Error("Параметры закона отказов A и B должны быть больше 0");
    if (!(SKO > 0) || !std::isfinite(SKO) || !std::isfinite(Sred))
        throw Error("СКО времени окончания гарантии должно быть больше 0");
    if (std::isnan(t1) || std::isnan(t2) || t1 > t2 || !std::isfinite(t1))
        throw Error("Границы интервала времени заданы неверно");
    const double r = shareBetween(Weibull{B, -std::log(A) / B}, Sred, SKO, std::max(0.0, t1), t2);
    if (!std::isfinite(r)) throw Error("Доля наблюдаемых отказов не вычисляется при этих параметрах");
    return std::max(0.0, r);
}

double observedShare(double A, double B, double Sred, double SKO) {
    return observedShare(A, B, Sred, SKO, 0, kInf);
}

double failureLogLikelihood(const std::vector<double>& times, double Izd_Prived, double A, double B, double K,
                            double Sred, double SKO) {
    if (times.empty()) throw Error(kNoFailureData);
    if (!(K > 0) || !std::isfinite(K)) throw Error("Коэффициент повторности K должен быть больше 0");
    Analysis s;
    for (double t : times)
        s.MasProbl.push_back(Problems{t, 0, {}});
    s.Izd_Prived = Izd_Prived;
    s.Sred = Sred;
    s.SKO = SKO;
    const Data d = prepare(s, false, false, NumberFormat{});
    const double E = observedShare(A, B, Sred, SKO);
    const Point p{-std::log(A) / B, std::log(B), Sred, std::log(SKO)};
    const double logK = std::log(K);
    const double v = logLik(d, p, &logK);
    if (v <= kPenalty || !(E > 0)) throw Error("Правдоподобие не вычисляется при этих параметрах");
    return v;
}

LikelihoodFit fitLikelihood(const Analysis& s, const LikelihoodOptions& options) {
    for (double t : options.mcfTimes)
        if (!(t > 0) || !std::isfinite(t))
            throw Error("Время, при котором оценивается K·F(t), должно быть больше 0 (задано " +
                        formatFourDigits(t, options.fmt) + ")");
    const NumberFormat& fmt = options.fmt;
    std::vector<double> times;
    for (const auto& p : s.MasProbl)
        times.push_back(p.time);

    Data fixedData = prepare(s, false, false, fmt);
    fixedData.hooks = &options.progress;
    const std::vector<Point> fixedStarts = starts(times, s.Sred, std::log(s.SKO));
    const bool searched = options.fitSred || options.fitSKO;
    // The fixed law's fit and its power-law limit, the searched law's from
    // one start more and its limit, then one step per interval (A, B, eta,
    // K, K F(t) at tGar and at each time asked, the censoring law's searched
    // values): the end is known before the first step.
    const long long lawSteps = (options.fitSred ? 1 : 0) + (options.fitSKO ? 1 : 0);
    const long long intervalSteps = 4 + 1 + static_cast<long long>(options.mcfTimes.size()) + lawSteps;
    Steps steps(options.progress, Steps::ofFit(fixedStarts.size()) + 1 +
                                      (searched ? Steps::ofFit(fixedStarts.size() + 1) + 1 : 0) +
                                      (options.intervals ? intervalSteps : 0));
    const Fitted fixedFit = fitPoint(fixedData, fixedStarts, steps);
    const LimitFit fixedLimit = fitLimit(fixedData, {fixedFit.p}, steps);

    LikelihoodFit r;
    r.numbers = fmt;
    Data d = fixedData;
    Fitted f = fixedFit;
    LimitFit limit = fixedLimit;
    if (searched) {
        Data sd = prepare(s, options.fitSred, options.fitSKO, fmt);
        sd.hooks = &options.progress;
        std::vector<Point> from = starts(times, s.Sred, std::log(s.SKO));
        from.insert(from.begin(), fixedFit.p);
        Fitted sf = fitPoint(sd, from, steps);
        if (sf.ll < fixedFit.ll) sf = fixedFit;
        LimitFit sl = fitLimit(sd, {sf.p, fixedLimit.p}, steps);
        if (sl.ll < fixedLimit.ll) sl = fixedLimit;
        const double best = std::max(sf.ll, sl.ll), fixedBest = std::max(fixedFit.ll, fixedLimit.ll);
        r.censoringGain = best - fixedBest;
        const Point& law = sl.ll > sf.ll ? sl.p : sf.p;
        // Two parameters added ask for chi-square with two degrees of freedom.
        const double threshold = options.fitSred && options.fitSKO ? kHalfChi95Two : kHalfChi95;
        const double tol = 1e-2;
        const bool sdOnBound = options.fitSKO && (law.s <= sd.sLo + tol || law.s >= sd.sHi - tol);
        const bool meanOnBound =
            options.fitSred && (law.mu <= sd.muLo + tol * sd.sigma0 || law.mu >= sd.muHi - tol * sd.sigma0);
        const CensoringLawValues fitted{law.mu, std::exp(law.s)}, given{s.Sred, s.SKO};
        if (*r.censoringGain < threshold) {
            r.warnings.push_back(warning::CensoringUndetermined{*r.censoringGain, threshold, fitted, given});
        } else if (sdOnBound || meanOnBound) {
            r.warnings.push_back(warning::CensoringOnBound{sdOnBound, *r.censoringGain, fitted, given});
        } else {
            d = sd;
            f = sf;
            limit = sl;
            r.fittedSred = options.fitSred;
            r.fittedSKO = options.fitSKO;
        }
    }
    d.hooks = &options.progress;

    // The largest time the model is shown at: the limit is represented so
    // that K F(t) is c t^B to 1e-8 up to it.
    double shownUpTo = std::max({std::exp(d.maxLogT), s.tGar, s.Sred + 10 * s.SKO});
    for (double t : options.mcfTimes)
        shownUpTo = std::max(shownUpTo, t);
    const bool limitWins = limit.ll > f.ll;
    const bool atLimit = limit.ll >= f.ll - kLimitTolerance;
    if (limitWins) {
        f.p = limit.p;
        const double B = std::exp(limit.p.b);
        f.p.u = std::log(shownUpTo) + std::log(1e8) / B;
        f.logK = logCHat(d, limit.p) + B * f.p.u;
        f.ll = limit.ll;
        f.success = limit.success;
    }
    r.powerLaw.loglik = limit.ll;
    r.powerLaw.B = std::exp(limit.p.b);
    r.powerLaw.c = std::exp(logCHat(d, limit.p));

    const double B = std::exp(f.p.b);
    r.A = std::exp(-B * f.p.u);
    r.B = B;
    r.K_powtor = std::exp(f.logK);
    r.Sred = f.p.mu;
    r.SKO = std::exp(f.p.s);
    r.loglik = f.ll;
    r.converged = f.success;
    r.parameters = 3 + (r.fittedSred ? 1 : 0) + (r.fittedSKO ? 1 : 0);
    r.aic = 2 * r.parameters - 2 * r.loglik;
    if (!std::isfinite(r.A) || !std::isfinite(r.B) || !std::isfinite(r.K_powtor) || !(r.loglik > kPenalty) ||
        !std::isfinite(r.SKO) || !std::isfinite(r.Sred) || r.A <= 0 || r.K_powtor <= 0)
        throw Error("Не удалось подобрать модель максимального правдоподобия: правдоподобие не вычисляется");

    // Why K, A and eta are no estimates, if they are not.
    using Reason = warning::NotEstimable::Reason;
    std::optional<warning::NotEstimable> notEstimable;
    double uLo, uHi, bLo, bHi;
    boundsOf(d, 0, uLo, uHi);
    boundsOf(d, 1, bLo, bHi);
    if (atLimit)
        notEstimable = warning::NotEstimable{Reason::PowerLawLimit, r.powerLaw.B};
    else if (f.p.u >= uHi - 1e-4 || f.p.u <= uLo + 1e-4)
        notEstimable = warning::NotEstimable{Reason::EtaOnBound, std::exp(f.p.u), kEtaMin, kEtaMax};
    else if (f.p.b >= bHi - 1e-4 || f.p.b <= bLo + 1e-4)
        notEstimable = warning::NotEstimable{Reason::BOnBound, B, kBMin, kBMax};
    else if (r.K_powtor > kKMax || r.K_powtor < kKMin)
        notEstimable = warning::NotEstimable{Reason::KOutOfRange, r.K_powtor, kKMin, kKMax};
    r.estimable = !notEstimable;

    std::vector<double> mcfTimes{s.tGar > 0 ? s.tGar : s.Sred};
    mcfTimes.insert(mcfTimes.end(), options.mcfTimes.begin(), options.mcfTimes.end());
    const Weibull law{B, f.p.u};
    auto mcfEstimate = [&](double t) { return r.K_powtor * -std::expm1(-law.hazard(t)); };

    if (!options.intervals) {
        r.A_ci.estimate = r.A;
        r.B_ci.estimate = r.B;
        r.K_ci.estimate = r.K_powtor;
        r.eta_ci.estimate = std::exp(f.p.u);
        for (double t : mcfTimes)
            r.mcf.push_back({t, LikelihoodInterval{mcfEstimate(t), {}, {}}});
        if (r.fittedSred) r.Sred_ci = LikelihoodInterval{r.Sred, {}, {}};
        if (r.fittedSKO) r.SKO_ci = LikelihoodInterval{r.SKO, {}, {}};
    } else {
        Intervals iv(d, f, limit);
        auto interval = [&](Quantity q, double t0 = 0) {
            const LikelihoodInterval ci = iv.interval(q, t0);
            steps.next();
            return ci;
        };
        r.B_ci = interval(Quantity::B);
        r.A_ci = interval(Quantity::A);
        r.eta_ci = interval(Quantity::Eta);
        r.K_ci = interval(Quantity::K);
        for (double t : mcfTimes)
            r.mcf.push_back({t, interval(Quantity::Mcf, t)});
        if (r.fittedSred) r.Sred_ci = interval(Quantity::Sred);
        if (r.fittedSKO) r.SKO_ci = interval(Quantity::SKO);
        // The steps of a law that was searched but not kept.
        for (long long k = (r.fittedSred ? 1 : 0) + (r.fittedSKO ? 1 : 0); k < lawSteps; ++k)
            steps.next();

        if (r.estimable) {
            describe(r.K_ci, Estimate::K, true, r.warnings);
            describe(r.A_ci, Estimate::A, false, r.warnings);
        }
        describe(r.B_ci, Estimate::B, true, r.warnings);
        if (r.estimable) describe(r.eta_ci, Estimate::Eta, true, r.warnings);
        for (const auto& m : r.mcf)
            describe(m.value, Estimate::Mcf, true, r.warnings, m.time);
        if (r.Sred_ci) describe(*r.Sred_ci, Estimate::CensoringMean, false, r.warnings);
        if (r.SKO_ci) describe(*r.SKO_ci, Estimate::CensoringSD, true, r.warnings);
    }
    if (notEstimable) r.warnings.insert(r.warnings.begin(), *notEstimable);
    if (!r.converged) r.warnings.insert(r.warnings.begin(), warning::NotConverged{});
    r.gof = goodness(s, f, d.N, r.parameters);
    if (r.gof.cells > 0) {
        if (!r.gof.pValue)
            r.warnings.push_back(warning::FitNotJudged{r.gof.cells, r.parameters});
        else if (*r.gof.pValue < kLackOfFit)
            r.warnings.push_back(warning::LackOfFit{*r.gof.pValue, kLackOfFit});
    }
    return r;
}

std::vector<McfPoint> likelihoodBand(const Analysis& s, const LikelihoodFit& fit,
                                     const std::vector<double>& times) {
    for (double t : times)
        if (!(t > 0) || !std::isfinite(t))
            throw Error("Время, при котором оценивается K·F(t), должно быть больше 0 (задано " +
                        formatFourDigits(t, fit.numbers) + ")");
    if (!(fit.A > 0) || !(fit.B > 0) || !(fit.K_powtor > 0) || !(fit.SKO > 0))
        throw Error("Модель максимального правдоподобия еще не построена");
    const Data d = prepare(s, fit.fittedSred, fit.fittedSKO, fit.numbers);
    const Fitted f = fittedFrom(fit);
    const LimitFit limit{
        {0, std::log(fit.powerLaw.B), fit.Sred, std::log(fit.SKO)}, fit.powerLaw.loglik, true};
    Intervals iv(d, f, limit);
    std::vector<McfPoint> out;
    for (double t : times)
        out.push_back({t, iv.interval(Quantity::Mcf, t)});
    return out;
}

} // namespace relan
