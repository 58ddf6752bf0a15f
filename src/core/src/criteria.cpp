#include "relan/criteria.hpp"

#include "relan/histogram.hpp"
#include "relan/special.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace relan {
namespace {

double pearsonTerm(PearsonVariant v, double O, double E, double Fw) {
    switch (v) {
    case PearsonVariant::Standard: {
        if (E == 0) return O == 0 ? 0.0 : std::numeric_limits<double>::infinity();
        const double r = (O - E) / E;
        return r * r;
    }
    case PearsonVariant::Spec1:
        return (O - E) * (O - E);
    case PearsonVariant::Spec2: {
        const double r = (O - E) * Fw;
        return r * r;
    }
    }
    return 0;
}

// weibCDF with X^B supplied, so that cached powers give the same value.
double weibFromPow(double A, double B, double powXB) {
    double w = 0;
    if (A > 0 && B > 0) w = 1 - std::exp(-A * powXB);
    return w > 0 ? w : 1e-305;
}

// weibCDF2 from the two single-point values, as weibCDF2 computes it.
double weibIncrement(double A, double B, double F1, double F2) {
    if (A <= 0 || B <= 0) return 0;
    double d = F2 - F1;
    if (d < 0) d = 1e-305;
    return d;
}

} // namespace

double Pirson(const Analysis& s, double A, double B, double k_pwt, double Mu, double Sig, Mod_Weib& Mpir,
              PearsonVariant variant) {
    const auto& h = s.Hist_Arr;
    double prev = 0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        Mpir.F_norm[i] = CDF_Gauss(Mu, Sig, (h[i].time + prev) / 2);
        prev = h[i].time;
    }
    double sum = 0;
    double total = 0;
    prev = 0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        Mpir.F_Weib[i] = weibCDF2(A, B, prev, h[i].time);
        const double E = s.Izd_Prived * k_pwt * Mpir.F_Weib[i] * (1 - Mpir.F_norm[i]);
        Mpir.Kol_F_priv[i] = E;
        total += E;
        sum += pearsonTerm(variant, h[i].Sum, E, Mpir.F_Weib[i]);
        prev = h[i].time;
    }
    const double last = s.Kol_izw - total;
    return sum + last * last;
}

PearsonCriterion::PearsonCriterion(const Analysis& s, PearsonVariant variant) : s_(s), variant_(variant) {
    const auto& h = s.Hist_Arr;
    IntervalBounds b = intervalBounds(h);
    t_ = std::move(b.t);
    observed_ = std::move(b.observed);
    powB_.resize(t_.size());
    F_.resize(t_.size());
    G_.resize(h.size());
}

double PearsonCriterion::operator()(double A, double B, double k_pwt, double Mu, double Sig, Mod_Weib& Mpir) {
    const std::size_t n = observed_.size();
    if (!haveG_ || Mu != cachedMu_ || Sig != cachedSig_) {
        for (std::size_t i = 0; i < n; ++i)
            G_[i] = CDF_Gauss(Mu, Sig, (t_[i + 1] + t_[i]) / 2);
        cachedMu_ = Mu;
        cachedSig_ = Sig;
        haveG_ = true;
    }
    if (!haveB_ || B != cachedB_) {
        for (std::size_t i = 0; i < t_.size(); ++i)
            powB_[i] = std::pow(t_[i], B);
        cachedB_ = B;
        haveB_ = true;
        haveF_ = false;
    }
    if (!haveF_ || A != cachedA_) {
        for (std::size_t i = 0; i < t_.size(); ++i)
            F_[i] = weibFromPow(A, B, powB_[i]);
        cachedA_ = A;
        haveF_ = true;
    }
    double sum = 0;
    double total = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double Fw = weibIncrement(A, B, F_[i], F_[i + 1]);
        const double E = s_.Izd_Prived * k_pwt * Fw * (1 - G_[i]);
        Mpir.F_norm[i] = G_[i];
        Mpir.F_Weib[i] = Fw;
        Mpir.Kol_F_priv[i] = E;
        total += E;
        sum += pearsonTerm(variant_, observed_[i], E, Fw);
    }
    const double last = s_.Kol_izw - total;
    return sum + last * last;
}

double Pirson_ZFGen(const Analysis& s, double A, double B, double k_pwt, double Mu, double Sig,
                    Mod_Weib& target) {
    const auto& h = s.Hist_Arr;
    double prev = 0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        target.F_norm[i] = CDF_Gauss(Mu, Sig, (prev + h[i].time) / 2);
        prev = h[i].time;
    }
    double sum = 0;
    double q = 0;
    target.Kol_Nakopl = 0;
    prev = 0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        target.F_Weib[i] = weibCDF2(A, B, prev, h[i].time);
        const double E = s.Izd_Prived * k_pwt * target.F_Weib[i] * (1 - target.F_norm[i]);
        target.Kol_F_priv[i] = E;
        target.Kol_Nakopl += E;
        const double d = h[i].Sum - E;
        q += d * d;
        sum += d * d * target.F_Weib[i];
        prev = h[i].time;
    }
    target.SKO_out = std::sqrt(q) / s.Kol_izw;
    const double last = s.Kol_izw - target.Kol_Nakopl;
    double result = sum + last * last;
    const double kTop = s.Alim[1][3] + s.Alim[2][3];
    if (k_pwt > kTop) result *= (k_pwt / kTop) * (k_pwt / kTop);
    return result;
}

double Smirnow(const Analysis& s, double A, double B, double K_powt, double /*Mu*/, double /*Sig*/) {
    double sum = 0;
    double cum = 0;
    double prev = 0;
    for (std::size_t k = 0; k < s.MasProbl.size(); ++k) {
        const double x = s.MasProbl[k].time;
        cum += weibCDF2(A, B, prev, x) * (1 - s.models[ModelId::Smirnov].F_norm[k]) * s.Izd_Prived * K_powt;
        const double d = static_cast<double>(k + 1) - cum;
        sum += d * d;
        prev = x;
    }
    return std::sqrt(sum) / s.Kol_izw;
}

SmirnovCriterion::SmirnovCriterion(const Analysis& s, SplitInTwo* split)
    : s_(s), ownSplit_(split ? nullptr : std::make_unique<SplitInTwo>()),
      split_(split ? split : ownSplit_.get()) {
    const std::size_t m = s.MasProbl.size();
    inWarr_.resize(m);
    for (std::size_t k = 0; k < m; ++k)
        inWarr_[k] = 1 - s.models[ModelId::Smirnov].F_norm[k];
    // Times with equal bits give equal powers and equal F, so each is
    // computed once; the sorted times bring equal ones together.
    timeOf_.resize(m + 1);
    auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    double prev = 0;
    x_.push_back(prev);
    for (std::size_t k = 0; k < m; ++k) {
        const double x = s.MasProbl[k].time;
        if (bits(x) != bits(prev)) x_.push_back(x);
        timeOf_[k + 1] = x_.size() - 1;
        prev = x;
    }
    F_.resize(x_.size());
}

const SmirnovCriterion::Powers& SmirnovCriterion::powersFor(double B) {
    for (std::size_t i = 0; i < powers_.size(); ++i)
        if (powers_[i].valid && powers_[i].B == B) {
            lastPowers_ = i;
            return powers_[i];
        }
    lastPowers_ = (lastPowers_ + 1) % powers_.size();
    Powers& p = powers_[lastPowers_];
    p.pow.resize(x_.size());
    split_->run(x_.size(), [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            p.pow[i] = std::pow(x_[i], B);
    });
    p.B = B;
    p.valid = true;
    return p;
}

SmirnovCriterion::Law* SmirnovCriterion::find(double A, double B) {
    for (Law& l : laws_)
        if (l.valid && l.A == A && l.B == B) {
            l.used = ++clock_;
            return &l;
        }
    return nullptr;
}

SmirnovCriterion::Law& SmirnovCriterion::newLaw(double A, double B) {
    Law* slot = &laws_[0];
    for (Law& l : laws_)
        if (!l.valid || l.used < slot->used) slot = &l;
    Law& law = *slot;
    law.valid = false;
    const std::vector<double>& powB = powersFor(B).pow;
    const std::size_t m = inWarr_.size();
    law.weighted.resize(m);
    split_->run(x_.size(), [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            F_[i] = weibFromPow(A, B, powB[i]);
    });
    // The increments are each their own; only the sums run in order.
    split_->run(m, [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k)
            law.weighted[k] =
                weibIncrement(A, B, F_[timeOf_[k]], F_[timeOf_[k + 1]]) * inWarr_[k] * s_.Izd_Prived;
    });
    law.A = A;
    law.B = B;
    law.valid = true;
    law.used = ++clock_;
    return law;
}

const SmirnovCriterion::Law& SmirnovCriterion::lawOf(double A, double B) {
    if (const Law* law = find(A, B)) return *law;
    return newLaw(A, B);
}

namespace {

// The sums of Smirnow's loop at `lanes` values of K side by side, each lane
// taking the steps of that loop in its order.
template <std::size_t lanes> void sumsAtK(const std::vector<double>& weighted, const double* K, double* sum) {
    double cum[lanes] = {}, s[lanes] = {};
    for (std::size_t k = 0; k < weighted.size(); ++k) {
        const double w = weighted[k];
        const double r = static_cast<double>(k + 1);
        for (std::size_t i = 0; i < lanes; ++i) {
            cum[i] += w * K[i];
            const double d = r - cum[i];
            s[i] += d * d;
        }
    }
    for (std::size_t i = 0; i < lanes; ++i)
        sum[i] = s[i];
}

} // namespace

void SmirnovCriterion::atK(double A, double B, const double* K, double* value, std::size_t n) {
    if (n == 0) return;
    const std::vector<double>& weighted = lawOf(A, B).weighted;
    double sum[kAtOnce] = {};
    if (n == 1) {
        sumsAtK<1>(weighted, K, sum);
    } else {
        // Lanes beyond n repeat the first K and are not read.
        double Ks[kAtOnce];
        for (std::size_t i = 0; i < kAtOnce; ++i)
            Ks[i] = K[i < n ? i : 0];
        sumsAtK<kAtOnce>(weighted, Ks, sum);
    }
    for (std::size_t i = 0; i < n && i < kAtOnce; ++i)
        value[i] = valueOf(sum[i]);
}

double SmirnovCriterion::valueOf(double sum) const {
    return std::sqrt(sum) / s_.Kol_izw;
}

double SmirnovCriterion::operator()(double A, double B, double K_powt) {
    double value = 0;
    atK(A, B, &K_powt, &value, 1);
    return value;
}

// The rounding bound along K.
//
// At fixed A and B the evaluation computes, for the weighted increments w(k)
// (non-negative doubles) and c(k) = K w(0) + ... + K w(k) by a running sum,
// S^ = sum over k of (k + 1 - c^(k))^2, and returns fl(fl(sqrt(S^)) / Kol_izw).
// Exactly, with C(k) = w(0) + ... + w(k) and D(k) = k + 1 - K C(k), the sum
// is S = |D|^2 = r^2, a convex quadratic in K. Standard error analysis of
// each rounding (relative u, no underflow or overflow, which the limits below
// ensure) gives |d^(k) - D(k)| <= u |D(k)| + G K C(k) with G = (1 + u) gamma(m)
// for the computed deviations d^, hence |d^| within e = u r + G K |C| of r,
// and (1 - gamma(m)) |d^|^2 <= S^ <= (1 + gamma(m)) |d^|^2.
//
// Between two points K0, K1 with norms r0, r1 <= R, writing
// lambda - 1 = 2 gamma(m) + 16 u, a difference |r1 - r0| greater than
// (lambda - 1) R + lambda (e0 + e1) decides the comparison of the computed
// sums: a fall makes S^1 < (1 - 16 u) S^0, which stays a strict fall through
// the square root and the division (each rounds by at most u); a rise makes
// S^1 >= S^0, which no monotone rounding can turn into a fall. And
// |r1 - r0| = |S1 - S0| / (r0 + r1) >= |S1 - S0| / (2 R), where
// S1 - S0 = (K1 - K0) (T (K0 + K1) - 2 N) with T = |C|^2 and N = sum (k+1) C(k)
// is computed from T and N, known to a relative rho, with its own bound.
// Every bound is evaluated with a slack of 64 u in its own favour, more than
// the dozen roundings of its formula can take away.
namespace {

constexpr double kU = std::numeric_limits<double>::epsilon() / 2;
constexpr double kUp = 1 + 64 * kU;
constexpr double kDown = 1 - 64 * kU;
// Largest sum and range of K under which no step of the evaluation
// overflows.
constexpr double kHugeSum = 1e100;
constexpr double kKmin = 1e-20;
constexpr double kKmax = 1e20;

// gamma(n) = n u / (1 - n u), from above, for n u <= 1/2.
double gammaOf(double n) {
    return n * kU * (1 + 2 * n * kU) * kUp;
}

} // namespace

SmirnovKBound smirnovRoundingBound(std::size_t m, double Kol_izw) {
    SmirnovKBound b;
    const double md = static_cast<double>(m);
    b.usable = m > 0 && Kol_izw > 0 && md * kU < 1e-7;
    // Running sum of k + 1 terms, a square, a sum of m squares.
    b.rho = gammaOf(3 * md + 2);
    b.gammaM = gammaOf(md);
    b.G = gammaOf(md) * (1 + kU) * kUp;
    b.kappa = Kol_izw;
    return b;
}

double smirnovNormBound(const SmirnovKBound& b, double K, double value) {
    if (!b.usable || !(value >= 0 && value <= kHugeSum)) return std::numeric_limits<double>::infinity();
    // value = fl(fl(sqrt(S^)) / kappa) gives sqrt(S^) <= value kappa / (1 - u)^2, and
    // S^ >= (1 - gamma(m)) (r - e)^2 gives r <= (sqrt(S^) (1 + gamma(m)) + G K |C|) / (1 - u).
    return (value * b.kappa * (1 + b.gammaM) + b.G * K * b.normC) * kUp;
}

SmirnovMove smirnovAlongK(const SmirnovKBound& b, double K0, double K1, double R0) {
    if (!b.usable || !(K0 >= kKmin && K0 <= kKmax && K1 >= kKmin && K1 <= kKmax && R0 <= kHugeSum))
        return SmirnovMove::Unknown;
    const double h = std::fabs(K1 - K0); // within u of the exact difference
    if (h == 0) return SmirnovMove::Unknown;
    const double P = b.T * (K0 + K1);
    const double twoN = 2 * b.N;
    const double v = P - twoN; // (S1 - S0) / (K1 - K0), to within errV
    const double errV = ((2 * b.rho + 8 * kU) * (P + twoN) + 2 * kU * std::fabs(v)) * kUp;
    if (!(std::fabs(v) > errV)) return SmirnovMove::Unknown;
    const double change = h * (std::fabs(v) - errV) * kDown; // <= |S1 - S0|
    const double R = (R0 + h * b.normC) * kUp;               // >= r0 and r1
    const double e0e1 = 2 * kU * R + b.G * (K0 + K1) * b.normC;
    const double lambda1 = 2 * b.gammaM + 16 * kU;
    const double noise = 2 * R * (lambda1 * R + (1 + lambda1) * e0e1) * kUp;
    if (!(change > noise)) return SmirnovMove::Unknown;
    return (K1 > K0) != (v > 0) ? SmirnovMove::Falls : SmirnovMove::DoesNotFall;
}

// A run of n steps is settled at once by the step test above taken at the
// run's worst corner: every sum K0 + K1 of the run lies within the run's
// span, so P within its ends; |v| is least at the end nearer the vertex;
// a step is no shorter than h less the rounding of K; R, e0e1 and the
// noise are largest at the far end. K accumulates by repeated additions,
// each rounding by u |K|, which widens the span.
long long smirnovRunAlongK(const SmirnovKBound& b, double K0, double h, double R0, long long nMax) {
    if (!b.usable || !(h != 0 && std::isfinite(h) && R0 <= kHugeSum && K0 >= kKmin && K0 <= kKmax)) return 0;
    const double twoN = 2 * b.N;
    const double lambda1 = 2 * b.gammaM + 16 * kU;
    auto settled = [&](long long n) {
        const double nd = static_cast<double>(n);
        const double end = K0 + nd * h;
        const double reach = std::fabs(K0) + nd * std::fabs(h);
        const double drift = (nd * kU * reach * 1.01 + 2 * kU * reach) * kUp;
        const double Klo = (std::min(K0, end) - std::fabs(h) - drift) * kDown;
        const double Khi = (std::max(K0, end) + std::fabs(h) + drift) * kUp;
        if (!(Klo >= kKmin && Khi <= kKmax)) return false;
        const double Pmin = b.T * (2 * Klo) * kDown;
        const double Pmax = b.T * (2 * Khi) * kUp;
        // A fall along h > 0 needs v < 0 at every step, along h < 0 v > 0.
        const double vmin = (h > 0 ? twoN - Pmax : Pmin - twoN) * kDown;
        if (!(vmin > 0)) return false;
        const double margin = (vmin * (1 - 2 * kU) - (2 * b.rho + 8 * kU) * (Pmax + twoN) * kUp) * kDown;
        if (!(margin > 0)) return false;
        const double hmin = (std::fabs(h) - kU * Khi * 1.01) * kDown;
        const double hmax = (std::fabs(h) + kU * Khi * 1.01) * kUp;
        if (!(hmin > 0)) return false;
        const double change = hmin * margin * kDown;
        const double R = (R0 + hmax * b.normC) * kUp;
        const double e0e1 = (2 * kU * R + b.G * (2 * Khi) * b.normC) * kUp;
        const double noise = 2 * R * (lambda1 * R + (1 + lambda1) * e0e1) * kUp;
        return change > noise;
    };
    if (nMax < 1 || !settled(1)) return 0;
    long long lo = 1, hi = 2;
    while (hi <= nMax && settled(hi)) {
        lo = hi;
        hi *= 2;
    }
    hi = std::min(hi, nMax + 1);
    while (hi - lo > 1) {
        const long long mid = lo + (hi - lo) / 2;
        (settled(mid) ? lo : hi) = mid;
    }
    return lo;
}

void Kolmogor(const Analysis& s, double Kpwt, double A, double B, double Mu, double Sig, double& KolmCrt,
              std::string& S) {
    const std::size_t m = s.MasProbl.size();
    double D = 0;
    double Fe = 0;
    double cum = 0;
    double Fprev = 0;
    for (std::size_t k = 0; k < m; ++k) {
        const double x = s.MasProbl[k].time;
        Fe += 1.0 / static_cast<double>(m);
        const double Fk = weibCDF(A, B, x);
        cum += (Fk - Fprev) * (1 - CDF_Gauss(Mu, Sig, x));
        const double Ft = cum * s.Izd_Prived * Kpwt / s.Kol_izw;
        Fprev = Fk;
        if (std::fabs(Fe - Ft) > D) D = std::fabs(Fe - Ft);
    }
    KolmCrt = D * std::sqrt(static_cast<double>(m));
    S = KolmCrt < kKolmogorovCritical ? " <1.3581(0.05)" : " >1.3581(0.05)";
}

} // namespace relan
