#include "relan/smirnov_estimate.hpp"

#include "relan/criteria.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
// The vector exponentials of the C library (libmvec), within 4 ulp.
extern "C" __m128d _ZGVbN2v_exp(__m128d);
extern "C" __m256d _ZGVdN4v_exp(__m256d);
#endif

namespace relan {
namespace {

constexpr double kU = std::numeric_limits<double>::epsilon() / 2;
constexpr double kUp = 1 + 64 * kU;
constexpr double kDown = 1 - 64 * kU;
constexpr double kHuge = 1e100;

double gammaOf(double n) {
    return n * kU * (1 + 2 * n * kU) * kUp;
}

#if defined(__x86_64__)
// y = f(x) elementwise by libmvec's vector form of f, the tail by the scalar one.
template <__m256d (*Vector)(__m256d), double (*Scalar)(double)>
__attribute__((target("avx2,fma"))) void mapAvx2(const double* x, double* y, std::size_t n) {
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        _mm256_storeu_pd(y + i, Vector(_mm256_loadu_pd(x + i)));
    for (; i < n; ++i)
        y[i] = Scalar(x[i]);
}

template <__m128d (*Vector)(__m128d), double (*Scalar)(double)>
void mapSse2(const double* x, double* y, std::size_t n) {
    std::size_t i = 0;
    for (; i + 2 <= n; i += 2)
        _mm_storeu_pd(y + i, Vector(_mm_loadu_pd(x + i)));
    for (; i < n; ++i)
        y[i] = Scalar(x[i]);
}

double scalarExp(double v) {
    return std::exp(v);
}

const bool kHaveAvx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif

// C[i] = carry + w[0] + ... + w[i]; returns the last.
double runningSums(const double* w, double* C, std::size_t n, double carry) {
    for (std::size_t i = 0; i < n; ++i) {
        carry += w[i];
        C[i] = carry;
    }
    return carry;
}

#if defined(__x86_64__)
#define RELAN_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define RELAN_VECTOR_CLONES
#endif

// The weighted increment at one time and what it adds to the bound of the
// flat ones, as the vector loop forms them lane by lane.
inline double incrementAt(double e, double ePrev, double inWarr, double twoEps, double Izd, double& w) {
    const double F1 = 1 - e;
    const double F0 = 1 - ePrev;
    const double d = (F1 > 0 ? F1 : 1e-305) - (F0 > 0 ? F0 : 1e-305);
    w = (d < 0 ? 1e-305 : d) * inWarr * Izd;
    return d < twoEps ? (std::fabs(d) + twoEps + 1e-305) * inWarr : 0.0;
}

// The weighted increments of F = 1 - exp(-A x^B) between consecutive times
// from e = exp(-A x^B), as the exact evaluation forms them with its floors;
// returns the bound of the increments so small that either evaluation might
// find them negative (and take the floor instead).
double incrementsScalar(const double* e, const double* inWarr, double* w, std::size_t n, double ePrev,
                        double twoEps, double Izd) {
    double flat = 0;
    for (std::size_t g = 0; g < n; ++g)
        flat += incrementAt(e[g], g > 0 ? e[g - 1] : ePrev, inWarr[g], twoEps, Izd, w[g]);
    return flat;
}

#if defined(__x86_64__)
// exp(-(A p)) four at a time.
__attribute__((target("avx2,fma"))) void expNegScaledAvx2(double A, const double* p, double* y,
                                                          std::size_t n) {
    const __m256d a = _mm256_set1_pd(A), sign = _mm256_set1_pd(-0.0);
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        _mm256_storeu_pd(y + i, _ZGVdN4v_exp(_mm256_xor_pd(_mm256_mul_pd(a, _mm256_loadu_pd(p + i)), sign)));
    for (; i < n; ++i)
        y[i] = std::exp(-(A * p[i]));
}

// exp(B L) four at a time, 0 where L is -inf (a failure at time 0).
__attribute__((target("avx2,fma"))) void powersAvx2(double B, const double* L, double* y, std::size_t n) {
    const __m256d b = _mm256_set1_pd(B), none = _mm256_set1_pd(-1e300);
    const __m256d minusInf = _mm256_set1_pd(-std::numeric_limits<double>::infinity());
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d l = _mm256_loadu_pd(L + i);
        const __m256d x = _mm256_blendv_pd(_mm256_mul_pd(b, l), none, _mm256_cmp_pd(l, minusInf, _CMP_EQ_OQ));
        _mm256_storeu_pd(y + i, _ZGVdN4v_exp(x));
    }
    for (; i < n; ++i)
        y[i] = std::exp(std::isfinite(L[i]) ? B * L[i] : -1e300);
}

// p (1 + m) with one rounding.
__attribute__((target("avx2,fma"))) void timesRatiosAvx2(const double* p, const double* m, double* y,
                                                         std::size_t n) {
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d v = _mm256_loadu_pd(p + i);
        _mm256_storeu_pd(y + i, _mm256_fmadd_pd(v, _mm256_loadu_pd(m + i), v));
    }
    for (; i < n; ++i)
        y[i] = std::fma(p[i], m[i], p[i]);
}
#endif

// Moves running sums by `offset` and adds up, at K, the squared deviations
// of the groups and T.
RELAN_VECTOR_CLONES void sumsAt(double* C, const double* middle, const double* n, const double* spread,
                                std::size_t count, double offset, double K, double& S, double& T) {
    double su = 0, t = 0;
#pragma omp simd reduction(+ : su, t)
    for (std::size_t g = 0; g < count; ++g) {
        const double c = C[g] + offset;
        C[g] = c;
        const double h = middle[g] - K * c;
        su += n[g] * h * h + spread[g];
        t += n[g] * c * c;
    }
    S = su;
    T = t;
}

// The squared deviations of the groups at K from running sums already made.
RELAN_VECTOR_CLONES double squaresAt(const double* C, const double* middle, const double* n,
                                     const double* spread, std::size_t count, double K) {
    double su = 0;
#pragma omp simd reduction(+ : su)
    for (std::size_t g = 0; g < count; ++g) {
        const double h = middle[g] - K * C[g];
        su += n[g] * h * h + spread[g];
    }
    return su;
}

// N and the sum of C over the failures.
RELAN_VECTOR_CLONES void linearSums(const double* C, const double* sumK1, const double* n, std::size_t count,
                                    double& N, double& sumC) {
    double a = 0, b = 0;
#pragma omp simd reduction(+ : a, b)
    for (std::size_t g = 0; g < count; ++g) {
        a += sumK1[g] * C[g];
        b += n[g] * C[g];
    }
    N = a;
    sumC = b;
}

// One piece of a law: the weighted increments from e = exp(-A x^B), their
// running sums from `carry` into C, and, unless the piece's sums start
// from an offset still unknown, the squared deviations at K and T. The
// pass after the exponential, in one sweep; returns the last running sum.
struct Piece {
    const double* e;
    double ePrev;
    const double* inWarr;
    const double* weight; // inWarr Izd
    std::size_t n;
    double twoEps, Izd;
    double* C;
    // For the sums at K.
    const double* middle;
    const double* count;
    double K;
};
struct PieceSums {
    double flat = 0, S = 0, T = 0;
};

double lawPieceScalar(const Piece& p, double carry, bool withSums, PieceSums& out, double* w) {
    out.flat += incrementsScalar(p.e, p.inWarr, w, p.n, p.ePrev, p.twoEps, p.Izd);
    carry = runningSums(w, p.C, p.n, carry);
    if (withSums)
        for (std::size_t g = 0; g < p.n; ++g) {
            const double c = p.C[g];
            const double h = p.middle[g] - p.K * c;
            out.S += p.count[g] * h * h;
            out.T += p.count[g] * c * c;
        }
    return carry;
}

#if defined(__x86_64__)
// An increment is d (inWarr Izd) with the weight inWarr Izd made once: two
// roundings, as d inWarr Izd had. The fused products of the sums round
// less than separate ones would. The groups' spreads are left to the
// caller, which adds their total.
template <bool kSums>
__attribute__((target("avx2,fma"))) double lawPieceAvx2(const Piece& p, double carry, PieceSums& out) {
    const std::size_t n = p.n;
    if (n == 0) return carry;
    // The vector stores may alias anything, the Piece too: its fields are
    // read once, or the loop would load them again at every store.
    const double* const e = p.e;
    const double* const inWarr = p.inWarr;
    const double* const weight = p.weight;
    const double* const middle = p.middle;
    const double* const count = p.count;
    double* const Cs = p.C;
    const double K = p.K, twoEps = p.twoEps, Izd = p.Izd;
    double w0 = 0;
    double flat = incrementAt(e[0], p.ePrev, inWarr[0], twoEps, Izd, w0);
    double S = 0, T = 0;
    auto scalarSums = [&](std::size_t g) {
        const double c = Cs[g];
        const double h = middle[g] - K * c;
        S += count[g] * h * h;
        T += count[g] * c * c;
    };
    carry += w0;
    Cs[0] = carry;
    if (kSums) scalarSums(0);
    const __m256d floor = _mm256_set1_pd(1e-305), zero = _mm256_setzero_pd();
    const __m256d te = _mm256_set1_pd(twoEps);
    const __m256d sign = _mm256_set1_pd(-0.0), k = _mm256_set1_pd(K);
    __m256d fl = zero, su = zero, tt = zero, total = _mm256_set1_pd(carry);
    std::size_t g = 1;
    for (; g + 4 <= n; g += 4) {
        // The increments straight from e, F1 - F0 = e0 - e1 with one
        // rounding. Where the exact evaluation floors an F or an increment
        // the increment is below 2 eps, and such a lane's whole difference
        // is bounded apart, whatever either evaluation takes there.
        const __m256d d = _mm256_sub_pd(_mm256_loadu_pd(e + g - 1), _mm256_loadu_pd(e + g));
        __m256d v = _mm256_mul_pd(d, _mm256_loadu_pd(weight + g));
        // An increment near the floor is rare.
        const __m256d flatLanes = _mm256_cmp_pd(d, te, _CMP_LT_OQ);
        if (_mm256_movemask_pd(flatLanes) != 0) {
            const __m256d iw = _mm256_loadu_pd(inWarr + g);
            const __m256d f =
                _mm256_mul_pd(_mm256_add_pd(_mm256_add_pd(_mm256_andnot_pd(sign, d), te), floor), iw);
            fl = _mm256_add_pd(fl, _mm256_and_pd(f, flatLanes));
        }
        // Their running sums within the block, by shuffles inside the
        // halves and one across, which cost less than three across.
        v = _mm256_add_pd(v, _mm256_blend_pd(zero, _mm256_permute_pd(v, 0x0), 0xA));
        v = _mm256_add_pd(v, _mm256_permute2f128_pd(_mm256_permute_pd(v, 0xF), v, 0x08));
        const __m256d c = _mm256_add_pd(v, total);
        _mm256_storeu_pd(Cs + g, c);
        const __m256d high = _mm256_permute_pd(v, 0xF);
        total = _mm256_add_pd(total, _mm256_permute2f128_pd(high, high, 0x11));
        if (kSums) {
            const __m256d cnt = _mm256_loadu_pd(count + g);
            const __m256d h = _mm256_sub_pd(_mm256_loadu_pd(middle + g), _mm256_mul_pd(k, c));
            su = _mm256_fmadd_pd(_mm256_mul_pd(cnt, h), h, su);
            tt = _mm256_fmadd_pd(_mm256_mul_pd(cnt, c), c, tt);
        }
    }
    carry = _mm256_cvtsd_f64(total);
    for (; g < n; ++g) {
        double w = 0;
        flat += incrementAt(e[g], e[g - 1], inWarr[g], twoEps, Izd, w);
        carry += w;
        Cs[g] = carry;
        if (kSums) scalarSums(g);
    }
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, fl);
    out.flat += flat + ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3]));
    if (kSums) {
        _mm256_store_pd(lanes, su);
        out.S += S + ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3]));
        _mm256_store_pd(lanes, tt);
        out.T += T + ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3]));
    }
    return carry;
}
#endif

double lawPiece(const Piece& p, double carry, bool withSums, PieceSums& out, double* w) {
#if defined(__x86_64__)
    if (kHaveAvx2) return withSums ? lawPieceAvx2<true>(p, carry, out) : lawPieceAvx2<false>(p, carry, out);
#endif
    return lawPieceScalar(p, carry, withSums, out, w);
}

// What the exact evaluation's library functions may be off by (pow and
// exp within 1 ulp) and what the vector exponential may be off by (4 ulp),
// each relative and with room to spare.
constexpr double kLibraryError = 2 * kU;
constexpr double kVectorError = 16 * kU;
// What the vector exponential of a fresh law leaves in e = exp(-(A p)),
// its own error and that of the product A p: e^-z z u <= u / e.
const double kFreshExpError = kVectorError + 1.01 * kU / std::exp(1.0);

// 1/k! to the nearest double.
constexpr double kInverseFactorial[] = {1.0,         1.0,          1.0 / 2,      1.0 / 6,
                                        1.0 / 24,    1.0 / 120,    1.0 / 720,    1.0 / 5040,
                                        1.0 / 40320, 1.0 / 362880, 1.0 / 3628800};

// The ranges |z| <= Z on which expm1 is its Taylor polynomial of degree D
// to well within an ulp: Z^(D+1) / (D+1)! <= u / 2.
struct NearRange {
    double Z;
    int degree;
};
constexpr NearRange kNearRanges[] = {{0x1p-13, 3}, {0x1p-10, 4}, {0x1p-8, 5}, {0x1p-6, 6}, {0x1p-4, 8}};

// e = e0 (1 + expm1(z)), z = -((A - A0) p + A0 (p - p0)): exp(-(A p)) from
// exp(-(A0 p0)). Each lane must have |A0 (p - p0)| <= Z / 2; false when one
// has not (or is NaN), and e is then not to be used.
// expm1(z) by its Taylor polynomial of degree D in Horner's form,
// z (1 + z (1/2 + z (1/6 + ...))). On |z| <= Z <= 1/16 the Horner sum
// is within 1.1 u of its exact value and the last product adds u |m|, so
// the result lies within 2.2 u |z| of the polynomial, which lies within
// its remainder of expm1.
template <int D> inline double expm1Poly(double z) {
    double t = kInverseFactorial[D];
    for (int k = D - 1; k >= 1; --k)
        t = std::fma(z, t, kInverseFactorial[k]);
    return z * t;
}

template <int D>
inline bool nearOne(double dA, double A0, double halfZ, double p, double p0, double e0, double& e) {
    const double y = A0 * (p - p0);
    const double z = -std::fma(dA, p, y);
    e = std::fma(e0, expm1Poly<D>(z), e0);
    return std::fabs(y) <= halfZ;
}

template <int D>
bool nearScalar(double dA, double A0, double halfZ, const double* p, const double* p0, const double* e0,
                double* e, std::size_t n) {
    bool ok = true;
    for (std::size_t i = 0; i < n; ++i)
        ok &= nearOne<D>(dA, A0, halfZ, p[i], p0[i], e0[i], e[i]);
    return ok;
}

// y = expm1(h L) where every |h L| <= Z; false where one is not (or NaN).
template <int D> bool expm1ScaledScalar(double h, const double* L, double* y, std::size_t n, double Z) {
    bool ok = true;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = h * L[i];
        ok &= std::fabs(x) <= Z;
        y[i] = expm1Poly<D>(x);
    }
    return ok;
}

#if defined(__x86_64__)
template <int D> __attribute__((target("avx2,fma"))) inline __m256d expm1PolyAvx2(__m256d z) {
    __m256d t = _mm256_set1_pd(kInverseFactorial[D]);
    for (int k = D - 1; k >= 1; --k)
        t = _mm256_fmadd_pd(z, t, _mm256_set1_pd(kInverseFactorial[k]));
    return _mm256_mul_pd(z, t);
}

template <int D>
__attribute__((target("avx2,fma"))) bool nearAvx2(double dA, double A0, double halfZ, const double* p,
                                                  const double* p0, const double* e0, double* e,
                                                  std::size_t n) {
    const __m256d da = _mm256_set1_pd(dA), a0 = _mm256_set1_pd(A0), hz = _mm256_set1_pd(halfZ);
    const __m256d sign = _mm256_set1_pd(-0.0);
    __m256d bad = _mm256_setzero_pd();
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d pv = _mm256_loadu_pd(p + i);
        const __m256d y = _mm256_mul_pd(a0, _mm256_sub_pd(pv, _mm256_loadu_pd(p0 + i)));
        bad = _mm256_or_pd(bad, _mm256_cmp_pd(_mm256_andnot_pd(sign, y), hz, _CMP_NLE_UQ));
        const __m256d z = _mm256_xor_pd(_mm256_fmadd_pd(da, pv, y), sign);
        const __m256d ev = _mm256_loadu_pd(e0 + i);
        _mm256_storeu_pd(e + i, _mm256_fmadd_pd(ev, expm1PolyAvx2<D>(z), ev));
    }
    return _mm256_movemask_pd(bad) == 0 && nearScalar<D>(dA, A0, halfZ, p + i, p0 + i, e0 + i, e + i, n - i);
}

template <int D>
__attribute__((target("avx2,fma"))) bool expm1ScaledAvx2(double h, const double* L, double* y, std::size_t n,
                                                         double Z) {
    const __m256d hv = _mm256_set1_pd(h), zv = _mm256_set1_pd(Z), sign = _mm256_set1_pd(-0.0);
    __m256d bad = _mm256_setzero_pd();
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d x = _mm256_mul_pd(hv, _mm256_loadu_pd(L + i));
        bad = _mm256_or_pd(bad, _mm256_cmp_pd(_mm256_andnot_pd(sign, x), zv, _CMP_NLE_UQ));
        _mm256_storeu_pd(y + i, expm1PolyAvx2<D>(x));
    }
    return _mm256_movemask_pd(bad) == 0 && expm1ScaledScalar<D>(h, L + i, y + i, n - i, Z);
}
#endif

template <int D>
bool nearOf(double dA, double A0, double halfZ, const double* p, const double* p0, const double* e0,
            double* e, std::size_t n) {
#if defined(__x86_64__)
    if (kHaveAvx2) return nearAvx2<D>(dA, A0, halfZ, p, p0, e0, e, n);
#endif
    return nearScalar<D>(dA, A0, halfZ, p, p0, e0, e, n);
}

template <int D> bool expm1ScaledOf(double h, const double* L, double* y, std::size_t n, double Z) {
#if defined(__x86_64__)
    if (kHaveAvx2) return expm1ScaledAvx2<D>(h, L, y, n, Z);
#endif
    return expm1ScaledScalar<D>(h, L, y, n, Z);
}

// f(std::integral_constant<int, D>{}) for the degree D of a range.
template <typename F> bool withDegree(const NearRange& r, F&& f) {
    switch (r.degree) {
    case 3:
        return f(std::integral_constant<int, 3>{});
    case 4:
        return f(std::integral_constant<int, 4>{});
    case 5:
        return f(std::integral_constant<int, 5>{});
    case 6:
        return f(std::integral_constant<int, 6>{});
    default:
        return f(std::integral_constant<int, 8>{});
    }
}

} // namespace

namespace {

// y = p (1 + m) with one rounding.
void timesRatios(const double* p, const double* m, double* y, std::size_t n) {
#if defined(__x86_64__)
    if (kHaveAvx2) return timesRatiosAvx2(p, m, y, n);
#endif
    for (std::size_t i = 0; i < n; ++i)
        y[i] = std::fma(p[i], m[i], p[i]);
}

// y = exp(-(A p)), as expInto of the products would give.
void expNegScaled(double A, const double* p, double* y, std::size_t n) {
#if defined(__x86_64__)
    if (kHaveAvx2) return expNegScaledAvx2(A, p, y, n);
#endif
    double z[512];
    for (std::size_t i = 0; i < n; i += 512) {
        const std::size_t k = std::min<std::size_t>(512, n - i);
        for (std::size_t j = 0; j < k; ++j)
            z[j] = -(A * p[i + j]);
        SmirnovEstimator::expInto(z, y + i, k);
    }
}

} // namespace

namespace {

const NearRange* nearRangeFor(double Z) {
    for (const NearRange& r : kNearRanges)
        if (Z <= r.Z) return &r;
    return nullptr;
}

// The Taylor polynomial's remainder on |z| <= Z, with e^Z.
double nearRemainder(const NearRange& r) {
    double t = 1.07;
    for (int k = 1; k <= r.degree + 1; ++k)
        t *= r.Z;
    return t * kInverseFactorial[r.degree + 1] * kUp;
}

bool nearIn(const NearRange& r, double dA, double A0, const double* p, const double* p0, const double* e0,
            double* e, std::size_t n) {
    const double halfZ = r.Z / 2;
    return withDegree(r, [&](auto D) { return nearOf<D>(dA, A0, halfZ, p, p0, e0, e, n); });
}

// With e0 within err0 of exp(-(A0 p0)) and every |z| <= Z:
// e~ - e = (e0~ - e0)(1 + m~) + e0 (m~ - expm1(z)) + the rounding of e~,
// where |m~| <= 1.07 Z; m~ is off the polynomial at z~ by its Horner
// rounding (within 2.2 u Z), the polynomial off expm1 by its remainder,
// and z~ off z by its three roundings (within 2.6 u Z, times e^Z).
double nearError(const NearRange& r, double err0) {
    return (err0 * (1 + 1.07 * r.Z) + 1.1 * kU + 11 * kU * r.Z + nearRemainder(r)) * kUp;
}

// y = expm1(h L) by the polynomial of the narrowest range that holds Z;
// false where some |h L| exceeds Z.
bool expm1Scaled(double h, const double* L, double* y, std::size_t n, double Z) {
    const NearRange* r = nearRangeFor(Z);
    return r != nullptr && withDegree(*r, [&](auto D) { return expm1ScaledOf<D>(h, L, y, n, Z); });
}

} // namespace

bool SmirnovEstimator::expNear(double A, const double* p, double A0, const double* p0, const double* e0,
                               double* e, std::size_t n, double Z) {
    const NearRange* r = nearRangeFor(Z);
    if (r == nullptr) return false;
    const double dA = A - A0, halfZ = r->Z / 2;
    // What the fit ensures once for the whole law from a bound of p.
    for (std::size_t i = 0; i < n; ++i)
        if (!(std::fabs(dA) * p[i] <= halfZ)) return false;
    return nearIn(*r, dA, A0, p, p0, e0, e, n);
}

double SmirnovEstimator::expNearError(double err0, double Z) {
    const NearRange* r = nearRangeFor(Z);
    return r == nullptr ? std::numeric_limits<double>::infinity() : nearError(*r, err0);
}

bool SmirnovEstimator::expm1Small(const double* x, double* y, std::size_t n, double Z) {
    return expm1Scaled(1.0, x, y, n, Z);
}

double SmirnovEstimator::expm1SmallError(double Z) {
    const NearRange* r = nearRangeFor(Z);
    return r == nullptr ? std::numeric_limits<double>::infinity() : nearRemainder(*r);
}

void SmirnovEstimator::expInto(const double* x, double* y, std::size_t n) {
#if defined(__x86_64__)
    if (kHaveAvx2) return mapAvx2<_ZGVdN4v_exp, scalarExp>(x, y, n);
    return mapSse2<_ZGVbN2v_exp, scalarExp>(x, y, n);
#else
    for (std::size_t i = 0; i < n; ++i)
        y[i] = std::exp(x[i]);
#endif
}

SmirnovEstimator::SmirnovEstimator(const AnalysisState& s, SplitInTwo* split)
    : s_(s), m_(s.MasProbl.size()), ownSplit_(split ? nullptr : std::make_unique<SplitInTwo>()),
      split_(split ? split : ownSplit_.get()) {
    // Groups of equal times, as the exact evaluation meets them in order.
    auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    double prev = 0;
    for (std::size_t k = 0; k < m_; ++k) {
        const double x = s.MasProbl[k].time;
        const double k1 = static_cast<double>(k + 1);
        if (k == 0 || bits(x) != bits(prev)) {
            if (bits(x) == bits(0.0)) {
                // A failure at time 0 adds nothing to the law; its group
                // still counts its deviations.
                L_.push_back(-std::numeric_limits<double>::infinity());
            } else {
                L_.push_back(std::log(x));
            }
            n_.push_back(0);
            first_.push_back(k1);
            sumK1_.push_back(0);
            inWarr_.push_back(1 - s.models[ModelId::Smirnov].F_norm[k]);
            weight_.push_back(inWarr_.back() * s.Izd_Prived);
        }
        n_.back() += 1;
        sumK1_.back() += k1;
        prev = x;
    }
    const std::size_t G = n_.size();
    double variation = 0, top = 0;
    for (std::size_t g = 0; g < G; ++g) {
        if (g + 1 < G) variation += std::fabs(inWarr_[g] - inWarr_[g + 1]);
        top = std::max(top, std::fabs(inWarr_[g]));
        cubes_ += n_[g] * n_[g] * n_[g];
        if (std::isfinite(L_[g])) {
            Lmax_ = std::max(Lmax_, std::fabs(L_[g]));
            Lpos_ = std::max(Lpos_, L_[g]);
        }
        // A time 0 has x^B = 0 for every B: its ratio x^h - 1 is left at 0.
        Lzero_.push_back(std::isfinite(L_[g]) ? L_[g] : 0.0);
    }
    variation_ = (variation + top) * kUp;
    // A group of n failures from k + 1 = first deviates by first - K C + i,
    // i = 0..n-1; its squares sum to n (middle - K C)^2 + n (n^2 - 1) / 12.
    middle_.resize(G);
    spread_.resize(G);
    for (std::size_t g = 0; g < G; ++g) {
        middle_[g] = first_[g] + (n_[g] - 1) / 2;
        spread_[g] = n_[g] * (n_[g] * n_[g] - 1) / 12;
        if (g < split_->secondHalf(G)) spreadsHead_ += spread_[g];
    }
    cubes_ *= kUp;
    scratch_.resize(G);
    e_.resize(G);
}

SmirnovEstimator::Powers& SmirnovEstimator::powersFor(double B) {
    for (std::size_t i = 0; i < powers_.size(); ++i)
        if (powers_[i].valid && powers_[i].B == B) {
            lastPowers_ = i;
            return powers_[i];
        }
    const Powers& base = powers_[lastPowers_];
    lastPowers_ = (lastPowers_ + 1) % powers_.size();
    Powers& pw = powers_[lastPowers_];
    pw.valid = false;
    pw.base = nullptr;
    const std::size_t G = L_.size();
    pw.p.resize(G);
    // x^B as exp(B ln x): the exponent carries |B ln x| times the rounding of
    // ln x and of the product.
    const double fresh = std::fabs(B) * Lmax_ * 3.01 * kU + kVectorError;
    if (derivedPowers(base, B, fresh, pw)) return pw;
    split_->run(G, [&](std::size_t from, std::size_t to) {
#if defined(__x86_64__)
        if (kHaveAvx2) return powersAvx2(B, L_.data() + from, pw.p.data() + from, to - from);
#endif
        for (std::size_t g = from; g < to; ++g)
            scratch_[g] = std::isfinite(L_[g]) ? B * L_[g] : -1e300;
        expInto(scratch_.data() + from, pw.p.data() + from, to - from);
    });
    pw.rel = fresh;
    pw.B = B;
    pw.valid = true;
    setErrorOfF(pw);
    return pw;
}

void SmirnovEstimator::setErrorOfF(Powers& pw) {
    // Through A x^B and exp(-A x^B) into F = 1 - exp(-A x^B) an error of
    // relative d in A x^B moves F by at most exp(-z) z d <= d / e.
    const double fast = (pw.rel + 1.01 * kU) / std::exp(1.0) + kVectorError + 1.01 * kU;
    const double exact = (kLibraryError + 1.01 * kU) / std::exp(1.0) + kLibraryError + 1.01 * kU;
    pw.epsF = 1.1 * (fast + exact);
}

// A line search along B steps by the same h again and again: x^(B + h) is
// x^B times x^h, and x^h - 1 = expm1(h ln x) is made once for the line. The
// product has one rounding and the small factor's error is that of the
// small expm1, so a chain of products loses less than a fresh exponential
// gains back; the chain is cut where its error would outgrow a fresh one's
// by half.
bool SmirnovEstimator::derivedPowers(const Powers& base, double B, double fresh, Powers& pw) {
    if (!base.valid || !(B > 0 && base.B > 0 && B <= 2 * base.B && base.B <= 2 * B)) return false;
    const double h = B - base.B; // exact: B and base.B lie within a factor 2
    const double y = std::fabs(h) * Lmax_;
    if (!(y <= 1.0 / 64)) return false;
    // m = expm1(h ln x) has |m| <= M = y (1 + y). The polynomial expm1 is
    // within 2.2 u |h ln x| and its remainder, the exponent h ln x within 3
    // roundings of y, which moves m by y e^y of them; relative to
    // x^h = 1 + m both shrink by 1 - M. The product with its one rounding
    // adds u.
    const double Z = y * kUp;
    const double M = y * (1 + y) * kUp;
    const double step =
        (1.01 * kU + (2.3 * kU * y + expm1SmallError(Z) + y * 3.01 * kU * 1.02) / (1 - M)) * kUp;
    const double rel = base.rel + step + base.rel * step;
    if (!(rel <= 1.5 * fresh)) return false;
    const std::size_t G = L_.size();
    if (!(ratioH_ == h && ratio_.size() == G)) {
        ratio_.resize(G);
        ratioH_ = 0;
        std::array<bool, 2> made{true, true};
        split_->run(G, [&](std::size_t from, std::size_t to) {
            made[from == 0 ? 0 : 1] =
                expm1Scaled(h, Lzero_.data() + from, ratio_.data() + from, to - from, Z);
        });
        if (!(made[0] && made[1])) return false;
        ratioH_ = h;
    }
    // The products themselves are made by the law's pass, a piece at a time.
    pw.base = &base;
    pw.rel = rel;
    pw.B = B;
    pw.valid = true;
    setErrorOfF(pw);
    return true;
}

// At least every power x^B of these powers: the latest time's, within
// their error.
double SmirnovEstimator::powerCeiling(double B, const Powers& pw) const {
    return std::exp(B * Lpos_) * (1 + 2 * pw.rel + 1e-12);
}

// Late in a search the laws it tries lie close together, and most of them
// close enough to the last fresh one for a short polynomial to carry its
// exponentials over; whether one does is known only lane by lane, so a
// law whose lanes stray is made afresh piece by piece.
SmirnovEstimator::Derivation SmirnovEstimator::derivationFor(double A, double B, const Powers& pw) const {
    Derivation d;
    if (!root_.valid || !(A > 0 && B > 0 && root_.A > 0 && root_.B > 0) || !(B * Lpos_ < 600)) return d;
    const double pmax = powerCeiling(B, pw);
    const double zA = std::fabs(A - root_.A) * pmax * kUp;
    // What A0 (p - p0) will come to, for the choice of the polynomial only:
    // each lane is checked as it is made.
    const double zB = root_.A * root_.pmax * std::expm1(std::fabs(B - root_.B) * Lmax_) * 1.01;
    const NearRange* r = nearRangeFor(2 * std::max(zA, zB));
    if (r == nullptr) return d;
    d.on = true;
    d.Z = r->Z;
    d.degree = r->degree;
    d.dA = A - root_.A;
    d.err = nearError(*r, kFreshExpError);
    return d;
}

SmirnovEstimator::Law* SmirnovEstimator::find(double A, double B) {
    for (Law& l : laws_)
        if (l.valid && l.A == A && l.B == B) {
            l.used = ++clock_;
            return &l;
        }
    return nullptr;
}

SmirnovEstimator::Law& SmirnovEstimator::newLaw(double A, double B, double K, double& S) {
    Law* slot = &laws_[0];
    for (Law& l : laws_)
        if (!l.valid || l.used < slot->used) slot = &l;
    Law& law = *slot;
    law.valid = false;
    Powers& pw = powersFor(B);
    const std::size_t G = L_.size();
    // The weighted increments as the exact evaluation forms them, F = 1 -
    // exp(-A x^B) with its floor; an increment so small that either
    // evaluation might find it negative (and take its floor instead) is
    // bounded apart. Then their running sums, and on the way the
    // criterion's sum at K and T. Each half of the times is worked on by
    // its own thread; the second half's running sums start from 0 and are
    // moved by the first half's total.
    const Derivation near = derivationFor(A, B, pw);
    const double eps = pw.epsF + (near.on ? 1.1 * std::max(0.0, near.err - kFreshExpError) : 0.0);
    const double Izd = s_.Izd_Prived;
    std::array<bool, 2> strayed{};
    law.C.resize(G);
    double* Cs = law.C.data();
    std::array<double, 3> flat{}, sum{}, T{};
    split_->run(G, [&](std::size_t from, std::size_t to) {
        // In pieces that stay in the first-level cache. The second half
        // makes its own F just before its first time; the two values of
        // F there may differ within the error of F, which the bound takes.
        double e0 = 1;
        if (from > 0) {
            const std::size_t g = from - 1;
            const double* b = pw.base ? pw.base->p.data() : nullptr;
            const double z = -(A * (b ? std::fma(b[g], ratio_[g], b[g]) : pw.p[g]));
            expInto(&z, &e0, 1);
        }
        // The first half's running sums start from 0, so its sums at K
        // are made on the way; the second half's wait for its offset.
        const bool withSums = from == 0;
        PieceSums sums;
        double C = 0;
        constexpr std::size_t kPiece = 512;
        for (std::size_t p = from; p < to; p += kPiece) {
            const std::size_t q = std::min(to, p + kPiece);
            if (pw.base) timesRatios(pw.base->p.data() + p, ratio_.data() + p, pw.p.data() + p, q - p);
            const bool derived =
                near.on && nearIn(NearRange{near.Z, near.degree}, near.dA, root_.A, pw.p.data() + p,
                                  root_.p.data() + p, root_.e.data() + p, e_.data() + p, q - p);
            if (!derived) expNegScaled(A, pw.p.data() + p, e_.data() + p, q - p);
            if (near.on && !derived) strayed[from == 0 ? 0 : 1] = true;
            const Piece piece{e_.data() + p,
                              p == from ? e0 : e_[p - 1],
                              inWarr_.data() + p,
                              weight_.data() + p,
                              q - p,
                              2 * eps,
                              Izd,
                              Cs + p,
                              middle_.data() + p,
                              n_.data() + p,
                              K};
            C = lawPiece(piece, C, withSums, sums, scratch_.data() + p);
        }
        if (withSums) {
            sum[0] = sums.S;
            T[0] = sums.T;
        }
        flat[from == 0 ? 0 : 1] = sums.flat + (from > 0 ? 2 * eps * inWarr_[from] : 0.0);
    });
    pw.base = nullptr;
    if (!near.on) {
        // A fresh law is the one the next are derived from.
        root_.e.swap(e_);
        e_.resize(G);
        root_.p = pw.p;
        root_.A = A;
        root_.B = B;
        root_.pmax = powerCeiling(B, pw);
        root_.valid = B * Lpos_ < 600;
    } else if (strayed[0] || strayed[1]) {
        // The search has moved away: the next law is made afresh.
        root_.valid = false;
    }
    // The second half of a split law: moved by the first half's total, and
    // its sums at K, again in two halves.
    const std::size_t half = split_->secondHalf(G);
    if (half < G) {
        const double offset = Cs[half - 1];
        split_->run(G - half, [&](std::size_t from, std::size_t to) {
            const std::size_t i = from == 0 ? 1 : 2;
            const std::size_t g = half + from;
            sumsAt(Cs + g, middle_.data() + g, n_.data() + g, spread_.data() + g, to - from, offset, K,
                   sum[i], T[i]);
        });
    }
    sum[0] += spreadsHead_;
    const double C = G > 0 ? Cs[G - 1] : 0.0;
    S = sum[0] + sum[1] + sum[2];
    const double Gd = static_cast<double>(G);
    // |C~(k) - C(k)| <= a + b C~(k): the errors of F telescope through the
    // shares under warranty (their total variation), the flat increments
    // count whole, and the roundings of the increments and running sums
    // grow with C.
    law.a =
        (Izd * (eps * (variation_ + 2 * kU * Gd) + flat[0] + flat[1]) * (1 + 8 * kU) + Gd * 1e-300) * 1.01;
    const double gG = gammaOf(Gd);
    law.b = (gG / (1 - gG) + 7.5 * kU) * 1.01;
    law.T = T[0] + T[1] + T[2];
    law.haveSums = false;
    law.haveQuadratic = false;
    law.finite = std::isfinite(C) && C <= kHuge && std::isfinite(law.T) && std::isfinite(law.a);
    law.A = A;
    law.B = B;
    law.valid = true;
    law.used = ++clock_;
    return law;
}

double SmirnovEstimator::sumAt(const Law& l, double K) {
    const double* C = l.C.data();
    std::array<double, 2> part{};
    split_->run(n_.size(), [&](std::size_t from, std::size_t to) {
        part[from == 0 ? 0 : 1] =
            squaresAt(C + from, middle_.data() + from, n_.data() + from, spread_.data() + from, to - from, K);
    });
    return part[0] + part[1];
}

void SmirnovEstimator::sums(Law& l) const {
    if (l.haveSums) return;
    const std::size_t G = n_.size();
    double N = 0, sumC = 0;
    linearSums(l.C.data(), sumK1_.data(), n_.data(), G, N, sumC);
    l.N = N;
    l.sumC = sumC;
    l.finite = l.finite && std::isfinite(N);
    l.haveSums = true;
}

SmirnovBounds SmirnovEstimator::at(double A, double B, double K) {
    SmirnovBounds r;
    double S = 0;
    const Law* found = find(A, B);
    const Law& l = found ? *found : newLaw(A, B, K, S);
    if (found) S = sumAt(l, K);
    const SmirnovKBound rb = smirnovRoundingBound(m_, s_.Kol_izw);
    if (!l.finite || !rb.usable || !(K > 0 && K < kHuge)) return r;
    const std::size_t G = n_.size();
    if (!std::isfinite(S) || S > kHuge) return r;
    const double md = static_cast<double>(m_);
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
    const double ea = kU * (dpHi + std::sqrt(cubes_ * (1 + gSum)) + 2 * K * normC) * kUp;
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

SmirnovKBound SmirnovEstimator::quadratic(double A, double B) {
    Law* found = find(A, B);
    double S = 0;
    Law& l = found ? *found : newLaw(A, B, 1, S);
    if (!l.haveQuadratic) {
        l.quadratic = quadraticOf(l);
        l.haveQuadratic = true;
    }
    return l.quadratic;
}

SmirnovKBound SmirnovEstimator::quadraticOf(Law& l) const {
    sums(l);
    SmirnovKBound q = smirnovRoundingBound(m_, s_.Kol_izw);
    if (!q.usable || !l.finite || !(l.T > 0 && l.N > 0)) {
        q.usable = false;
        return q;
    }
    const double md = static_cast<double>(m_);
    const double Gd = static_cast<double>(n_.size());
    // T and N over the exact running sums C, from |C~ - C| <= a + b C~,
    // with the rounding of their own sums over the groups.
    const double a = l.a, b = l.b;
    const double errT = (2 * a * l.sumC + (2 * b + b * b) * l.T + md * a * a + 2 * a * b * l.sumC) * kUp +
                        gammaOf(3 * Gd + 4) * l.T;
    const double P1 = md * (md + 1) / 2;
    const double errN = (a * P1 + b * l.N) * kUp + gammaOf(3 * Gd + 4) * l.N;
    if (!(errT < l.T / 2 && errN < l.N / 2)) {
        q.usable = false;
        return q;
    }
    const double rho = std::max(errT / (l.T - errT), errN / (l.N - errN)) * 1.01;
    q.T = l.T;
    q.N = l.N;
    q.rho = rho;
    q.normC = std::sqrt(l.T * (1 + 2 * rho)) * kUp;
    return q;
}

SmirnovSearch::SmirnovSearch(const AnalysisState& s, const Point& start)
    : exact_(s, &split_), estimate_(s, &split_), x_(start), R_(std::numeric_limits<double>::infinity()) {
    value_ = exact_(x_.A, x_.B, x_.K);
}

bool SmirnovSearch::fallsTo(const Point& trial) {
    return falls(trial, 0);
}

bool SmirnovSearch::falls(const Point& trial, double h) {
    const SmirnovBounds t = estimate_.at(trial.A, trial.B, trial.K);
    const SmirnovBounds& c = bounds();
    // A fall by this factor of the bound stays a strict fall through the
    // rounding of the square root and the division that give the value.
    constexpr double kFallMargin = 1 - 16 * std::numeric_limits<double>::epsilon();
    if (t.usable && c.usable) {
        if (t.hi < c.lo * kFallMargin) {
            moveTo(trial, t);
            return true;
        }
        if (t.lo >= c.hi) return false;
    }
    if (h != 0) lookAhead(trial, h);
    const double now = value();
    const double then = exactAt(trial);
    if (!(then < now)) return false; // NaN counts as no fall
    moveTo(trial, t);
    value_ = then;
    known_ = true;
    return true;
}

bool SmirnovSearch::fallsAlongK(double K1, double h) {
    const SmirnovKBound q = estimate_.quadratic(x_.A, x_.B);
    switch (smirnovAlongK(q, x_.K, K1, normBound())) {
    case SmirnovMove::Falls:
        // The exact norm fell, so its bound still holds at K1.
        x_.K = K1;
        known_ = false;
        haveBounds_ = false;
        return true;
    case SmirnovMove::DoesNotFall:
        return false;
    case SmirnovMove::Unknown:
        break;
    }
    Point trial = x_;
    trial.K = K1;
    const double R = R_;
    const bool fell = falls(trial, h);
    if (fell) R_ = std::min(R, R_);
    return fell;
}

long long SmirnovSearch::certainFallsAlongK(double h, long long nMax) {
    const SmirnovKBound q = estimate_.quadratic(x_.A, x_.B);
    return smirnovRunAlongK(q, x_.K, h, normBound(), nMax);
}

void SmirnovSearch::moveAlongK(double K) {
    // As a step that falls: the exact norm fell, so its bound still holds.
    x_.K = K;
    known_ = false;
    haveBounds_ = false;
}

const double* SmirnovSearch::Ahead::find(const Point& p) const {
    if (!(p.A == A && p.B == B)) return nullptr;
    for (std::size_t i = 0; i < n; ++i)
        if (K[i] == p.K) return &value[i];
    return nullptr;
}

double SmirnovSearch::exactAt(const Point& p) {
    if (const double* v = ahead_.find(p)) return *v;
    return exact_(p.A, p.B, p.K);
}

void SmirnovSearch::lookAhead(const Point& trial, double h) {
    // The current point first where its value is still to be made; then
    // the trial and the steps after it, K by the line's repeated additions.
    const bool current = !known_ && x_.A == trial.A && x_.B == trial.B;
    if (ahead_.find(trial) && (!current || ahead_.find(x_))) return;
    Ahead a{trial.A, trial.B, 0, {}, {}};
    if (current) a.K[a.n++] = x_.K;
    for (double K = trial.K; a.n < a.K.size(); K += h)
        a.K[a.n++] = K;
    exact_.atK(a.A, a.B, a.K.data(), a.value.data(), a.n);
    ahead_ = a;
}

double SmirnovSearch::value() {
    if (!known_) {
        value_ = exactAt(x_);
        known_ = true;
    }
    return value_;
}

const SmirnovBounds& SmirnovSearch::bounds() {
    if (!haveBounds_) {
        bounds_ = estimate_.at(x_.A, x_.B, x_.K);
        haveBounds_ = true;
        R_ = bounds_.usable ? bounds_.normHi : std::numeric_limits<double>::infinity();
    }
    return bounds_;
}

double SmirnovSearch::normBound() {
    if (!(R_ < std::numeric_limits<double>::infinity())) bounds();
    return R_;
}

void SmirnovSearch::moveTo(const Point& x, const SmirnovBounds& b) {
    x_ = x;
    known_ = false;
    bounds_ = b;
    haveBounds_ = true;
    R_ = b.usable ? b.normHi : std::numeric_limits<double>::infinity();
}

} // namespace relan
