#include "smirnov_kernels.hpp"

#include "smirnov_bound.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
// The vector exponentials of the C library (libmvec), within 4 ulp.
extern "C" __m128d _ZGVbN2v_exp(__m128d);
extern "C" __m256d _ZGVdN4v_exp(__m256d);
#endif

namespace relan::smirnov {
namespace {

// ---- Exponentials and powers.

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

void expAvx2(const double* x, double* y, std::size_t n) {
    mapAvx2<_ZGVdN4v_exp, scalarExp>(x, y, n);
}

void expSse2(const double* x, double* y, std::size_t n) {
    mapSse2<_ZGVbN2v_exp, scalarExp>(x, y, n);
}
#endif

void expPortable(const double* x, double* y, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        y[i] = std::exp(x[i]);
}

using ExpFn = void (*)(const double*, double*, std::size_t);

template <ExpFn Exp> void powersScalar(double B, const double* L, double* y, double* scratch, std::size_t n) {
    for (std::size_t g = 0; g < n; ++g)
        scratch[g] = std::isfinite(L[g]) ? B * L[g] : -1e300;
    Exp(scratch, y, n);
}

template <ExpFn Exp> void expNegScaledScalar(double A, const double* p, double* y, std::size_t n) {
    double z[512];
    for (std::size_t i = 0; i < n; i += 512) {
        const std::size_t k = std::min<std::size_t>(512, n - i);
        for (std::size_t j = 0; j < k; ++j)
            z[j] = -(A * p[i + j]);
        Exp(z, y + i, k);
    }
}

void timesRatiosScalar(const double* p, const double* m, double* y, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        y[i] = std::fma(p[i], m[i], p[i]);
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
__attribute__((target("avx2,fma"))) void powersAvx2(double B, const double* L, double* y, double* /*scratch*/,
                                                    std::size_t n) {
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

// ---- The pass of a law: increments, running sums, sums at K.

// C[i] = carry + w[0] + ... + w[i]; returns the last.
double runningSums(const double* w, double* C, std::size_t n, double carry) {
    for (std::size_t i = 0; i < n; ++i) {
        carry += w[i];
        C[i] = carry;
    }
    return carry;
}

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

double lawPieceAvx2Either(const Piece& p, double carry, bool withSums, PieceSums& out, double* /*w*/) {
    return withSums ? lawPieceAvx2<true>(p, carry, out) : lawPieceAvx2<false>(p, carry, out);
}
#endif

// The sums over the groups, one body for every table: the vectoriser
// reorders them (their bound holds for any order), four lanes wide in the
// AVX2 table's forms and two in the others'.
[[gnu::always_inline]] inline void sumsAtBody(double* C, const double* middle, const double* n,
                                              const double* spread, std::size_t count, double offset,
                                              double K, double& S, double& T) {
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

[[gnu::always_inline]] inline double squaresAtBody(const double* C, const double* middle, const double* n,
                                                   const double* spread, std::size_t count, double K) {
    double su = 0;
#pragma omp simd reduction(+ : su)
    for (std::size_t g = 0; g < count; ++g) {
        const double h = middle[g] - K * C[g];
        su += n[g] * h * h + spread[g];
    }
    return su;
}

[[gnu::always_inline]] inline void linearSumsBody(const double* C, const double* sumK1, const double* n,
                                                  std::size_t count, double& N, double& sumC) {
    double a = 0, b = 0;
#pragma omp simd reduction(+ : a, b)
    for (std::size_t g = 0; g < count; ++g) {
        a += sumK1[g] * C[g];
        b += n[g] * C[g];
    }
    N = a;
    sumC = b;
}

void sumsAtScalar(double* C, const double* middle, const double* n, const double* spread, std::size_t count,
                  double offset, double K, double& S, double& T) {
    sumsAtBody(C, middle, n, spread, count, offset, K, S, T);
}

double squaresAtScalar(const double* C, const double* middle, const double* n, const double* spread,
                       std::size_t count, double K) {
    return squaresAtBody(C, middle, n, spread, count, K);
}

void linearSumsScalar(const double* C, const double* sumK1, const double* n, std::size_t count, double& N,
                      double& sumC) {
    linearSumsBody(C, sumK1, n, count, N, sumC);
}

#if defined(__x86_64__)
// AVX2 without FMA, as the sums were always made: fused products would
// round them differently.
__attribute__((target("avx2"))) void sumsAtAvx2(double* C, const double* middle, const double* n,
                                                const double* spread, std::size_t count, double offset,
                                                double K, double& S, double& T) {
    sumsAtBody(C, middle, n, spread, count, offset, K, S, T);
}

__attribute__((target("avx2"))) double squaresAtAvx2(const double* C, const double* middle, const double* n,
                                                     const double* spread, std::size_t count, double K) {
    return squaresAtBody(C, middle, n, spread, count, K);
}

__attribute__((target("avx2"))) void linearSumsAvx2(const double* C, const double* sumK1, const double* n,
                                                    std::size_t count, double& N, double& sumC) {
    linearSumsBody(C, sumK1, n, count, N, sumC);
}
#endif

// ---- exp(-(A p)) from a nearby law's, and expm1 of small arguments.

// expm1(z) by its Taylor polynomial of degree D in Horner's form,
// z (1 + z (1/2 + z (1/6 + ...))).
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

// f(std::integral_constant<int, D>{}) for the degree D of a near range.
template <typename F> bool withDegree(int degree, F&& f) {
    switch (degree) {
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

bool nearOfScalar(int degree, double dA, double A0, double halfZ, const double* p, const double* p0,
                  const double* e0, double* e, std::size_t n) {
    return withDegree(degree, [&](auto D) { return nearScalar<D>(dA, A0, halfZ, p, p0, e0, e, n); });
}

bool expm1ScaledOfScalar(int degree, double h, const double* L, double* y, std::size_t n, double Z) {
    return withDegree(degree, [&](auto D) { return expm1ScaledScalar<D>(h, L, y, n, Z); });
}

#if defined(__x86_64__)
bool nearOfAvx2(int degree, double dA, double A0, double halfZ, const double* p, const double* p0,
                const double* e0, double* e, std::size_t n) {
    return withDegree(degree, [&](auto D) { return nearAvx2<D>(dA, A0, halfZ, p, p0, e0, e, n); });
}

bool expm1ScaledOfAvx2(int degree, double h, const double* L, double* y, std::size_t n, double Z) {
    return withDegree(degree, [&](auto D) { return expm1ScaledAvx2<D>(h, L, y, n, Z); });
}
#endif

// ---- The tables.

// The tables without AVX2 differ only in their exponential: every other
// kernel is the plain loop around it.
template <void (*Exp)(const double*, double*, std::size_t)>
constexpr Kernels scalarKernels(const char* name) {
    return Kernels{
        .name = name,
        .exp = Exp,
        .powers = powersScalar<Exp>,
        .expNegScaled = expNegScaledScalar<Exp>,
        .timesRatios = timesRatiosScalar,
        .lawPiece = lawPieceScalar,
        .near = nearOfScalar,
        .expm1Scaled = expm1ScaledOfScalar,
        .sumsAt = sumsAtScalar,
        .squaresAt = squaresAtScalar,
        .linearSums = linearSumsScalar,
    };
}

#if defined(__x86_64__)
constexpr Kernels kAvx2{
    .name = "avx2",
    .exp = expAvx2,
    .powers = powersAvx2,
    .expNegScaled = expNegScaledAvx2,
    .timesRatios = timesRatiosAvx2,
    .lawPiece = lawPieceAvx2Either,
    .near = nearOfAvx2,
    .expm1Scaled = expm1ScaledOfAvx2,
    .sumsAt = sumsAtAvx2,
    .squaresAt = squaresAtAvx2,
    .linearSums = linearSumsAvx2,
};
constexpr Kernels kSse2 = scalarKernels<expSse2>("sse2");
#endif
constexpr Kernels kPortable = scalarKernels<expPortable>("portable");

#if defined(__x86_64__)
const bool kHaveAvx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
// The machine's table first; the portable one runs on any x86-64 too.
const std::array<const Kernels*, 3> kRunnable =
    kHaveAvx2 ? std::array<const Kernels*, 3>{&kAvx2, &kSse2, &kPortable}
              : std::array<const Kernels*, 3>{&kSse2, &kPortable, nullptr};
const std::size_t kRunnableCount = kHaveAvx2 ? 3 : 2;
#else
const std::array<const Kernels*, 1> kRunnable{&kPortable};
const std::size_t kRunnableCount = 1;
#endif

const Kernels* active = kRunnable[0];

} // namespace

const Kernels& kernels() {
    return *active;
}

std::span<const Kernels* const> runnableKernels() {
    return {kRunnable.data(), kRunnableCount};
}

UseKernels::UseKernels(const Kernels& k) : before_(active) {
    active = &k;
}

UseKernels::~UseKernels() {
    active = before_;
}

} // namespace relan::smirnov
