#include "fixtures.hpp"

#include "relan/error.hpp"
#include "relan/fits.hpp"
#include "relan/histogram.hpp"
#include "relan/results.hpp"
#include "relan/special.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>

using namespace relan;
using relan::test::makeState;
using relan::test::weibullTimes;

namespace {

Analysis sampleLike(unsigned seed = 1) {
    auto s = makeState(weibullTimes(150, 3e-4, 1.15, 1800, 450, seed), 600, 1800, 450);
    hist(s);
    return s;
}

FitOptions options(double kdiv, std::vector<std::string>* log = nullptr) {
    FitOptions o;
    o.kdiv = kdiv;
    o.timing = false;
    if (log) o.log = [log](const std::string& l) { log->push_back(l); };
    return o;
}

} // namespace

TEST(Fits, PassCountsAtTheDefaultCoefficients) {
    struct Case {
        FitKind kind;
        bool sred, sko;
        double kdiv;
        long long passes;
    } cases[] = {
        {FitKind::Spiral, false, false, 1.00025, 36846}, {FitKind::Spiral, true, true, 1.00025, 36846},
        {FitKind::Newton, false, false, 1.00025, 73692}, {FitKind::Newton, true, false, 1.00025, 73692},
        {FitKind::Smirnov, true, true, 1.0005, 18426},
    };
    for (const auto& c : cases) {
        auto s = sampleLike();
        s.Sred_Opt = c.sred;
        s.SKO_Opt = c.sko;
        EXPECT_EQ(fitPasses(c.kind, c.sred, c.sko, c.kdiv), c.passes);
        FitResult r;
        if (c.kind == FitKind::Spiral) r = SpirSp_Execute(s, options(c.kdiv));
        if (c.kind == FitKind::Newton)
            r = Podbor_Weib_Pirson(s, s.models[ModelId::Newton].A, s.models[ModelId::Newton].B,
                                   options(c.kdiv));
        if (c.kind == FitKind::Smirnov)
            r = Podbor_Weib_Smirnow(s, s.models[ModelId::Smirnov].A, s.models[ModelId::Smirnov].B,
                                    options(c.kdiv));
        EXPECT_EQ(r.passes, c.passes) << static_cast<int>(c.kind);
        EXPECT_TRUE(std::isfinite(r.criterion));
    }
}

TEST(Fits, FitTheLawTheDataCameFrom) {
    // 1500 failures of F = 1 - exp(-3e-4 t^1.15), everything documented.
    auto s = makeState(weibullTimes(1500, 3e-4, 1.15, 1800, 450, 9), 1500 / 0.45, 1800, 450);
    hist(s);
    std::vector<std::string> log;
    SpirSp_Execute(s, options(1.00025, &log));
    Podbor_Weib_Smirnow(s, s.models[ModelId::Smirnov].A, s.models[ModelId::Smirnov].B, options(1.0005, &log));
    for (const Mod_Weib* m : {&s.models[ModelId::Spiral], &s.models[ModelId::Smirnov]}) {
        EXPECT_TRUE(m->Executed);
        EXPECT_NEAR(m->B, 1.15, 0.2);
        // Expected failures over the law: K * fleet should explain the documented ones.
        EXPECT_GT(m->K_powtor, 0.5);
        EXPECT_LT(m->K_powtor, 1.5);
    }
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "Расчёт модели по Пирсону методом спирального спуска выполнен за 0:00:00ч/мин/с");
    EXPECT_EQ(log[1], "Расчёт модели по Смирнову выполнен за 0:00:00ч/мин/с");
}

TEST(Fits, RepeatedRunsAreIdentical) {
    auto a = sampleLike(4), b = sampleLike(4);
    SpirSp_Execute(a, options(1.001));
    SpirSp_Execute(b, options(1.001));
    EXPECT_EQ(a.models[ModelId::Spiral].A, b.models[ModelId::Spiral].A);
    EXPECT_EQ(a.models[ModelId::Spiral].B, b.models[ModelId::Spiral].B);
    EXPECT_EQ(a.models[ModelId::Spiral].K_powtor, b.models[ModelId::Spiral].K_powtor);
    EXPECT_EQ(a.models[ModelId::Spiral].Kol_F_priv, b.models[ModelId::Spiral].Kol_F_priv);
}

// A single product with many failures asks for K far beyond its limit, and
// late in the search the runs along K that certainly fall would reach the
// limit only after tens of millions of steps: a run must stop at the limit
// as the single steps would, not walk its whole length first.
TEST(Fits, SmirnovRunsAlongKEndAtTheLimit) {
    auto s = makeState(weibullTimes(440, 3e-4, 1.15, 1800, 450, 8), 1, 1800, 450);
    hist(s);
    Podbor_Weib_Smirnow(s, s.models[ModelId::Smirnov].A, s.models[ModelId::Smirnov].B, options(1.0005));
    EXPECT_LE(s.models[ModelId::Smirnov].K_powtor, 30);
    EXPECT_GT(s.models[ModelId::Smirnov].K_powtor, 30 - 1e-6);
    EXPECT_EQ(s.models[ModelId::Smirnov].atLimit,
              (std::vector<LimitHit>{{"2", SearchParameter::K, 30, true}}));
}

TEST(Fits, RepetitionCoefficientStaysWithinItsLimit) {
    // One product with 150 failures: the data ask for K far above 30.
    auto s = makeState(weibullTimes(150, 3e-4, 1.15, 1800, 450, 2), 1, 1800, 450);
    hist(s);
    SpirSp_Execute(s, options(1.002));
    Podbor_Weib_Pirson(s, s.models[ModelId::Newton].A, s.models[ModelId::Newton].B, options(1.002));
    Podbor_Weib_Smirnow(s, s.models[ModelId::Smirnov].A, s.models[ModelId::Smirnov].B, options(1.002));
    for (const Mod_Weib* m :
         {&s.models[ModelId::Spiral], &s.models[ModelId::Newton], &s.models[ModelId::Smirnov]}) {
        EXPECT_LE(m->K_powtor, 30);
        EXPECT_GT(m->K_powtor, 29);
    }
    EXPECT_GT(s.models[ModelId::Newton].A, 0.001);
    EXPECT_GT(s.models[ModelId::Smirnov].B, 0.3);
    // Every fit says that its K was set by the limit; Newton's A ends on its
    // lower limit too, a hair above it.
    EXPECT_EQ(s.models[ModelId::Spiral].atLimit,
              (std::vector<LimitHit>{{"1.1", SearchParameter::K, 30, true}}));
    EXPECT_EQ(s.models[ModelId::Newton].atLimit,
              (std::vector<LimitHit>{{"1.2", SearchParameter::A, 0.001, false},
                                     {"1.2", SearchParameter::K, 30, true}}));
    EXPECT_EQ(s.models[ModelId::Smirnov].atLimit,
              (std::vector<LimitHit>{{"2", SearchParameter::K, 30, true}}));
}

TEST(Fits, ParametersLeftOnASearchLimitAreLoggedAndNotedInTheTable) {
    // 100 failures in a fleet of 100 000: the failure probability the data
    // ask for lies below what A >= 0.001 and K >= 0.1 of Newton's range allow
    // under "Спец 1", so both end on their lower limits; "Спец 2" finds a law
    // inside the range on the same data.
    struct Case {
        PearsonVariant variant;
        std::vector<std::string> lines; // after the fit's own line
        std::string note;               // of the model's column
    } cases[] = {
        {PearsonVariant::Spec1,
         {"Модель 1.2: параметр A остановился на нижней границе поиска (0,001) — результат определен "
          "границей, "
          "а не данными",
          "Модель 1.2: параметр Кповт остановился на нижней границе поиска (0,1) — результат определен "
          "границей, "
          "а не данными"},
         "A = 0,001: нижняя граница поиска модели 1.2\nКповт = 0,1: нижняя граница поиска модели 1.2"},
        {PearsonVariant::Spec2, {}, ""},
    };
    for (const auto& c : cases) {
        auto s = makeState(weibullTimes(100, 3e-4, 1.15, 1800, 450, 1), 100000, 1800, 450);
        hist(s);
        s.models[ModelId::Newton].atLimit = {{"1.2", SearchParameter::B, 7, true}}; // left by an earlier fit
        std::vector<std::string> log;
        FitOptions o = options(1.01, &log);
        o.variant = c.variant;
        o.fmt = NumberFormat{','};
        Podbor_Weib_Pirson(s, s.models[ModelId::Newton].A, s.models[ModelId::Newton].B, o);
        ASSERT_EQ(log.size(), 1 + c.lines.size()) << static_cast<int>(c.variant);
        EXPECT_EQ(log[0], "Расчёт модели по Пирсону методом Ньютона выполнен за 0:00:00ч/мин/с");
        for (std::size_t i = 0; i < c.lines.size(); ++i)
            EXPECT_EQ(log[1 + i], c.lines[i]);
        if (!c.lines.empty()) {
            EXPECT_NEAR(s.models[ModelId::Newton].A, 0.001, 1e-9);
            EXPECT_NEAR(s.models[ModelId::Newton].K_powtor, 0.1, 1e-8);
        }

        const ResultTable t = Diagrams(s, NumberFormat{','}).table;
        EXPECT_EQ(t.cells[0][1], "Пирсона/Ньютона");
        EXPECT_EQ(t.notes[1], c.note);
        for (int col = 2; col < kTableColumns; ++col)
            EXPECT_EQ(t.notes[col], "") << col;
    }
}

TEST(Fits, SpiralHeadingThroughZeroEnds) {
    // Very long operating times put the best A far below the first steps, so
    // the A coordinate runs into zero on its way down.
    auto s = makeState(weibullTimes(100, 1e-6, 1.3, 60000, 9000, 6), 400, 60000, 9000);
    hist(s);
    const auto r = SpirSp_Execute(s, options(1.00025));
    EXPECT_EQ(r.passes, 36846);
    EXPECT_GT(s.models[ModelId::Spiral].A, 0);
}

TEST(Fits, FittedWarrantyLawReplacesTheGlobalOne) {
    auto s = sampleLike();
    s.Sred_Opt = true;
    s.SKO_Opt = true;
    SpirSp_Execute(s, options(1.01));
    EXPECT_NE(s.Sred, 1800);
    EXPECT_EQ(s.models[ModelId::Spiral].Sred, s.Sred);
    EXPECT_EQ(s.models[ModelId::Spiral].SKO, s.SKO);
    const double fittedMean = s.Sred;
    // The Smirnov fit that follows takes the fitted law and leaves it alone.
    Podbor_Weib_Smirnow(s, s.models[ModelId::Smirnov].A, s.models[ModelId::Smirnov].B, options(1.01));
    EXPECT_EQ(s.models[ModelId::Smirnov].Sred, fittedMean);
    EXPECT_EQ(s.Sred, fittedMean);

    auto n = sampleLike();
    n.SKO_Opt = true; // deviation only: coordinate 4 is the deviation
    Podbor_Weib_Pirson(n, n.models[ModelId::Newton].A, n.models[ModelId::Newton].B, options(3));
    EXPECT_EQ(n.Sred, 1800);
    EXPECT_NE(n.SKO, 450);
    EXPECT_GE(n.SKO, 30);
    EXPECT_LE(n.SKO, 900);
    EXPECT_EQ(n.models[ModelId::Newton].SKO, n.SKO);
}

TEST(Fits, CoefficientsThatNeverEndAreRefused) {
    for (double k : {1.0, 0.5, 1 + 1e-12}) {
        EXPECT_EQ(fitPasses(FitKind::Spiral, false, false, k), 0) << k;
        auto s = sampleLike();
        EXPECT_THROW(SpirSp_Execute(s, options(k)), Error) << k;
        EXPECT_FALSE(s.models[ModelId::Spiral].Executed);
    }
    EXPECT_EQ(fitPasses(FitKind::Smirnov, false, false, 1e6), 1);
}

namespace {

FitResult runFit(FitKind kind, Analysis& s, const FitOptions& o) {
    switch (kind) {
    case FitKind::Spiral:
        return SpirSp_Execute(s, o);
    case FitKind::Newton:
        return Podbor_Weib_Pirson(s, s.models[ModelId::Newton].A, s.models[ModelId::Newton].B, o);
    case FitKind::Smirnov:
        break;
    }
    return Podbor_Weib_Smirnow(s, s.models[ModelId::Smirnov].A, s.models[ModelId::Smirnov].B, o);
}

std::string fitError(FitKind kind, Analysis& s, const FitOptions& o) {
    try {
        runFit(kind, s, o);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

const struct {
    FitKind kind;
    const char* title;
} kFits[] = {
    {FitKind::Spiral, "Модель 1.1 (по Пирсону, метод спирального спуска)"},
    {FitKind::Newton, "Модель 1.2 (по Пирсону, метод Ньютона)"},
    {FitKind::Smirnov, "Модель 2 (по Смирнову)"},
};

} // namespace

TEST(Fits, NothingUnderWarrantyIsRefusedBeforeTheSearch) {
    // Every warranty ends within a few hours: no law expects a failure, and
    // the spiral descent used to walk its flat criterion for ever.
    for (const auto& f : kFits) {
        auto s = sampleLike();
        s.Sred = 1;
        s.SKO = 1;
        long long passes = 0;
        FitOptions o = options(1.00025);
        o.progress.report = [&passes](const ProgressReport& r) { passes = std::max(passes, r.done); };
        const std::string msg = fitError(f.kind, s, o);
        EXPECT_EQ(passes, 0) << f.title;
        EXPECT_EQ(msg.rfind(std::string(f.title) + " не может быть подобрана", 0), 0u) << msg;
        EXPECT_FALSE(s.models[ModelId::Spiral].Executed || s.models[ModelId::Newton].Executed ||
                     s.models[ModelId::Smirnov].Executed);
    }
    // A fit that searches the law itself starts from its own law.
    auto s = sampleLike();
    s.Sred = 1;
    s.SKO = 1;
    s.Sred_Opt = s.SKO_Opt = true;
    EXPECT_NO_THROW(SpirSp_Execute(s, options(1.01)));
}

TEST(Fits, EverySearchEndsWithinItsStepBudget) {
    for (const auto& f : kFits) {
        auto s = sampleLike();
        FitOptions o = options(1.00025);
        o.maxSteps = 1000;
        const std::string msg = fitError(f.kind, s, o);
        EXPECT_EQ(msg.rfind(std::string(f.title) + ": поиск не закончился за 1000 шагов", 0), 0u) << msg;
        // The default budget leaves room for the whole search.
        auto t = sampleLike();
        EXPECT_EQ(fitError(f.kind, t, options(1.01)), "");
    }
}

TEST(Fits, ProgressCountsEveryPassUpToTheTotal) {
    const char* stages[] = {"Модель 1.1", "Модель 1.2", "Модель 2"};
    for (std::size_t i = 0; i < std::size(kFits); ++i) {
        auto s = sampleLike();
        FitOptions o = options(1.001);
        std::vector<ProgressReport> seen;
        o.progress.report = [&](const ProgressReport& r) { seen.push_back(r); };
        runFit(kFits[i].kind, s, o);
        // Known before the first pass: the bar's end never moves.
        const long long total = fitPasses(kFits[i].kind, false, false, 1.001);
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(total + 1)) << stages[i];
        for (std::size_t k = 0; k < seen.size(); ++k) {
            EXPECT_EQ(seen[k].stage, stages[i]);
            EXPECT_EQ(seen[k].done, static_cast<long long>(k));
            EXPECT_EQ(seen[k].total, total);
        }
    }
    EXPECT_EQ(progressText({"Модель 1.1", "проход", 1234, 36852}), "Модель 1.1: проход 1234 из 36852");
}

TEST(Fits, AStopRequestEndsTheFitWithinThePassAfterIt) {
    for (const auto& f : kFits) {
        auto s = sampleLike();
        FitOptions o = options(1.00025);
        std::atomic<bool> stop{false};
        long long last = -1;
        o.progress.cancel = &stop;
        o.progress.report = [&](const ProgressReport& r) {
            last = r.done;
            if (r.done == 5) stop = true;
        };
        EXPECT_THROW(runFit(f.kind, s, o), Cancelled) << f.title;
        EXPECT_EQ(last, 5) << f.title;
    }
}

TEST(LongTime, Format) {
    EXPECT_EQ(longTimeText(0), "0:00:00");
    EXPECT_EQ(longTimeText(7.9), "0:00:07");
    EXPECT_EQ(longTimeText(3725), "1:02:05");
}

namespace {

struct SmirnovEnd {
    double A, B, K, criterion;
    long long passes;
};

// The Smirnov fit's search evaluating every trial directly with Smirnow().
SmirnovEnd directSmirnovSearch(Analysis s, double kdiv) {
    s.models[ModelId::Smirnov].F_norm.clear();
    for (const auto& p : s.MasProbl)
        s.models[ModelId::Smirnov].F_norm.push_back(CDF_Gauss(s.Sred, s.SKO, p.time));
    const double lo[] = {0, 1e-10, 0.3, 0.1}, hi[] = {0, 0.01, 5, 30}, ee[] = {0, 1e-8, 1e-7, 1e-7};
    double a[] = {0, 0.0005, 1, 1}, h[] = {0, 0.0001, 0.001, 0.001};
    auto Q = [&] { return Smirnow(s, a[1], a[2], a[3], 0, 0); };
    double B_s = Q();
    long long passes = 0;
    do {
        for (int j = 1; j <= 3; ++j) {
            for (;;) {
                const double saved = a[j];
                a[j] += h[j];
                const bool limit = a[j] + h[j] <= lo[j] || a[j] > hi[j];
                const double Z = Q();
                if (!(Z < B_s) || limit) {
                    a[j] = saved;
                    h[j] = -h[j] / kdiv;
                    break;
                }
                B_s = Z;
            }
        }
        ++passes;
    } while (!(std::fabs(h[1]) < ee[1] && std::fabs(h[2]) < ee[2] && std::fabs(h[3]) < ee[3]));
    return {a[1], a[2], a[3], B_s, passes};
}

} // namespace

TEST(Fits, SmirnovFollowsTheDirectEvaluationsPath) {
    struct Case {
        const char* what;
        int n;
        double fleet;
        bool repeatedTimes;
    } cases[] = {
        {"ordinary fleet", 80, 300, false},
        {"operating hours repeat", 80, 300, true},
        {"one product: K held at its upper limit", 30, 1, false},
        {"a single failure", 1, 5, false},
    };
    for (const auto& c : cases) {
        auto times = weibullTimes(c.n, 3e-4, 1.15, 1800, 450, 7);
        if (c.repeatedTimes)
            for (auto& t : times)
                t = std::round(t / 100) * 100 + 100;
        auto s = makeState(times, c.fleet, 1800, 450);
        hist(s);
        const SmirnovEnd want = directSmirnovSearch(s, 1.05);
        const FitResult r =
            Podbor_Weib_Smirnow(s, s.models[ModelId::Smirnov].A, s.models[ModelId::Smirnov].B, options(1.05));
        EXPECT_EQ(r.passes, want.passes) << c.what;
        EXPECT_EQ(s.models[ModelId::Smirnov].A, want.A) << c.what;
        EXPECT_EQ(s.models[ModelId::Smirnov].B, want.B) << c.what;
        EXPECT_EQ(s.models[ModelId::Smirnov].K_powtor, want.K) << c.what;
        EXPECT_EQ(r.criterion, want.criterion) << c.what;
    }
}
