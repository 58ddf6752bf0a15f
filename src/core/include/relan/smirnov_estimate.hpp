#pragma once

// A fast estimate of the Smirnov criterion with a rigorous bound on how far
// the exact evaluation (SmirnovCriterion, failure by failure, with the
// library's pow and exp) can lie from it. The Smirnov fit compares
// criteria tens of thousands of times; almost every comparison is decided
// by the bounds, and only the close ones pay for the exact evaluation, so
// the search takes the same path as if every trial were evaluated exactly.
//
// The estimate works on the distinct failure times: failures sharing a time
// share the law's increment, and the squared deviations of such a group sum
// in closed form. F is computed with vectorised exponentials; their error
// enters the bound, which docs/smirnov-bound.md derives term by term.

#include "relan/criteria.hpp"
#include "relan/split_in_two.hpp"
#include "relan/state.hpp"

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

namespace relan {

namespace smirnov {
struct Kernels;
}

// Bounds on sqrt(S) for the sum S the exact evaluation computes, and an
// upper bound on the norm of the deviations in exact arithmetic.
struct SmirnovBounds {
    double lo = 0, hi = 0;
    double normHi = 0;
    bool usable = false; // false: nothing is known, evaluate exactly
};

class SmirnovEstimator {
  public:
    // `split` as for SmirnovCriterion.
    explicit SmirnovEstimator(const Analysis& s, SplitInTwo* split = nullptr);
    SmirnovBounds at(double A, double B, double K);
    // What a line search along K needs of the law (A, B): T and N of the
    // exact evaluation's running sums, within the relative error it names.
    SmirnovKBound quadratic(double A, double B);

    // The vector exponential the estimate uses, open to the test of its
    // accuracy. These take the table of kernels chosen at the call.
    static void expInto(const double* x, double* y, std::size_t n);
    // expm1 of arguments within Z (at most 1/16) by a short Taylor
    // polynomial, within 2.3 u |x| and expm1SmallError(Z); false, and y not
    // to be used, where an argument lies beyond Z.
    static bool expm1Small(const double* x, double* y, std::size_t n, double Z);
    static double expm1SmallError(double Z);
    // e = exp(-(A p)) from e0 = exp(-(A0 p0)) at a nearby law, by a short
    // Taylor polynomial instead of an exponential, when every
    // |A p - A0 p0| stays within Z (at most 1/16); false where one does not.
    static bool expNear(double A, const double* p, double A0, const double* p0, const double* e0, double* e,
                        std::size_t n, double Z);
    // How far expNear's e may lie from exp(-(A p)) when e0 lies within
    // err0 of exp(-(A0 p0)).
    static double expNearError(double err0, double Z);

  private:
    struct Law {
        double A = 0, B = 0;
        bool valid = false;
        unsigned long long used = 0;
        std::vector<double> C; // running sum of the weighted increments per group
        double a = 0;          // |C~(k) - C(k)| <= a + b C~(k)
        double b = 0;
        double T = 0, N = 0, sumC = 0; // over failures: sum C^2, sum (k+1) C, sum C
        bool finite = false;
        bool haveSums = false;
        SmirnovKBound quadratic;
        bool haveQuadratic = false;
    };
    struct Powers {
        double B = 0;
        bool valid = false;
        double epsF = 0; // absolute bound of |F estimated - F exact| with these powers
        double rel = 0;  // relative bound of |p - x^B| / x^B
        std::vector<double> p;
        // Not null: p is still to be made from these powers by the ratios,
        // which the next law's pass does on its way.
        const Powers* base = nullptr;
    };

    // The last law made with fresh exponentials: the laws near it take
    // theirs from its exponentials by expNear.
    struct Root {
        bool valid = false;
        double A = 0, B = 0;
        double pmax = 0; // >= every power of the root
        std::vector<double> e, p;
    };
    struct Derivation {
        bool on = false; // false: fresh exponentials
        double Z = 0;    // the range of |A p - A0 p0| and its polynomial's degree
        int degree = 0;
        double dA = 0;
        double err = 0; // bound of |e - exp(-(A p))|
    };
    Derivation derivationFor(double A, double B, const Powers& pw) const;
    double powerCeiling(double B, const Powers& pw) const;

    Law* find(double A, double B);
    // Fills the least recently used slot with the law (A, B) and gives the
    // estimate's sum of squares at K, made on the way.
    Law& newLaw(double A, double B, double K, double& S);
    double sumAt(const Law& l, double K);
    Powers& powersFor(double B);
    // x^B from the powers at a nearby B by products; false where that is
    // not worth its error.
    bool derivedPowers(const Powers& base, double B, double fresh, Powers& pw);
    static void setErrorOfF(Powers& pw);
    // N and the sum of C, made when first needed.
    void sums(Law& l) const;
    SmirnovKBound quadraticOf(Law& l) const;

    const Analysis& s_;
    std::size_t m_ = 0;
    std::vector<double> L_;      // log of each distinct time > 0
    std::vector<double> Lzero_;  // the same with 0 for a time 0
    std::vector<double> n_;      // failures per distinct time
    std::vector<double> first_;  // k + 1 of the first failure of each group
    std::vector<double> sumK1_;  // sum of k + 1 over each group
    std::vector<double> middle_; // mean of k + 1 over each group
    std::vector<double> spread_; // n (n^2 - 1) / 12 of each group
    std::vector<double> inWarr_; // 1 - F_norm, per group
    std::vector<double> weight_; // inWarr Izd_Prived, per group
    double spreadsHead_ = 0;     // sum of spread over the groups before a split law's second half
    double variation_ = 0;       // total variation of inWarr along the groups, plus its last value
    double cubes_ = 0;           // sum n^3 over the groups
    double Lmax_ = 0;
    double Lpos_ = 0; // log of the latest time, or 0
    Root root_;
    std::vector<double> scratch_, e_; // per group
    std::array<Powers, 2> powers_;
    std::size_t lastPowers_ = 0;
    std::vector<double> ratio_; // expm1(h ln x) per group, for the step ratioH_
    double ratioH_ = 0;
    std::array<Law, 3> laws_;
    unsigned long long clock_ = 0;
    std::unique_ptr<SplitInTwo> ownSplit_;
    SplitInTwo* split_;
    // The loops' table, taken when the estimator is made.
    const smirnov::Kernels* k_;
};

// The current point of the Smirnov fit's search and the comparisons of its
// line searches. A trial is first compared by the estimate's bounds, then,
// along K, by the bound of the quadratic the criterion's square is in K;
// only a comparison neither settles is made on exact values. Each decision
// is the one the exact values give, so the search takes their path.
class SmirnovSearch {
  public:
    struct Point {
        double A = 0, B = 0, K = 0;
    };
    SmirnovSearch(const Analysis& s, const Point& start);
    const Point& point() const { return x_; }

    // Whether the criterion at `trial` lies strictly below the current one;
    // if so the trial becomes the current point.
    bool fallsTo(const Point& trial);
    // The same for a trial that only changes K, K1 = K + h for the line's
    // step h.
    bool fallsAlongK(double K1, double h);
    // A line along K walks hundreds of steps towards the vertex of the
    // criterion's quadratic: the number of steps of h from the current
    // point that certainly fall one after another, at most nMax, and the
    // move to where such a run ends.
    long long certainFallsAlongK(double h, long long nMax);
    void moveAlongK(double K);
    // The criterion at the current point, bit for bit the direct evaluation.
    double value();

  private:
    // fallsTo; along K with the line's step h, else h = 0.
    bool falls(const Point& trial, double h);
    // The exact criterion at p. A line along K whose steps the bounds
    // cannot settle asks for one exact value after another: the next
    // steps' values come with the first, in the same pass.
    double exactAt(const Point& p);
    void lookAhead(const Point& trial, double h);
    const SmirnovBounds& bounds();
    double normBound();
    void moveTo(const Point& x, const SmirnovBounds& b);

    // One worker thread for both: two would spin against each other for
    // the machine's cores.
    SplitInTwo split_;
    SmirnovCriterion exact_;
    SmirnovEstimator estimate_;
    Point x_;
    double value_ = 0;
    bool known_ = true;
    SmirnovBounds bounds_;
    bool haveBounds_ = false;
    double R_ = 0; // bounds the exact deviations' norm at x_; infinite: not known
    struct Ahead {
        double A = 0, B = 0;
        std::size_t n = 0;
        std::array<double, SmirnovCriterion::kAtOnce> K{}, value{};
        const double* find(const Point& p) const; // the value at p, if made
    } ahead_;
};

} // namespace relan
