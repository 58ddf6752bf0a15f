#pragma once

// Goodness-of-fit criteria of a candidate law F(t) = 1 - exp(-A t^B) with
// repetition coefficient K under the censoring law N(Mu, Sig).

#include "relan/state.hpp"

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
double Pirson(const AnalysisState& s, double A, double B, double k_pwt, double Mu, double Sig, Mod_Weib& Mpir,
              PearsonVariant variant);

// The same criterion, evaluated many times by one fit: F, t^B and the
// censoring shares are computed once per interval boundary and reused while
// the parameters they depend on stay the same. Gives bit for bit the value
// of Pirson(); allocates only at construction.
class PearsonCriterion {
public:
    PearsonCriterion(const AnalysisState& s, PearsonVariant variant);
    double operator()(double A, double B, double k_pwt, double Mu, double Sig, Mod_Weib& Mpir);

private:
    const AnalysisState& s_;
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
double Pirson_ZFGen(const AnalysisState& s, double A, double B, double k_pwt, double Mu, double Sig,
                    Mod_Weib& target);

// Smirnov criterion on the individual failures. Reads the censoring share of
// each failure from s.MSmirn.F_norm; Mu and Sig are not used.
double Smirnow(const AnalysisState& s, double A, double B, double K_powt, double Mu, double Sig);

// Repeated evaluation of Smirnow() with per-failure caches; same values.
class SmirnovCriterion {
public:
    explicit SmirnovCriterion(const AnalysisState& s);
    double operator()(double A, double B, double K_powt);

private:
    const AnalysisState& s_;
    std::vector<double> x_;       // failure times, x_[0] = 0, x_[k + 1] = failure k
    std::vector<double> inWarr_;  // 1 - F_norm[k]
    std::vector<double> powB_;    // x^B
    std::vector<double> F_;       // weibCDF per failure time
    std::vector<double> weighted_; // weibCDF2 * (1 - F_norm) * Izd_Prived per failure
    double cachedA_ = 0;
    double cachedB_ = 0;
    bool haveB_ = false;
    bool haveF_ = false;
};

// Kolmogorov statistic of the law against the failures and its verdict at
// the 5 % level: " <1.3581(0.05)" or " >1.3581(0.05)".
void Kolmogor(const AnalysisState& s, double Kpwt, double A, double B, double Mu, double Sig, double& KolmCrt,
              std::string& S);

constexpr double kKolmogorovCritical = 1.3581;

} // namespace relan
