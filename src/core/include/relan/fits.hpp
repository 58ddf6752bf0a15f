#pragma once

// The three deterministic searches for the law's parameters. Each is a
// cyclic coordinate search whose number of passes depends only on its
// step-reduction coefficient, so a fit's cost is known before it starts.

#include "relan/criteria.hpp"
#include "relan/log.hpp"
#include "relan/numtext.hpp"
#include "relan/progress.hpp"
#include "relan/state.hpp"

#include <string>

namespace relan {

struct FitOptions {
    double kdiv = 0;                                // step-reduction coefficient, > 1
    PearsonVariant variant = PearsonVariant::Spec1; // Pearson fits only
    NumberFormat fmt;
    LogSink log;
    bool timing = true; // false: the log shows 0:00:00 so that runs can be compared
    // Steps all line searches of a fit may take together before it is ended
    // with an error; 0: a budget from the passes the coefficient gives.
    long long maxSteps = 0;
    // Passes done of the passes the coefficient gives, after every pass, with
    // the model's short name ("Модель 1.1"); a set flag ends the fit with
    // Cancelled within one step of its search.
    ProgressHooks progress;
};

struct FitResult {
    long long passes = 0;
    double criterion = 0; // the fit's own criterion at the stored model
};

// Model 1.1 into the spiral model; with Sred_Opt / SKO_Opt it replaces s.Sred / s.SKO.
FitResult SpirSp_Execute(Analysis& s, const FitOptions& opt);
// Model 1.2 into the Newton model (Arez, Brez receive A and B; pass its A and B).
FitResult Podbor_Weib_Pirson(Analysis& s, double& Arez, double& Brez, const FitOptions& opt);
// Model 2 into the Smirnov model; never changes s.Sred / s.SKO.
FitResult Podbor_Weib_Smirnow(Analysis& s, double& Arez, double& Brez, const FitOptions& opt);

// Passes a search makes from initial steps h to thresholds ee with coefficient
// kdiv; 0 when it would exceed `cap` (or kdiv <= 1: it never ends).
long long predictPasses(const double* h, const double* ee, int n, double kdiv, long long cap);
constexpr long long kMaxFitPasses = 10'000'000;

// Passes the fit will make with this coefficient; 0 when it never ends or
// would exceed kMaxFitPasses.
long long fitPasses(FitKind kind, bool sredOpt, bool skoOpt, double kdiv);

// A model's expected failures per histogram interval (F_Weib, F_norm at
// the interval's midpoint, Kol_F_priv) under the censoring law Sred, SKO.
void modelCurves(const Analysis& s, Mod_Weib& m, double Sred, double SKO);

// Elapsed time in the long time format, "0:00:07".
std::string longTimeText(double seconds);

} // namespace relan
