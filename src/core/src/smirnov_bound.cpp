#include "smirnov_bound.hpp"

#include <algorithm>

// Each formula below is derived term by term in docs/smirnov-bound.md;
// the brackets name its sections.
namespace relan::smirnov {

const NearRange* nearRangeFor(double Z) {
    for (const NearRange& r : kNearRanges)
        if (Z <= r.Z) return &r;
    return nullptr;
}

// [§3 The near ranges] Z^(D+1) / (D+1)! times e^Z <= 1.07 for Z <= 1/16.
double nearRemainder(const NearRange& r) {
    double t = 1.07;
    for (int k = 1; k <= r.degree + 1; ++k)
        t *= r.Z;
    return t * kInverseFactorial[r.degree + 1] * kUp;
}

// [§3 nearError] With e0 within err0 of exp(-(A0 p0)) and every
// |z| <= Z: e~ - e = (e0~ - e0)(1 + m~) + e0 (m~ - expm1(z)) + the rounding
// of e~, where |m~| <= 1.07 Z; m~ is off the polynomial at z~ by its Horner
// rounding (within 2.2 u Z), the polynomial off expm1 by its remainder,
// and z~ off z by its four roundings (within 2.6 u Z, times e^Z).
double nearError(const NearRange& r, double err0) {
    return (err0 * (1 + 1.07 * r.Z) + 1.1 * kU + 11 * kU * r.Z + nearRemainder(r)) * kUp;
}

double expm1SmallError(double Z) {
    const NearRange* r = nearRangeFor(Z);
    return r == nullptr ? std::numeric_limits<double>::infinity() : nearRemainder(*r);
}

// [§1 Fresh powers] x^B as exp(B ln x): the exponent carries |B ln x| times
// the rounding of ln x and of the product.
double freshPowerError(double B, double Lmax) {
    return std::fabs(B) * Lmax * 3.01 * kU + kVectorError;
}

// [§1 Derived powers] m = expm1(h ln x) has |m| <= M = y (1 + y). The
// polynomial expm1 is within 2.3 u |h ln x| and its remainder, the exponent
// h ln x within 3 roundings of y, which moves m by y e^y of them; relative
// to x^h = 1 + m both shrink by 1 - M. The product with its one rounding
// adds u.
PowerStep powerStep(double y) {
    PowerStep p;
    p.Z = y * kUp;
    const double M = y * (1 + y) * kUp;
    p.step = (1.01 * kU + (2.3 * kU * y + expm1SmallError(p.Z) + y * 3.01 * kU * 1.02) / (1 - M)) * kUp;
    return p;
}

double chainedPowerError(double baseRel, double step) {
    return baseRel + step + baseRel * step;
}

// [§1 F] Through A x^B and exp(-A x^B) into F = 1 - exp(-A x^B) an
// error of relative d in A x^B moves F by at most exp(-z) z d <= d / e.
double errorOfF(double rel) {
    const double fast = (rel + 1.01 * kU) / std::exp(1.0) + kVectorError + 1.01 * kU;
    const double exact = (kLibraryError + 1.01 * kU) / std::exp(1.0) + kLibraryError + 1.01 * kU;
    return 1.1 * (fast + exact);
}

double lawErrorOfF(double epsF, bool near, double nearErr) {
    return epsF + (near ? 1.1 * std::max(0.0, nearErr - kFreshExpError) : 0.0);
}

double powerCeiling(double B, double Lpos, double rel) {
    return std::exp(B * Lpos) * (1 + 2 * rel + 1e-12);
}

double nearReach(double dA, double pmax, double A0, double pmax0, double dB, double Lmax) {
    const double zA = std::fabs(dA) * pmax * kUp;
    // What A0 (p - p0) will come to, for the choice of the polynomial only:
    // each lane is checked as it is made.
    const double zB = A0 * pmax0 * std::expm1(std::fabs(dB) * Lmax) * 1.01;
    return 2 * std::max(zA, zB);
}

// [§2] The errors of F telescope through the shares under
// warranty (their total variation), the flat increments count whole, and
// the roundings of the increments and running sums grow with C.
RunningSumBound runningSumBound(double Izd, double eps, double variation, double G, double flat0,
                                double flat1) {
    RunningSumBound r;
    r.a = (Izd * (eps * (variation + 2 * kU * G) + flat0 + flat1) * (1 + 8 * kU) + G * 1e-300) * 1.01;
    const double gG = gammaOf(G);
    r.b = (gG / (1 - gG) + 7.5 * kU) * 1.01;
    return r;
}

// [§4]
SmirnovBounds enclose(double S, double K, const LawSums& l, std::size_t m, std::size_t G, double cubes,
                      const SmirnovKBound& rb) {
    SmirnovBounds r;
    if (!l.finite || !rb.usable || !(K > 0 && K < kHuge)) return r;
    if (!std::isfinite(S) || S > kHuge) return r;
    const double md = static_cast<double>(m);
    const double rootM = std::sqrt(md) * kUp;
    // T and S were summed over the groups in some order and then over the
    // two halves.
    const double gSum = gammaOf(static_cast<double>(G) + 2);
    const double normC = std::sqrt(l.T * (1 + 2 * gSum)) * kUp;
    // S~ is the sum of the squares of the deviations D' that the computed
    // group offsets give, within a relative rhoS.
    const double rhoS = gSum + 8 * kU;
    const double rt = std::sqrt(S);
    const double dpLo = rt / std::sqrt(1 + rhoS) * kDown;
    const double dpHi = rt / std::sqrt(1 - rhoS) * kUp;
    // D' against the deviations of the exact running sums: the group
    // offsets' own rounding, and the running sums' distance a + b C.
    const double ea = kU * (dpHi + std::sqrt(cubes * (1 + gSum)) + 2 * K * normC) * kUp;
    const double e1 = K * (l.a * rootM + l.b * normC) * kUp;
    const double Dlo = std::max(0.0, (dpLo - ea - e1) * kDown);
    const double Dhi = (dpHi + ea + e1) * kUp;
    // The exact evaluation's own rounding around those deviations.
    const double normCexact = (normC * (1 + l.b) + l.a * rootM) * kUp;
    // (An underflow costs at most 1e-323 a step, far below 1e-300.)
    const double spread = (rb.G * K * normCexact + md * 1e-300 * (1 + K)) * kUp;
    const double rLo = std::max(0.0, (Dlo * (1 - kU) - spread) * kDown);
    const double rHi = (Dhi * (1 + kU) + spread) * kUp;
    r.lo = rLo * std::sqrt(1 - rb.gammaM) * kDown;
    r.hi = rHi * std::sqrt(1 + rb.gammaM) * kUp;
    r.normHi = Dhi;
    r.usable = std::isfinite(r.hi);
    return r;
}

// [§5]
SmirnovKBound quadraticBound(SmirnovKBound q, const LawSums& l, double N, double sumC, std::size_t m,
                             std::size_t G) {
    if (!q.usable || !l.finite || !(l.T > 0 && N > 0)) {
        q.usable = false;
        return q;
    }
    const double md = static_cast<double>(m);
    const double Gd = static_cast<double>(G);
    // T and N over the exact running sums C, from |C~ - C| <= a + b C~,
    // with the rounding of their own sums over the groups.
    const double a = l.a, b = l.b;
    const double errT = (2 * a * sumC + (2 * b + b * b) * l.T + md * a * a + 2 * a * b * sumC) * kUp +
                        gammaOf(3 * Gd + 4) * l.T;
    const double P1 = md * (md + 1) / 2;
    const double errN = (a * P1 + b * N) * kUp + gammaOf(3 * Gd + 4) * N;
    if (!(errT < l.T / 2 && errN < N / 2)) {
        q.usable = false;
        return q;
    }
    const double rho = std::max(errT / (l.T - errT), errN / (N - errN)) * 1.01;
    q.T = l.T;
    q.N = N;
    q.rho = rho;
    q.normC = std::sqrt(l.T * (1 + 2 * rho)) * kUp;
    return q;
}

} // namespace relan::smirnov
