#include "relan/criteria.hpp"

#include "relan/special.hpp"

#include <cmath>
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

double Pirson(const AnalysisState& s, double A, double B, double k_pwt, double Mu, double Sig, Mod_Weib& Mpir,
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

PearsonCriterion::PearsonCriterion(const AnalysisState& s, PearsonVariant variant) : s_(s), variant_(variant) {
    const auto& h = s.Hist_Arr;
    t_.assign(h.size() + 1, 0.0);
    observed_.resize(h.size());
    for (std::size_t i = 0; i < h.size(); ++i) {
        t_[i + 1] = h[i].time;
        observed_[i] = h[i].Sum;
    }
    powB_.resize(t_.size());
    F_.resize(t_.size());
    G_.resize(h.size());
}

double PearsonCriterion::operator()(double A, double B, double k_pwt, double Mu, double Sig, Mod_Weib& Mpir) {
    const std::size_t n = observed_.size();
    if (!haveG_ || Mu != cachedMu_ || Sig != cachedSig_) {
        for (std::size_t i = 0; i < n; ++i) G_[i] = CDF_Gauss(Mu, Sig, (t_[i + 1] + t_[i]) / 2);
        cachedMu_ = Mu;
        cachedSig_ = Sig;
        haveG_ = true;
    }
    if (!haveB_ || B != cachedB_) {
        for (std::size_t i = 0; i < t_.size(); ++i) powB_[i] = std::pow(t_[i], B);
        cachedB_ = B;
        haveB_ = true;
        haveF_ = false;
    }
    if (!haveF_ || A != cachedA_) {
        for (std::size_t i = 0; i < t_.size(); ++i) F_[i] = weibFromPow(A, B, powB_[i]);
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

double Pirson_ZFGen(const AnalysisState& s, double A, double B, double k_pwt, double Mu, double Sig,
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

double Smirnow(const AnalysisState& s, double A, double B, double K_powt, double /*Mu*/, double /*Sig*/) {
    double sum = 0;
    double cum = 0;
    double prev = 0;
    for (std::size_t k = 0; k < s.MasProbl.size(); ++k) {
        const double x = s.MasProbl[k].time;
        cum += weibCDF2(A, B, prev, x) * (1 - s.MSmirn.F_norm[k]) * s.Izd_Prived * K_powt;
        const double d = static_cast<double>(k + 1) - cum;
        sum += d * d;
        prev = x;
    }
    return std::sqrt(sum) / s.Kol_izw;
}

SmirnovCriterion::SmirnovCriterion(const AnalysisState& s) : s_(s) {
    const std::size_t m = s.MasProbl.size();
    x_.assign(m + 1, 0.0);
    inWarr_.resize(m);
    for (std::size_t k = 0; k < m; ++k) {
        x_[k + 1] = s.MasProbl[k].time;
        inWarr_[k] = 1 - s.MSmirn.F_norm[k];
    }
    powB_.resize(m + 1);
    F_.resize(m + 1);
    weighted_.resize(m);
}

double SmirnovCriterion::operator()(double A, double B, double K_powt) {
    const std::size_t m = inWarr_.size();
    if (!haveB_ || B != cachedB_) {
        for (std::size_t k = 0; k <= m; ++k) powB_[k] = std::pow(x_[k], B);
        cachedB_ = B;
        haveB_ = true;
        haveF_ = false;
    }
    if (!haveF_ || A != cachedA_) {
        for (std::size_t k = 0; k <= m; ++k) F_[k] = weibFromPow(A, B, powB_[k]);
        for (std::size_t k = 0; k < m; ++k)
            weighted_[k] = weibIncrement(A, B, F_[k], F_[k + 1]) * inWarr_[k] * s_.Izd_Prived;
        cachedA_ = A;
        haveF_ = true;
    }
    double sum = 0;
    double cum = 0;
    for (std::size_t k = 0; k < m; ++k) {
        cum += weighted_[k] * K_powt;
        const double d = static_cast<double>(k + 1) - cum;
        sum += d * d;
    }
    return std::sqrt(sum) / s_.Kol_izw;
}

void Kolmogor(const AnalysisState& s, double Kpwt, double A, double B, double Mu, double Sig, double& KolmCrt,
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
