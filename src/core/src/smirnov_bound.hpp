#pragma once

// The algebra of the Smirnov estimate's error bound: how far the estimate,
// made with vector exponentials, derived powers and reordered sums, can lie
// from the sum the exact evaluation computes. docs/smirnov-bound.md derives
// each term and names the source of each constant; a constant changed here
// must be derived there first, or the fit's decisions may change silently.

#include "relan/criteria.hpp"
#include "relan/smirnov_estimate.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

namespace relan::smirnov {

// The unit roundoff of double and the slack every bound is evaluated with
// in its own favour: more than the dozen roundings of any one formula.
constexpr double kU = std::numeric_limits<double>::epsilon() / 2;
constexpr double kUp = 1 + 64 * kU;
constexpr double kDown = 1 - 64 * kU;
// Sums and K beyond this are not bounded (nothing there overflows).
constexpr double kHuge = 1e100;

// Higham's gamma(n) = n u / (1 - n u), from above, for n u <= 1/2.
inline double gammaOf(double n) {
    return n * kU * (1 + 2 * n * kU) * kUp;
}

// What the exact evaluation's library functions may be off by (pow and
// exp within 1 ulp) and what the vector exponential may be off by (4 ulp),
// each relative and with room to spare.
constexpr double kLibraryError = 2 * kU;
constexpr double kVectorError = 16 * kU;
// What the vector exponential of a fresh law leaves in e = exp(-(A p)),
// its own error and that of the product A p: e^-z z u <= u / e.
inline const double kFreshExpError = kVectorError + 1.01 * kU / std::exp(1.0);

// 1/k! to the nearest double.
inline constexpr double kInverseFactorial[] = {1.0,         1.0,          1.0 / 2,      1.0 / 6,
                                               1.0 / 24,    1.0 / 120,    1.0 / 720,    1.0 / 5040,
                                               1.0 / 40320, 1.0 / 362880, 1.0 / 3628800};

// The ranges |z| <= Z on which expm1 is its Taylor polynomial of degree D
// to well within an ulp: Z^(D+1) / (D+1)! <= u / 2.
struct NearRange {
    double Z;
    int degree;
};
inline constexpr NearRange kNearRanges[] = {
    {0x1p-13, 3}, {0x1p-10, 4}, {0x1p-8, 5}, {0x1p-6, 6}, {0x1p-4, 8}};

// The narrowest range that holds Z, or null beyond the widest.
const NearRange* nearRangeFor(double Z);
// The Taylor polynomial's remainder on |z| <= r.Z, with e^Z.
double nearRemainder(const NearRange& r);
// How far exp(-(A p)) made from exp(-(A0 p0)) within err0 by the range's
// polynomial may lie from its exact value.
double nearError(const NearRange& r, double err0);
// The polynomial expm1's remainder for |x| <= Z; infinite beyond the
// widest range.
double expm1SmallError(double Z);

// Relative error of x^B made as exp(B ln x) by the vector exponential,
// |B| Lmax >= |B ln x|.
double freshPowerError(double B, double Lmax);
// x^(B + h) as x^B (1 + expm1(h ln x)) with y = |h| Lmax >= |h ln x|: the
// range Z the small expm1 is asked for, and the product's added relative
// error.
struct PowerStep {
    double Z = 0, step = 0;
};
PowerStep powerStep(double y);
// The relative error of a power with base error baseRel after one step.
double chainedPowerError(double baseRel, double step);

// Absolute bound of |F estimated - F exact| through A x^B and the
// exponential, with powers of relative error `rel`.
double errorOfF(double rel);
// epsF widened by what exponentials derived from a nearby law add beyond
// fresh ones (nearErr < 0: fresh exponentials).
double lawErrorOfF(double epsF, bool near, double nearErr);
// The one increment at the second half's first time whose F each half
// makes for itself.
inline double junctionFlat(double eps, double inWarr) {
    return 2 * eps * inWarr;
}

// At least every power x^B of powers of relative error rel: the latest
// time's (log Lpos).
double powerCeiling(double B, double Lpos, double rel);
// Twice the largest |A p - A0 p0| a law (A, B) near the root (A0, B0) may
// ask of the near polynomial: the choice of its range, each lane being
// checked as it is made.
double nearReach(double dA, double pmax, double A0, double pmax0, double dB, double Lmax);

// |C~(k) - C(k)| <= a + b C~(k) for the estimate's running sums C~ against
// the exact evaluation's, over G groups.
struct RunningSumBound {
    double a = 0, b = 0;
};
RunningSumBound runningSumBound(double Izd, double eps, double variation, double G, double flat0,
                                double flat1);

// What the estimate's sum of squares S at K and the running sums' T and
// bound (a, b) tell about sqrt(S^) of the exact evaluation over m failures
// in G groups (cubes >= sum n^3): not usable where nothing is known.
struct LawSums {
    double T = 0, a = 0, b = 0;
    bool finite = false;
};
SmirnovBounds enclose(double S, double K, const LawSums& l, std::size_t m, std::size_t G, double cubes,
                      const SmirnovKBound& rb);

// T and N of the exact running sums from the estimate's, with sumC the
// sum of C~: q from smirnovRoundingBound, filled in or made not usable.
SmirnovKBound quadraticBound(SmirnovKBound q, const LawSums& l, double N, double sumC, std::size_t m,
                             std::size_t G);

} // namespace relan::smirnov
