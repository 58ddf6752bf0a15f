#pragma once

// Goodness-of-fit criteria of a candidate law F(t) = 1 - exp(-A t^B) with
// repetition coefficient K under the censoring law N(Mu, Sig).

#include "relan/split_in_two.hpp"
#include "relan/state.hpp"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace relan {

// Items of the radio group "Критерии подбора закона распределения".
enum class PearsonVariant { Standard = 0, Spec1 = 1, Spec2 = 2 };

// Pearson-type criterion on the histogram; fills Mpir's F_norm, F_Weib and
// Kol_F_priv (sized by the caller to the number of intervals). Under
// "Стандарт" an interval whose expected count is 0 scores 0 when it is empty
// too and +infinity otherwise, so that a search treats such a law as the
// worst possible instead of failing on a division by zero.
double Pirson(const Analysis& s, double A, double B, double k_pwt, double Mu, double Sig, Mod_Weib& Mpir,
              PearsonVariant variant);

// The same criterion, evaluated many times by one fit: F, t^B and the
// censoring shares are computed once per interval boundary and reused while
// the parameters they depend on stay the same. Gives bit for bit the value
// of Pirson(); allocates only at construction.
class PearsonCriterion {
  public:
    PearsonCriterion(const Analysis& s, PearsonVariant variant);
    double operator()(double A, double B, double k_pwt, double Mu, double Sig, Mod_Weib& Mpir);

  private:
    const Analysis& s_;
    PearsonVariant variant_;
    std::vector<double> t_;        // boundaries, t_[0] = 0, t_[i + 1] = right end of interval i
    std::vector<double> observed_; // O(i)
    std::vector<double> powB_;     // t^B per boundary, for cachedB_
    std::vector<double> F_;        // weibCDF per boundary, for cachedA_ / cachedB_
    double cachedB_ = 0;
    double cachedA_ = 0;
    bool haveB_ = false;
    bool haveF_ = false;
    std::vector<double> G_; // censoring share at the midpoints, for cachedMu_ / cachedSig_
    double cachedMu_ = 0;
    double cachedSig_ = 0;
    bool haveG_ = false;
};

// Variant for the genetic optimiser: deviations weighted by the interval's
// probability, SKO_out and Kol_Nakopl set in `target`, and a penalty for a
// repetition coefficient above the optimiser's range (Alim).
double Pirson_ZFGen(const Analysis& s, double A, double B, double k_pwt, double Mu, double Sig,
                    Mod_Weib& target);

// Smirnov criterion on the individual failures. Reads the censoring share of
// each failure from the Smirnov model's F_norm; Mu and Sig are not used.
double Smirnow(const Analysis& s, double A, double B, double K_powt, double Mu, double Sig);

// What fixes a rigorous bound on the rounding of the Smirnov criterion's
// evaluation along K at a fixed law: C(k), the exact running sums of the
// weighted increments, through T = sum C(k)^2 and N = sum (k + 1) C(k), each
// known to a relative rho.
struct SmirnovKBound {
    bool usable = false;
    double T = 0, N = 0;
    double rho = 0;    // relative error bound of T and N
    double normC = 0;  // >= sqrt(T)
    double gammaM = 0; // rounding of the sum of m squares
    double G = 0;      // rounding of a running sum, relative to K C(k)
    double kappa = 0;  // Kol_izw
};

// The rounding bounds of an evaluation over m failures, with T, N and rho
// still to be filled in; not usable when m or Kol_izw rule the bound out.
SmirnovKBound smirnovRoundingBound(std::size_t m, double Kol_izw);

// Upper bound of the norm of the exact deviations at K when the evaluation
// gave `value` there.
double smirnovNormBound(const SmirnovKBound& b, double K, double value);

// Whether the criterion at K1 certainly lies strictly below the one at K0
// (Falls), certainly not (DoesNotFall), or the bound cannot tell; R bounds
// the norm of the exact deviations at K0.
enum class SmirnovMove { Falls, DoesNotFall, Unknown };
SmirnovMove smirnovAlongK(const SmirnovKBound& b, double K0, double K1, double R);

// How many steps of h from K0, each from the K the previous one reached by
// adding h, certainly fall one after another: the largest n <= nMax for
// which every one of them would be found to fall, or 0.
long long smirnovRunAlongK(const SmirnovKBound& b, double K0, double h, double R, long long nMax);

// Repeated evaluation of Smirnow() by the Smirnov fit; bit for bit the same
// values. The weighted increments of F are kept for the last three laws
// (A, B) and the powers x^B for the last two shapes: a coordinate search
// returns to its last accepted point after one or two rejected trials, and
// must not pay for that point again. Equal failure times share one power and
// one F.
class SmirnovCriterion {
  public:
    // `split`: the caller's worker thread to halve long loops with, or
    // null for one of its own.
    explicit SmirnovCriterion(const Analysis& s, SplitInTwo* split = nullptr);
    double operator()(double A, double B, double K_powt);
    // The criterion of one law at up to kAtOnce values of K, each bit for
    // bit what operator() gives. Each sum waits on its own running sum, so
    // several run side by side in about the time of one.
    static constexpr std::size_t kAtOnce = 4;
    void atK(double A, double B, const double* K, double* value, std::size_t n);

  private:
    struct Powers {
        double B = 0;
        bool valid = false;
        std::vector<double> pow; // x^B per distinct time
    };
    struct Law {
        double A = 0, B = 0;
        bool valid = false;
        unsigned long long used = 0;
        std::vector<double> weighted; // weibCDF2 * (1 - F_norm) * Izd_Prived per failure
    };

    const Powers& powersFor(double B);
    Law* find(double A, double B);
    const Law& lawOf(double A, double B);
    // Fills the least recently used slot with the law (A, B).
    Law& newLaw(double A, double B);
    double valueOf(double sum) const;

    const Analysis& s_;
    std::vector<double> x_;           // the distinct times, 0 first
    std::vector<std::size_t> timeOf_; // x_[timeOf_[k + 1]] is the time of failure k; timeOf_[0] = 0
    std::vector<double> inWarr_;      // 1 - F_norm[k]
    std::vector<double> F_;           // scratch: weibCDF per distinct time
    std::array<Powers, 2> powers_;
    std::size_t lastPowers_ = 0;
    std::array<Law, 3> laws_;
    unsigned long long clock_ = 0;
    std::unique_ptr<SplitInTwo> ownSplit_;
    SplitInTwo* split_;
};

// Kolmogorov statistic of the law against the failures and its verdict at
// the 5 % level: " <1.3581(0.05)" or " >1.3581(0.05)".
void Kolmogor(const Analysis& s, double Kpwt, double A, double B, double Mu, double Sig, double& KolmCrt,
              std::string& S);

constexpr double kKolmogorovCritical = 1.3581;

} // namespace relan
