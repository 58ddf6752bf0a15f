#pragma once

// The analysis in its parts: the loaded data, the censoring settings, the
// histogram, the models' results and the genetic search's own state, and the
// Analysis that holds them for whoever drives the computations (the window or
// the command line). Field names follow the vocabulary of the reliability
// engineers who use the tool; the transliterated names (Kol_Izd_All, Sred,
// SKO ...) are kept so that figures in logs, reports and files read the same
// everywhere (docs/glossary.md).

#include "relan/models.hpp"
#include "relan/warnings.hpp"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace relan {

struct LikelihoodFit;

constexpr int Mx_prich = 18;   // largest number of failure causes; tables run 0..18
constexpr int N_Param_Opt = 5; // largest number of genetic-search parameters; vectors run 1..5

using RealArray = std::vector<double>;
// Indexed 1..N_Param_Opt as in every formula of the fits; element 0 is unused.
using OptArray = std::array<double, N_Param_Opt + 1>;

// One documented failure.
struct Problems {
    double time = 0;     // operating time, hours
    int chey = 0;        // cause index into Vidy_otkazov; 0 = cause not established
    std::string komment; // what was repaired or replaced (text after "* ")
};

// One failure cause.
struct Vid_otkaza {
    std::string Nazv_Prich;
    double Dolya = 0; // number of failure lines naming the cause
};

// One histogram interval; its left boundary is the previous interval's time.
struct Hist_Rec {
    double time = 0;
    std::array<int, Mx_prich + 1> Npr{}; // per cause 1..18; Npr[0] stays 0
    int Nund = 0;                        // failures with cause 0
    int Sum = 0;                         // all failures of the interval
};

// One fitted failure law F(t) = 1 - exp(-A t^B) with its repetition
// coefficient and the censoring law it was fitted with.
struct Mod_Weib {
    double A = 0;
    double B = 0;
    double Kol_Nakopl = 0;
    double SKO = 0;
    double Sred = 0;
    double K_powtor = 0;
    double SKO_out = 0;
    double Unsens = 0;
    double KolmCrt = 0;
    RealArray Kol_F_priv;
    RealArray F_Weib;
    RealArray F_norm;
    bool Executed = false;
    std::vector<LimitHit> atLimit; // set by the fit that stored the model
};

struct WeibKf {
    double A = 0;
    double B = 0;
};

// Search ranges of the genetic optimiser: row 1 lower bounds, row 2 widths,
// parameters 1 = B, 2 = A, 3 = K_powtor, 4 = censoring mean (or SD), 5 = SD.
// Index 0 of both dimensions is unused so the formulas keep their numbering.
using AlimTable = std::array<std::array<double, N_Param_Opt + 1>, 3>;
inline constexpr AlimTable kAlimInitial = {{
    {0, 0, 0, 0, 0, 0},
    {0, 0.00001, 0.00001, 0.1, 80, 30},
    {0, 5, 5, 5, 500, 100},
}};

// What a load fixes: the fleet, its documented failures and their causes, and
// the figures derived from them. Only the two loads write it.
struct LoadedData {
    std::vector<Problems> MasProbl;
    std::array<Vid_otkaza, Mx_prich + 1> B_otk{};
    std::array<Vid_otkaza, Mx_prich + 1> Vidy_otkazov{};
    std::string Comment;
    int Kol_Izd_All = 0;
    int KolOtk = 0;
    int Kol_izw = 0;
    int NPrich = 0; // cause count of the last failure-data file
    // Failures whose source names more than one cause: each is counted in
    // the Dolya of every cause it names, so the causes add up to more than
    // the failures.
    int multiCauseFailures = 0;
    double Popravka_Unknow = 0;
    double Izd_Prived = 0;
    double T90expl = 0;
    double T80expl = 0;
    double T50expl = 0;
    double t50zen = 0;
    double T20expl = 0;
    double T10expl = 0;
    double Otk_Izd = 0;
    bool uk = false;
    std::string Path;
    RealArray MasTGarant; // the terms of the last warranty-term file
};

// The censoring law the models are fitted under and the counting period. A
// load sets them from its file; a calculation from the fields, and a fit that
// searches the law replaces them with what it found.
struct CensoringSettings {
    double Sred = 0;
    double SKO = 0;
    double tGar = 0;
    bool Sred_Opt = false;
    bool SKO_Opt = false;
};

// The failure histogram and the sums the charts keep over it.
struct HistogramData {
    std::vector<Hist_Rec> Hist_Arr;
    int D_Hist1 = 0;
    int D_Hist2 = 0;
    std::array<double, Mx_prich + 1> Sum_PrichRow{};
    std::array<double, Mx_prich + 1> Sum_PrichCol{};
    RealArray F_OutGar;
    double SumNund = 0;
};

// One entry per model of the registry, and the modelled histogram of the
// last model computed.
struct ModelResults {
    PerModel<Mod_Weib> models;
    std::shared_ptr<const LikelihoodFit> likelihoodFit; // the likelihood model's intervals and warnings
    RealArray Mas_Out_Like;
    double Kol_Nakopl_Like = 0;
};

// What the genetic search carries from one run to the next.
struct GeneticState {
    AlimTable Alim = kAlimInitial;
    OptArray NormA{};
    OptArray Ao{};
    OptArray Aopt{};
    double Precision = 0;
    int iop = 0;
    bool bCopyBest = false;
    int iMaxBest = 0;
};

// The whole analysis as the window and the command line hold it: the five
// parts side by side. A computation names the parts it reads (a const
// LoadedData&, a const HistogramData& ...) and an Analysis passes as any of
// them; the drivers copy an Analysis in, run, and hand the results back.
struct Analysis : LoadedData, CensoringSettings, HistogramData, ModelResults, GeneticState {};

// A copy of `s` without its failures, for a reader of its other figures or a
// load that replaces the failures anyway: a large fleet's failures are most
// of the state. `s` is left as it was, also when the copy fails.
inline Analysis withoutFailures(Analysis& s) {
    std::vector<Problems> failures = std::move(s.MasProbl);
    try {
        Analysis copy = s;
        s.MasProbl = std::move(failures);
        return copy;
    } catch (...) {
        s.MasProbl = std::move(failures);
        throw;
    }
}

} // namespace relan
