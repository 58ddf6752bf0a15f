#include "fixtures.hpp"

#include "relan/error.hpp"
#include "relan/input_files.hpp"
#include "relan/nonparam.hpp"
#include "relan/special.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

using namespace relan;
using relan::test::cp1251File;

namespace {

const NumberFormat kPoint{'.'};
const NumberFormat kComma{','};

// A state as the failure-data load leaves it.
Analysis loaded(const std::string& sred, const std::string& sko, int fleet, int all,
                const std::vector<std::string>& causes, const std::vector<std::string>& failures) {
    std::vector<std::string> lines = {
        "Парк насосов, 2023",         sred, sko, std::to_string(fleet), std::to_string(all),
        std::to_string(causes.size())};
    lines.insert(lines.end(), causes.begin(), causes.end());
    lines.insert(lines.end(), failures.begin(), failures.end());
    Analysis s;
    parseFailureData(cp1251File(lines), "test.rel", kPoint, s);
    return s;
}

// Four failures, Izd_Prived = 5, censoring far beyond the last failure.
Analysis fourFailures() {
    return loaded("9000", "100", 5, 4, {}, {"100\tотказ", "200\tотказ", "300\tотказ", "400\tотказ"});
}

// What an analysis may write; a refusal must leave all of it alone.
struct Snapshot {
    double Sred, SKO;
    int D_Hist1, D_Hist2;
    std::vector<std::pair<double, int>> hist;
    std::array<double, Mx_prich + 1> row, col;
    RealArray fOutGar;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snap(const Analysis& s) {
    Snapshot n{s.Sred, s.SKO, s.D_Hist1, s.D_Hist2, {}, s.Sum_PrichRow, s.Sum_PrichCol, s.F_OutGar};
    for (const auto& h : s.Hist_Arr)
        n.hist.emplace_back(h.time, h.Sum);
    return n;
}

std::vector<std::string> labelsOf(const NonParamResult& r) {
    std::vector<std::string> v;
    for (const auto& p : r.points)
        v.push_back(p.label);
    return v;
}

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(NonParamExample, FourFailuresReachHalfTheFleetAt250Hours) {
    Analysis s = fourFailures();
    const NonParamResult r = runNonParametric(s, "9000", "100", kPoint);

    EXPECT_DOUBLE_EQ(r.t50, 250.0); // 300 - 100 * Frac(3 - 2.5)
    EXPECT_DOUBLE_EQ(r.tz50, 250.0);
    EXPECT_EQ(r.medianLine, "- без учета цензурирования:  250.0 ч");
    EXPECT_EQ(labelsOf(r), (std::vector<std::string>{"100", "200", "300", "400"}));
    const double series1[] = {20, 40, 60, 80};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(r.points[i].Series1, series1[i]);
        EXPECT_DOUBLE_EQ(r.points[i].Series2, series1[i]);
        EXPECT_EQ(r.points[i].Series3, 0);
        EXPECT_TRUE(r.points[i].causes.empty());
    }
    EXPECT_TRUE(r.causeIndices.empty());
    EXPECT_EQ(s.Hist_Arr.size(), 4u);
    EXPECT_EQ(s.F_OutGar, RealArray(4, 0.0));
}

TEST(NonParamLabels, TextsFollowTheNumberFormat) {
    struct Case {
        NumberFormat fmt;
        const char* censoringMeanText;
        const char* censoringSdText;
        const char* label2;
        const char* label3;
        const char* label5;
        const char* label6;
    };
    const Case cases[] = {
        {kPoint, "9000", "100", "- без учета цензурирования:  250.0 ч",
         "- с учетом цензурирования:   250.00 ч", "Среднее время цензурирования:  9000.0 ч",
         "СКО времени цензурирования:      100.0 ч"},
        {kComma, "9000,5", "120,4", "- без учета цензурирования:  250,0 ч",
         "- с учетом цензурирования:   250,00 ч", "Среднее время цензурирования:  9000,5 ч",
         "СКО времени цензурирования:      120,4 ч"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.censoringMeanText);
        Analysis s = fourFailures();
        const NonParamResult r = runNonParametric(s, c.censoringMeanText, c.censoringSdText, c.fmt);
        EXPECT_EQ(r.medianLine, c.label2);
        EXPECT_EQ(r.censoredMedianLine, c.label3);
        EXPECT_EQ(r.censoringMeanLine, c.label5);
        EXPECT_EQ(r.censoringSdLine, c.label6);
        EXPECT_EQ(r.productsLine, "Кол-во контролируемых изделий:5 шт.");
        EXPECT_EQ(r.failuresLine, "Общее кол-во отказов изделий: 4 шт.");
        EXPECT_EQ(r.comment, "Парк насосов, 2023");
    }
    EXPECT_STREQ(kNonParamMedianHeading, "Средняя наработка на отказ по гарантийным изделиям");
    EXPECT_STREQ(kNonParamCensoringHeading, "Параметры цензурирования");
}

TEST(NonParamLabels, AHalfFleetTimeNeverReachedIsSaidSoNotZeroHours) {
    // Four failures of ten products: 40 % plainly. Far from the censoring the
    // corrected count is the same, near it the weights carry it past half.
    struct Case {
        const char* censoringMeanText;
        const char* censoringSdText;
        bool corrected; // the corrected count reaches half the fleet
    };
    const Case cases[] = {{"9000", "100", false}, {"300", "100", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.censoringMeanText);
        Analysis s = loaded(c.censoringMeanText, c.censoringSdText, 10, 4, {},
                            {"100\tотказ", "200\tотказ", "300\tотказ", "400\tотказ"});
        const NonParamResult r = runNonParametric(s, c.censoringMeanText, c.censoringSdText, kComma);
        EXPECT_EQ(r.t50, 0);
        EXPECT_EQ(r.medianLine, kMedianNotEstimable);
        EXPECT_STREQ(kMedianNotEstimable, "- данных недостаточно для оценки");
        if (c.corrected) {
            EXPECT_GT(r.tz50, 300);
            EXPECT_LT(r.tz50, 400);
            EXPECT_EQ(r.censoredMedianLine.rfind("- с учетом цензурирования:  ", 0), 0u)
                << r.censoredMedianLine;
        } else {
            EXPECT_EQ(r.tz50, 0);
            EXPECT_EQ(r.censoredMedianLine, "");
        }
    }
}

TEST(NonParamCauses, OneBarSeriesPerCauseWithFailuresLaterOnesMoveDown) {
    // Both "насос" lines also name "фара", which ranks after "Насос" and so
    // takes them: cause 2 is counted by the load but has no failure of its own.
    Analysis s = loaded("9000", "100", 10, 4, {"Двигатель", "Насос", "Фара"},
                        {"100\tДвигатель", "150\tНасос и фара", "200\tДвигатель", "350\tНасос и фара"});
    ASSERT_EQ(s.Vidy_otkazov[2].Nazv_Prich, "Насос");
    ASSERT_GT(s.Vidy_otkazov[2].Dolya, 0);

    const NonParamResult r = runNonParametric(s, "9000", "100", kPoint);

    EXPECT_EQ(r.causeIndices, (std::vector<int>{1, 3}));
    EXPECT_EQ(r.causeTitles, (std::vector<std::string>{"Двигатель", "Фара"}));
    EXPECT_EQ(s.Sum_PrichRow[1], 2);
    EXPECT_EQ(s.Sum_PrichRow[2], 0);
    EXPECT_EQ(s.Sum_PrichRow[3], 2);
    // The third interval swallowed the empty stretch 200..300: 200 h wide, so
    // its one failure counts half per 100 h.
    ASSERT_EQ(labelsOf(r), (std::vector<std::string>{"100", "200", "400"}));
    const std::vector<std::vector<double>> rates = {{0.1, 0}, {0.1, 0.1}, {0, 0.05}};
    for (std::size_t i = 0; i < rates.size(); ++i) {
        ASSERT_EQ(r.points[i].causes.size(), 2u);
        EXPECT_DOUBLE_EQ(r.points[i].causes[0], rates[i][0]) << i;
        EXPECT_DOUBLE_EQ(r.points[i].causes[1], rates[i][1]) << i;
    }
}

TEST(NonParamCauses, RunningTwiceGivesTheSameResult) {
    Analysis s = loaded("9000", "100", 10, 4, {"Двигатель", "Насос", "Фара"},
                        {"100\tДвигатель", "150\tНасос и фара", "200\tДвигатель", "350\tНасос и фара"});
    const NonParamResult a = runNonParametric(s, "9000", "100", kPoint);
    const Snapshot after1 = snap(s);
    const NonParamResult b = runNonParametric(s, "9000", "100", kPoint);

    EXPECT_EQ(snap(s), after1);
    EXPECT_EQ(a.causeIndices, b.causeIndices);
    EXPECT_EQ(a.causeTitles, b.causeTitles);
    ASSERT_EQ(a.points.size(), b.points.size());
    for (std::size_t i = 0; i < a.points.size(); ++i) {
        EXPECT_EQ(a.points[i].label, b.points[i].label);
        EXPECT_EQ(a.points[i].Series1, b.points[i].Series1);
        EXPECT_EQ(a.points[i].Series2, b.points[i].Series2);
        EXPECT_EQ(a.points[i].causes, b.points[i].causes);
    }
    EXPECT_EQ(a.censoredMedianLine, b.censoredMedianLine);
}

TEST(NonParamCensoring, CorrectedShareEqualsPlainShareUntilProductsLeaveObservation) {
    Analysis s = loaded("1000", "50", 5, 4, {}, {"100\tа", "900\tб", "1000\tв", "1100\tг"});
    const NonParamResult r = runNonParametric(s, "1000", "50", kPoint);

    ASSERT_EQ(labelsOf(r), (std::vector<std::string>{"100", "900", "1000", "1100"}));
    ASSERT_EQ(s.F_OutGar.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(s.F_OutGar[i], CDF_Gauss(1000, 50, s.Hist_Arr[i].time));
        EXPECT_DOUBLE_EQ(r.points[i].Series3, s.F_OutGar[i] * 100);
        if (i > 0) EXPECT_GT(r.points[i].Series2, r.points[i].Series1) << i;
    }
    EXPECT_EQ(s.F_OutGar[0], 0);
    EXPECT_EQ(r.points[0].Series2, r.points[0].Series1);
    EXPECT_DOUBLE_EQ(r.points[2].Series2, 2 * r.points[2].Series1); // half the fleet out at the mean

    // Weights 1, 1/(1 - Phi(-2)), 2 pass 2.5 at the third failure.
    EXPECT_DOUBLE_EQ(r.t50, 950.0);
    EXPECT_NEAR(r.tz50, 947.672, 1e-3);
    EXPECT_EQ(r.censoredMedianLine, "- с учетом цензурирования:   947.67 ч");
}

TEST(NonParamRefusals, UnsoundInputIsRefusedAndLeavesTheStateAlone) {
    auto base = [] {
        Analysis s;
        s.MasProbl = {Problems{100, 0, {}}};
        Hist_Rec h;
        h.time = 100;
        h.Nund = 1;
        h.Sum = 1;
        s.Hist_Arr = {h};
        s.Sred = 9000;
        s.SKO = 100;
        s.Izd_Prived = 5;
        s.Kol_Izd_All = 5;
        s.KolOtk = 1;
        s.F_OutGar = {7, 7}; // left by an earlier analysis
        s.Sum_PrichRow[1] = 3;
        return s;
    };
    {
        Analysis ok = base();
        EXPECT_NO_THROW(Histogram_Exp(ok, kPoint));
    }
    auto bounds = [](Analysis& s, std::vector<double> times) {
        s.Hist_Arr.clear();
        s.MasProbl.clear();
        for (double t : times) {
            Hist_Rec h;
            h.time = t;
            h.Sum = 1;
            h.Nund = 1;
            s.Hist_Arr.push_back(h);
            s.MasProbl.push_back(Problems{t - 0.2, 0, {}});
        }
    };
    struct Case {
        const char* name;
        std::function<void(Analysis&)> spoil;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"149.5 and 150.5 both label as 150",
         [&](Analysis& s) {
             bounds(s, {100, 149.5, 150.5});
         },
         {"интервалов 2 и 3", "149.5 ч", "150.5 ч", "целого часа 150 ч"}},
        {"first bound labels as 0",
         [&](Analysis& s) {
             bounds(s, {0.4, 100});
         },
         {"первого интервала", "0.4 ч", "до 0 ч"}},
        {"SKO 0", [](Analysis& s) { s.SKO = 0; }, {"СКО времени гарантии должно быть больше 0"}},
        {"SKO negative", [](Analysis& s) { s.SKO = -5; }, {"больше 0, задано -5"}},
        {"Izd_Prived 0", [](Analysis& s) { s.Izd_Prived = 0; }, {"Приведенное количество изделий"}},
        {"no product under warranty at a failure",
         [](Analysis& s) {
             s.Sred = 10;
             s.SKO = 1;
         },
         {"Наработка отказа 100 ч", "ни одно изделие не остаётся под гарантией"}},
        {"no product under warranty at a bound",
         [&](Analysis& s) {
             bounds(s, {200});
             s.MasProbl[0].time = 95;
             s.Sred = 110;
             s.SKO = 1;
         },
         {"Граница интервала 1 гистограммы 200 ч", "ни одно изделие не остаётся под гарантией"}},
        {"no histogram", [](Analysis& s) { s.Hist_Arr.clear(); }, {"Нет данных об отказах"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Analysis s = base();
        c.spoil(s);
        const Snapshot before = snap(s);
        const std::string msg = messageOf([&] { Histogram_Exp(s, kPoint); });
        for (const auto& part : c.says)
            EXPECT_NE(msg.find(part), std::string::npos) << msg;
        EXPECT_EQ(snap(s), before);
    }
}

TEST(NonParamRun, RefusalLeavesTheStateExactlyAsItWas) {
    struct Case {
        const char* censoringMeanText;
        const char* censoringSdText;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"12;5", "100", {"Поле «Среднее время гарантии»: «12;5» не является числом"}},
        {"9000", "", {"Поле «СКО времени гарантии»: «» не является числом"}},
        // a point under the comma format
        {"9000.5",
         "100",
         {"Поле «Среднее время гарантии»: «9000.5» не является числом; десятичный разделитель — «,»"}},
        {"5000", "0", {"Поле «СКО времени гарантии»: СКО времени окончания гарантии должно быть больше 0"}},
        {"-5000",
         "100",
         {"Поле «Среднее время гарантии»: среднее время окончания гарантии должно быть больше 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.censoringMeanText) + " / " + c.censoringSdText);
        Analysis s = fourFailures();
        runNonParametric(s, "8000", "90", kComma); // an earlier analysis
        const Snapshot before = snap(s);
        const std::string msg =
            messageOf([&] { runNonParametric(s, c.censoringMeanText, c.censoringSdText, kComma); });
        for (const auto& part : c.says)
            EXPECT_NE(msg.find(part), std::string::npos) << msg;
        EXPECT_EQ(snap(s), before);
        EXPECT_EQ(s.Sred, 8000);
    }
}

TEST(NonParamRun, WithoutFailureDataAsksForTheFile) {
    Analysis s;
    const Snapshot before = snap(s);
    const std::string msg = messageOf([&] { runNonParametric(s, "", "", kPoint); });
    EXPECT_NE(msg.find("Нет данных об отказах"), std::string::npos) << msg;
    EXPECT_EQ(snap(s), before);
}

} // namespace

TEST(NonParamProgress, AStepPerFailureAndIntervalAndAStopChangesNothing) {
    Analysis s = fourFailures();
    std::vector<ProgressReport> seen;
    ProgressHooks hooks;
    hooks.report = [&](const ProgressReport& r) { seen.push_back(r); };
    runNonParametric(s, "9000", "100", kPoint, hooks);
    const long long total = static_cast<long long>(s.MasProbl.size() + s.Hist_Arr.size());
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(total + 1));
    for (std::size_t k = 0; k < seen.size(); ++k) {
        EXPECT_EQ(seen[k].done, static_cast<long long>(k));
        EXPECT_EQ(seen[k].total, total);
        EXPECT_EQ(seen[k].stage, "Непараметрический анализ");
    }

    // Stopped among the failures and among the intervals, after an earlier
    // analysis with another law: its figures stay.
    for (const long long at : {2LL, total - 1}) {
        const Snapshot before = snap(s);
        std::atomic<bool> stop{false};
        hooks.cancel = &stop;
        hooks.report = [&](const ProgressReport& r) {
            if (r.done == at) stop = true;
        };
        EXPECT_THROW(runNonParametric(s, "8000", "90", kPoint, hooks), Cancelled) << at;
        EXPECT_TRUE(snap(s) == before) << at;
    }
}
