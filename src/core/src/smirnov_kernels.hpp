#pragma once

// The loops of the Smirnov estimate over the distinct failure times, in a
// table of functions chosen once when the program starts: the AVX2 forms
// with libmvec's four-wide exponential where the processor has AVX2 and
// FMA, the SSE2 forms with its two-wide one on any other x86-64, and the
// portable forms with std::exp elsewhere. Every form of a kernel stays
// within the accuracy the error bound (smirnov_bound.hpp) counts on, so
// the estimate's decisions do not depend on the table; the tests run every
// table this machine can run, the portable one included.

#include <cstddef>
#include <span>

namespace relan::smirnov {

// One piece of a law: the weighted increments from e = exp(-A x^B), their
// running sums from `carry` into C, and, unless the piece's sums start
// from an offset still unknown, the squared deviations at K and T. The
// pass after the exponential, in one sweep.
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

struct Kernels {
    const char* name;
    // y = exp(x), within 4 ulp.
    void (*exp)(const double* x, double* y, std::size_t n);
    // y = exp(B L), 0 where L is -inf (a failure at time 0); `scratch`
    // holds n exponents for the forms that need them.
    void (*powers)(double B, const double* L, double* y, double* scratch, std::size_t n);
    // y = exp(-(A p)), as exp of the products would give.
    void (*expNegScaled)(double A, const double* p, double* y, std::size_t n);
    // y = p (1 + m) with one rounding.
    void (*timesRatios)(const double* p, const double* m, double* y, std::size_t n);
    // The piece's pass; returns the last running sum. `w` holds n
    // increments for the forms that need them.
    double (*lawPiece)(const Piece& p, double carry, bool withSums, PieceSums& out, double* w);
    // e = e0 (1 + expm1(z)), z = -(dA p + A0 (p - p0)), expm1 by its Taylor
    // polynomial of `degree` (one of the near ranges'); false where some
    // |A0 (p - p0)| exceeds halfZ (or is NaN), and e is then not to be used.
    bool (*near)(int degree, double dA, double A0, double halfZ, const double* p, const double* p0,
                 const double* e0, double* e, std::size_t n);
    // y = expm1(h L) by the polynomial of `degree`; false where some
    // |h L| exceeds Z (or is NaN).
    bool (*expm1Scaled)(int degree, double h, const double* L, double* y, std::size_t n, double Z);
    // Moves running sums by `offset` and adds up, at K, the squared
    // deviations of the groups (with their spreads) and T.
    void (*sumsAt)(double* C, const double* middle, const double* n, const double* spread, std::size_t count,
                   double offset, double K, double& S, double& T);
    // The squared deviations of the groups at K from running sums already
    // made.
    double (*squaresAt)(const double* C, const double* middle, const double* n, const double* spread,
                        std::size_t count, double K);
    // N and the sum of C over the failures.
    void (*linearSums)(const double* C, const double* sumK1, const double* n, std::size_t count, double& N,
                       double& sumC);
};

// The table this machine runs, unless a test has put another in its place.
const Kernels& kernels();
// Every table this machine can run, the one kernels() chose first.
std::span<const Kernels* const> runnableKernels();

// Puts `k` in the place of the chosen table while it lives, for the tests
// that run the estimate on each table. An estimate takes its table when it
// is made.
class UseKernels {
  public:
    explicit UseKernels(const Kernels& k);
    ~UseKernels();
    UseKernels(const UseKernels&) = delete;
    UseKernels& operator=(const UseKernels&) = delete;

  private:
    const Kernels* before_;
};

} // namespace relan::smirnov
