#include "relan/fits.hpp"

#include "relan/error.hpp"
#include "relan/smirnov_estimate.hpp"
#include "relan/special.hpp"
#include "relan/warning_text.hpp"

#include <array>
#include <chrono>
#include <cmath>
#include <string_view>
#include <vector>

namespace relan {
namespace {

using Vec = std::array<double, N_Param_Opt + 1>; // coordinates 1..5

// The fits as messages name them.
constexpr const char* kModelSpiral = "Модель 1.1 (по Пирсону, метод спирального спуска)";
constexpr const char* kModelNewton = "Модель 1.2 (по Пирсону, метод Ньютона)";
constexpr const char* kModelSmirnov = "Модель 2 (по Смирнову)";

struct Coordinates {
    int Np = 3;
    Vec start{}, lo{}, hi{}, h{}, ee{};
    std::array<SearchParameter, N_Param_Opt + 1> name{};
    void set(int j, SearchParameter param, double st, double min, double max, double step, double eps) {
        name[j] = param;
        start[j] = st;
        lo[j] = min;
        hi[j] = max;
        h[j] = step;
        ee[j] = eps;
    }
};

bool stepsBelowThresholds(const Vec& h, const Vec& ee, int Np) {
    for (int i = 1; i <= Np; ++i)
        if (!(std::fabs(h[i]) < ee[i])) return false;
    return true;
}

class Stopwatch {
  public:
    explicit Stopwatch(bool on) : on_(on), t0_(std::chrono::steady_clock::now()) {}
    std::string text() const {
        if (!on_) return longTimeText(0);
        return longTimeText(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count());
    }

  private:
    bool on_;
    std::chrono::steady_clock::time_point t0_;
};

// The passes the search will make; a coefficient that would never end it is
// refused before anything changes.
long long checkKdiv(const Coordinates& c, double kdiv) {
    if (!(kdiv > 1)) throw Error("Коэффициент уменьшения шага должен быть больше 1");
    const long long passes = predictPasses(&c.h[1], &c.ee[1], c.Np, kdiv, kMaxFitPasses);
    if (passes == 0)
        throw Error("Коэффициент уменьшения шага слишком близок к 1: поиск не закончится за " +
                    std::to_string(kMaxFitPasses) + " проходов");
    return passes;
}

void sizeArrays(Mod_Weib& m, std::size_t n) {
    m.F_Weib.assign(n, 0.0);
    m.F_norm.assign(n, 0.0);
    m.Kol_F_priv.assign(n, 0.0);
}

// Warranty law a Pearson criterion is evaluated with, by the two boxes.
struct WarrantyChoice {
    bool sredOpt, skoOpt;
    double Sred, SKO;
    double mu(const Vec& a) const { return sredOpt ? a[4] : Sred; }
    double sig(const Vec& a) const { return skoOpt ? (sredOpt ? a[5] : a[4]) : SKO; }
};

// Fitted warranty parameters replace the global ones for the rest of the calculation.
void takeFittedWarranty(Analysis& s, const Vec& a) {
    if (s.Sred_Opt && !s.SKO_Opt) s.Sred = a[4];
    if (s.SKO_Opt && !s.Sred_Opt) s.SKO = a[4];
    if (s.Sred_Opt && s.SKO_Opt) {
        s.Sred = a[4];
        s.SKO = a[5];
    }
}

// The per-interval arrays of a stored model, as the results window shows them.
void finalPass(const Analysis& s, Mod_Weib& m) {
    modelCurves(s, m, s.Sred, s.SKO);
}

Coordinates spiralCoordinates(bool sredOpt, bool skoOpt) {
    Coordinates c;
    c.Np = 3 + (sredOpt ? 1 : 0) + (skoOpt ? 1 : 0);
    c.set(1, SearchParameter::B, 0.001, 0, 7, 0.001, 1e-7);
    c.set(2, SearchParameter::A, 0.001, 0, 10, 5e-5, 1e-8);
    c.set(3, SearchParameter::K, 1, 0, 30, 0.001, 1e-6);
    if (sredOpt) c.set(4, SearchParameter::Sred, 400, 0, 3000, 0.25, 0.01);
    if (skoOpt) c.set(c.Np, SearchParameter::SKO, 100, 0, 900, 0.5, 0.1);
    return c;
}

Coordinates newtonCoordinates(bool sredOpt, bool skoOpt) {
    Coordinates c;
    c.Np = 3 + (sredOpt ? 1 : 0) + (skoOpt ? 1 : 0);
    c.set(1, SearchParameter::B, 1, 0.001, 200, 0.1, 1e-9);
    c.set(2, SearchParameter::A, 0.5, 0.001, 5, 0.001, 1e-9);
    c.set(3, SearchParameter::K, 1, 0.1, 30, 0.1, 1e-8);
    if (sredOpt && skoOpt) {
        c.set(4, SearchParameter::Sred, 500, 150, 3000, 1, 0.05);
        c.set(5, SearchParameter::SKO, 150, 30, 900, 1, 0.005);
    } else if (sredOpt) {
        c.set(4, SearchParameter::Sred, 500, 150, 3000, 1, 0.05);
    } else if (skoOpt) {
        c.set(4, SearchParameter::SKO, 150, 30, 900, 5, 0.01);
    }
    return c;
}

Coordinates smirnovCoordinates() {
    Coordinates c;
    c.Np = 3;
    c.set(1, SearchParameter::A, 0.0005, 1e-10, 0.01, 0.0001, 1e-8);
    c.set(2, SearchParameter::B, 1, 0.3, 5, 0.001, 1e-7);
    c.set(3, SearchParameter::K, 1, 0.1, 30, 0.001, 1e-7);
    return c;
}

Coordinates coordinatesOf(FitKind kind, bool sredOpt, bool skoOpt) {
    switch (kind) {
    case FitKind::Spiral:
        return spiralCoordinates(sredOpt, skoOpt);
    case FitKind::Newton:
        return newtonCoordinates(sredOpt, skoOpt);
    case FitKind::Smirnov:
        break;
    }
    return smirnovCoordinates();
}

// Under "Стандарт" a deviation is divided by the expected count. With the
// censoring law fixed, an interval with failures whose midpoint lies after
// every warranty has ended expects nothing under any law: the criterion is
// infinite everywhere and the search would wander over a flat landscape.
void checkStandardApplicable(const Analysis& s, PearsonVariant variant, const NumberFormat& fmt) {
    if (variant != PearsonVariant::Standard || s.Sred_Opt || s.SKO_Opt) return;
    double prev = 0;
    for (std::size_t i = 0; i < s.Hist_Arr.size(); ++i) {
        const auto& r = s.Hist_Arr[i];
        if (r.Sum > 0 && 1 - CDF_Gauss(s.Sred, s.SKO, (prev + r.time) / 2) == 0)
            throw Error("Критерий «Стандарт» не применим: в интервале " + std::to_string(i + 1) + " (" +
                        formatGeneral(prev, fmt) + "–" + formatGeneral(r.time, fmt) +
                        " ч) есть отказы, а доля изделий на гарантии равна 0, поэтому ожидаемое число "
                        "отказов равно 0 при любом законе");
        prev = r.time;
    }
}

// With the censoring law fixed and no product left under warranty at any
// interval of the histogram, every law expects no failure: the criterion is
// the same everywhere and a search would walk its whole range at its finest
// step for ever. Nothing can be fitted then.
void checkSomeProductsUnderWarranty(const Analysis& s, const char* model, const NumberFormat& fmt) {
    double prev = 0;
    for (const Hist_Rec& r : s.Hist_Arr) {
        if (1 - CDF_Gauss(s.Sred, s.SKO, (prev + r.time) / 2) > 0) return;
        prev = r.time;
    }
    throw Error(
        std::string(model) + " не может быть подобрана: при среднем времени гарантии " +
        formatGeneral(s.Sred, fmt) + " ч и СКО " + formatGeneral(s.SKO, fmt) +
        " ч ни одно изделие не остаётся на гарантии на наработках гистограммы (до " +
        formatGeneral(prev, fmt) +
        " ч), ожидаемое число отказов равно 0 при любом законе. Проверьте поля «Среднее время гарантии» "
        "и «СКО времени гарантии»");
}

// Every step of a line search spends one unit. The passes of a search are
// known in advance from its coefficient, but not how far each line search
// walks; a landscape that is flat or almost flat lets it walk its whole range
// at the finest step again and again. The budget ends such a search with an
// error instead of letting it run for hours.
class StepBudget {
  public:
    StepBudget(const char* model, long long passes, int Np, long long fixed, const ProgressHooks& hooks)
        : model_(model), total_(fixed > 0 ? fixed : passes * Np * kStepsPerLineSearch + kMinSteps),
          left_(total_), hooks_(hooks) {}
    long long left() const { return left_; }
    void spend(long long steps = 1) {
        // A single pass may walk a long way on a flat landscape; a stop
        // request is honoured within a step, not a pass.
        hooks_.throwIfCancelled();
        left_ -= steps;
        if (left_ < 0)
            throw Error(
                std::string(model_) + ": поиск не закончился за " + std::to_string(total_) +
                " шагов: критерий почти не меняется с параметрами. Проверьте закон окончания гарантии "
                "и коэффициент уменьшения шага");
    }

  private:
    // Measured on the samples and test data: up to about 360 steps per line
    // search on average (Newton's fit under "Спец 2", 80 M steps in all),
    // where a flat landscape needs thousands.
    static constexpr long long kStepsPerLineSearch = 1000;
    static constexpr long long kMinSteps = 100'000'000;
    const char* model_;
    long long total_;
    long long left_;
    const ProgressHooks& hooks_;
};

// The coordinates the search left on a limit of their range. A search never
// steps onto a limit: it approaches one by steps that shrink with every pass
// and stops at most two steps short. Every coordinate's last step is below
// its threshold ee, so a coordinate driven against a limit ends within
// 2 * ee * kdiv^2 of it (the last pass that moved towards the limit may be
// the one before the last); the margin is rounding. Closer than that the
// search cannot tell its result from the limit.
std::vector<LimitHit> limitHits(const Coordinates& c, const Vec& x, double kdiv, const char* model) {
    std::vector<LimitHit> hits;
    for (int j = 1; j <= c.Np; ++j) {
        const double slack = 3 * c.ee[j] * kdiv * kdiv;
        if (std::fabs(x[j] - c.lo[j]) <= slack)
            hits.push_back({model, c.name[j], c.lo[j], false});
        else if (std::fabs(x[j] - c.hi[j]) <= slack)
            hits.push_back({model, c.name[j], c.hi[j], true});
    }
    return hits;
}

// What every fit does around its search: refuses a coefficient that would
// never end it before anything changes, times it, and ends with the stored
// model's per-interval arrays and the log line, then a line for every
// parameter left on a limit of its range.
class FitFrame {
  public:
    FitFrame(const Coordinates& c, const FitOptions& opt, const char* model)
        : passes_(checkKdiv(c, opt.kdiv)), budget(model, passes_, c.Np, opt.maxSteps, opt.progress),
          opt_(opt), stage_(shortName(model)), clock_(opt.timing) {
        passDone(0);
    }
    double kdiv() const { return opt_.kdiv; }
    // Reports a pass and takes a stop request; the passes of a fit are known
    // before it starts, so the report always carries the total.
    void passDone(long long passes) const {
        opt_.progress.throwIfCancelled();
        opt_.progress.tell(stage_, "проход", passes, passes_);
    }
    void finish(const Analysis& s, Mod_Weib& m, const std::string& done) const {
        finalPass(s, m);
        logLine(opt_.log, done + clock_.text() + "ч/мин/с");
        for (const LimitHit& hit : m.atLimit)
            logLine(opt_.log, warningText(hit, opt_.fmt));
    }

  private:
    // "Модель 1.1" of "Модель 1.1 (по Пирсону, ...)": the progress line has
    // the room of a status bar or a terminal.
    static std::string_view shortName(std::string_view model) { return model.substr(0, model.find(" (")); }
    long long passes_;

  public:
    StepBudget budget;

  private:
    const FitOptions& opt_;
    std::string_view stage_;
    Stopwatch clock_;
};

// Passes over all coordinates until every step is below its threshold; each
// line search ends with its step reversed and divided by the frame's kdiv.
template <typename LineSearch, typename AfterPass>
long long runPasses(const Coordinates& c, Vec& h, const FitFrame& frame, LineSearch&& lineSearch,
                    AfterPass&& afterPass) {
    const double kdiv = frame.kdiv();
    long long passes = 0;
    do {
        for (int j = 1; j <= c.Np; ++j) {
            lineSearch(j);
            h[j] = -h[j] / kdiv;
        }
        afterPass();
        ++passes;
        frame.passDone(passes);
    } while (!stepsBelowThresholds(h, c.ee, c.Np));
    return passes;
}

template <typename LineSearch>
long long runPasses(const Coordinates& c, Vec& h, const FitFrame& frame, LineSearch&& lineSearch) {
    return runPasses(c, h, frame, lineSearch, [] {});
}

// The range test of the Newton and Smirnov line searches at the trial point:
// the next move would reach the lower limit, or the trial is above the upper.
bool outOfRange(const Coordinates& c, int j, double trial, double step) {
    return trial + step <= c.lo[j] || trial > c.hi[j];
}

// The Newton and Smirnov line search: moves while the criterion falls
// strictly and the range test allows, then the whole vector returns to the
// last accepted point and B_s to its value.
template <typename Criterion>
void descendWhileFalling(const Coordinates& c, int j, Vec& A, const Vec& h, double& B_s, StepBudget& budget,
                         Criterion&& ZF) {
    for (;;) {
        budget.spend();
        const Vec A_sr = A;
        A[j] += h[j];
        const double Big_ZF = ZF();
        const double C_s = B_s;
        if (!(Big_ZF < C_s) || outOfRange(c, j, A[j], h[j])) { // NaN counts as no fall
            B_s = C_s;
            A = A_sr;
            return;
        }
        B_s = Big_ZF;
    }
}

// What both Pearson fits share: the checks, the model's arrays, the warranty
// law by the two boxes and the criterion of the current vector.
struct PearsonSearch : FitFrame {
    PearsonSearch(Analysis& s, const Coordinates& coords, Mod_Weib& model, const FitOptions& opt,
                  const char* title)
        : FitFrame(coords, opt, title), c(coords), M(model), w{s.Sred_Opt, s.SKO_Opt, s.Sred, s.SKO},
          Q(s, opt.variant), A(coords.start), h(coords.h) {
        if (!s.Sred_Opt && !s.SKO_Opt) checkSomeProductsUnderWarranty(s, title, opt.fmt);
        checkStandardApplicable(s, opt.variant, opt.fmt);
        sizeArrays(M, s.Hist_Arr.size());
        M.atLimit.clear();
    }
    double ZF() { return Q(A[2], A[1], A[3], w.mu(A), w.sig(A), M); }

    const Coordinates& c;
    Mod_Weib& M;
    const WarrantyChoice w;
    PearsonCriterion Q;
    Vec A, h;
};

} // namespace

void modelCurves(const Analysis& s, Mod_Weib& m, double Sred, double SKO) {
    const auto& h = s.Hist_Arr;
    sizeArrays(m, h.size());
    double prev = 0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        m.F_Weib[i] = weibCDF2(m.A, m.B, prev, h[i].time);
        m.F_norm[i] = CDF_Gauss(Sred, SKO, (prev + h[i].time) / 2);
        m.Kol_F_priv[i] = s.Izd_Prived * m.K_powtor * m.F_Weib[i] * (1 - m.F_norm[i]);
        prev = h[i].time;
    }
}

long long fitPasses(FitKind kind, bool sredOpt, bool skoOpt, double kdiv) {
    const Coordinates c = coordinatesOf(kind, sredOpt, skoOpt);
    return predictPasses(&c.h[1], &c.ee[1], c.Np, kdiv, kMaxFitPasses);
}

std::string longTimeText(double seconds) {
    long long total = seconds > 0 ? static_cast<long long>(seconds) : 0;
    const long long h = total / 3600, m = (total / 60) % 60, sec = total % 60;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", h, m, sec);
    return buf;
}

long long predictPasses(const double* h, const double* ee, int n, double kdiv, long long cap) {
    if (!(kdiv > 1)) return 0;
    std::array<double, N_Param_Opt> steps{};
    for (int i = 0; i < n; ++i)
        steps[i] = std::fabs(h[i]);
    for (long long p = 1; p <= cap; ++p) {
        bool done = true;
        for (int i = 0; i < n; ++i) {
            steps[i] /= kdiv;
            if (!(steps[i] < ee[i])) done = false;
        }
        if (done) return p;
    }
    return 0;
}

FitResult SpirSp_Execute(Analysis& s, const FitOptions& opt) {
    const Coordinates c = spiralCoordinates(s.Sred_Opt, s.SKO_Opt);
    PearsonSearch p(s, c, s.models[ModelId::Spiral], opt, kModelSpiral);
    Vec& A = p.A;
    const Vec& h = p.h;

    double B_ss = p.ZF();
    double C_s = 0;
    FitResult r;
    auto lineSearch = [&](int j) {
        for (;;) {
            p.budget.spend();
            const Vec A_sr = A;
            if (A[j] + h[j] > 0) {
                A[j] += h[j];
            } else {
                // Heading through zero: the point would not move and the line
                // search would repeat for ever. It ends as if the criterion rose.
                C_s = B_ss;
                B_ss = C_s;
                A[j] = A_sr[j] - h[j];
                return;
            }
            if (A[j] > c.hi[j]) {
                B_ss = C_s;
                A[j] = A_sr[j] - h[j];
                return;
            }
            C_s = B_ss;
            B_ss = p.ZF();
            if (!(B_ss <= C_s)) { // a rise (NaN counts as one) ends the line search
                B_ss = C_s;
                A[j] = A_sr[j] - h[j];
                return;
            }
        }
    };
    r.passes = runPasses(c, p.h, p, lineSearch);

    Mod_Weib& M = p.M;
    M.A = A[2];
    M.B = A[1];
    M.K_powtor = A[3];
    takeFittedWarranty(s, A);
    M.Sred = s.Sred;
    M.SKO = s.SKO;
    {
        Mod_Weib scratch;
        sizeArrays(scratch, s.Hist_Arr.size());
        r.criterion = Pirson(s, M.A, M.B, M.K_powtor, M.Sred, M.SKO, scratch, opt.variant);
    }
    M.Executed = true;
    M.atLimit = limitHits(c, A, opt.kdiv, "1.1");
    p.finish(s, M, "Расчёт модели по Пирсону методом спирального спуска выполнен за ");
    return r;
}

FitResult Podbor_Weib_Pirson(Analysis& s, double& Arez, double& Brez, const FitOptions& opt) {
    const Coordinates c = newtonCoordinates(s.Sred_Opt, s.SKO_Opt);
    PearsonSearch p(s, c, s.models[ModelId::Newton], opt, kModelNewton);
    Vec& A = p.A;
    Mod_Weib& M = p.M;

    double B_s = p.ZF();
    FitResult r;
    r.passes = runPasses(
        c, p.h, p, [&](int j) { descendWhileFalling(c, j, A, p.h, B_s, p.budget, [&] { return p.ZF(); }); },
        [&] {
            Arez = A[2];
            Brez = A[1];
            M.K_powtor = A[3];
            takeFittedWarranty(s, A);
            M.Executed = true;
            M.SKO = s.SKO;
            M.Sred = s.Sred;
        });

    r.criterion = B_s;
    M.atLimit = limitHits(c, A, opt.kdiv, "1.2");
    p.finish(s, M, "Расчёт модели по Пирсону методом Ньютона выполнен за ");
    return r;
}

namespace {

// The line search of the Smirnov fit, that of descendWhileFalling: a trial
// that fails the range test ends it whatever its criterion, so it is not
// evaluated.
void smirnovLineSearch(SmirnovSearch& search, const Coordinates& c, int j, const Vec& h, StepBudget& budget) {
    if (j == 3) {
        // The steps along K that certainly fall are taken at once, each as
        // the loop below would: K by repeated additions, within range.
        const long long run = search.certainFallsAlongK(h[j], budget.left());
        double K = search.point().K;
        long long taken = 0;
        for (; taken < run && !outOfRange(c, j, K + h[j], h[j]); ++taken)
            K += h[j];
        if (taken > 0) {
            budget.spend(taken);
            search.moveAlongK(K);
        }
    }
    for (;;) {
        budget.spend();
        SmirnovSearch::Point t = search.point();
        double& x = j == 1 ? t.A : j == 2 ? t.B : t.K;
        x += h[j];
        if (outOfRange(c, j, x, h[j])) return;
        if (!(j == 3 ? search.fallsAlongK(t.K, h[j]) : search.fallsTo(t))) return;
    }
}

} // namespace

FitResult Podbor_Weib_Smirnow(Analysis& s, double& /*Arez*/, double& /*Brez*/, const FitOptions& opt) {
    const Coordinates c = smirnovCoordinates();
    FitFrame frame(c, opt, kModelSmirnov);
    checkSomeProductsUnderWarranty(s, kModelSmirnov, opt.fmt);

    Mod_Weib& M = s.models[ModelId::Smirnov];
    M.F_norm.assign(s.MasProbl.size(), 0.0);
    for (std::size_t k = 0; k < s.MasProbl.size(); ++k)
        M.F_norm[k] = CDF_Gauss(s.Sred, s.SKO, s.MasProbl[k].time);
    M.F_Weib.assign(s.Hist_Arr.size(), 0.0);
    M.Kol_F_priv.assign(s.Hist_Arr.size(), 0.0);
    M.atLimit.clear();
    SmirnovSearch search(s, {c.start[1], c.start[2], c.start[3]});
    Vec h = c.h;
    FitResult r;
    r.passes = runPasses(c, h, frame, [&](int j) { smirnovLineSearch(search, c, j, h, frame.budget); });
    const SmirnovSearch::Point end = search.point();
    const Vec A{0, end.A, end.B, end.K};
    r.criterion = search.value();
    M.A = A[1];
    M.B = A[2];
    M.K_powtor = A[3];
    M.Executed = true;
    M.Sred = s.Sred;
    M.SKO = s.SKO;
    M.atLimit = limitHits(c, A, opt.kdiv, "2");
    frame.finish(s, M, "Расчёт модели по Смирнову выполнен за ");
    return r;
}

} // namespace relan
