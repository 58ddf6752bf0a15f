#include "relan/results.hpp"

#include "relan/criteria.hpp"
#include "relan/error.hpp"
#include "relan/special.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace relan {
namespace {

const NumberFormat kComma{','};

Hist_Rec interval(double time, std::initializer_list<std::pair<int, int>> causes, int nund) {
    Hist_Rec r;
    r.time = time;
    r.Nund = nund;
    r.Sum = nund;
    for (auto [c, n] : causes) {
        r.Npr[c] = n;
        r.Sum += n;
    }
    return r;
}

Mod_Weib model(std::vector<double> fWeib, std::vector<double> kolF, double kPowtor) {
    Mod_Weib m;
    m.A = 0.0001;
    m.B = 1;
    m.K_powtor = kPowtor;
    m.Sred = 250;
    m.SKO = 50;
    m.F_Weib = std::move(fWeib);
    m.Kol_F_priv = std::move(kolF);
    m.F_norm.assign(m.F_Weib.size(), 0.0);
    m.Executed = true;
    return m;
}

// Four intervals; rounded bounds 100 (100.5, half to even), 150, 300, 400, so
// K = 1, 2, 2/3, 1 per 100 h. Warranty N(250, 50): W(400) > 0.9 ends the
// corrected-flow bars after three intervals. Causes 1 and 3 and 12 fail,
// cause 2 does not. 10 documented of 20 failures, 100 products: P = 50.
Analysis flowState() {
    Analysis s;
    s.Kol_Izd_All = 100;
    s.KolOtk = 20;
    s.Kol_izw = 10;
    s.Popravka_Unknow = 0.5;
    s.Izd_Prived = 50;
    s.Sred = 250;
    s.SKO = 50;
    s.tGar = 1000;
    s.Comment = "Партия 7";
    s.Vidy_otkazov[0] = {"Не установл.", 0};
    s.Vidy_otkazov[1] = {"Двигатель", 4};
    s.Vidy_otkazov[2] = {"Насос", 0};
    s.Vidy_otkazov[3] = {"Фара", 3};
    s.Vidy_otkazov[12] = {"Прочее", 1};
    s.Hist_Arr = {
        interval(100.5, {{1, 2}}, 1),
        interval(149.5, {{1, 1}, {3, 2}}, 0),
        interval(300, {{3, 1}}, 1),
        interval(400, {{1, 1}, {12, 1}}, 0),
    };
    for (double t : {60.0, 120.0, 140.0, 200.0, 250.0, 260.0, 280.0, 310.0, 350.0, 390.0})
        s.MasProbl.push_back({t, 1, ""});
    return s;
}

const ChartSeries& named(const ChartData& c, const std::string& name) {
    for (const auto& s : c.series)
        if (s.name == name) return s;
    throw std::runtime_error("no series " + name);
}

std::vector<std::string> titlesAfter(const ChartData& c, std::size_t fixed) {
    std::vector<std::string> r;
    for (std::size_t i = fixed; i < c.series.size(); ++i)
        r.push_back(c.series[i].title);
    return r;
}

void expectValues(const std::vector<double>& got, const std::vector<double>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR(got[i], want[i], 1e-12) << what << " [" << i << "]";
}

double W(double t) {
    return CDF_Gauss(250, 50, t);
}

TEST(ChartPass, CauseSeriesOrderTitlesAndValues) {
    Analysis s = flowState();
    s.Sum_PrichRow[12] = 1; // as another window may leave it: still not charted here
    FlowCharts f = chartPass(s, kComma);

    EXPECT_EQ(f.labels, (std::vector<std::string>{"100", "150", "300", "400"}));
    // Cause 2 has no failures and cause 12 is beyond the charted ten.
    EXPECT_EQ(titlesAfter(f.chart1, 7),
              (std::vector<std::string>{"Двигатель, всего 4 (40,0%) случаев", "Фара, всего 3 (30,0%) случаев",
                                        "Не идент."}));
    EXPECT_EQ(titlesAfter(f.chart2, 7), (std::vector<std::string>{"Двигатель", "Фара"}));
    EXPECT_EQ(titlesAfter(f.chart3, 1),
              (std::vector<std::string>{"Двигатель", "Двигатель с учетом цензурирования", "Фара",
                                        "Фара с учетом цензурирования", "Не идент.",
                                        "Не идент. с учетом цензурирования"}));

    const auto& bar1 = f.chart1.series[7];
    EXPECT_EQ(bar1.cause, 1);
    EXPECT_EQ(bar1.color, kPalette5[1]);
    EXPECT_TRUE(bar1.stacked);
    EXPECT_EQ(f.chart1.series[8].color, kPalette5[3]);
    EXPECT_FALSE(f.chart2.series[7].stacked);
    EXPECT_EQ(f.chart2.series[7].transparency, 30);
    EXPECT_EQ(f.chart3.series[2].transparency, 60);
    EXPECT_EQ(f.chart3.series[3].color, kPalette5[3]);
    const auto& undCorr = f.chart3.series.back();
    EXPECT_EQ(undCorr.cause, 0);
    EXPECT_EQ(undCorr.color, 0x040000u);
    EXPECT_EQ(undCorr.transparency, 50);
    EXPECT_TRUE(undCorr.values.empty());
    for (int i = 1; i <= 10; ++i)
        EXPECT_NE(f.chart1.series[9].color, kPalette5[i]);

    expectValues(bar1.values, {2 / 50.0, 1 * 2 / 50.0, 0, 1 / 50.0}, "chart1 cause 1");
    expectValues(f.chart1.series[8].values, {0, 2 * 2 / 50.0, 1 * (100 / 150.0) / 50, 0}, "chart1 cause 3");
    // Accumulated per product, scaled up to all failures (20 of 10 documented).
    expectValues(f.chart2.series[7].values, {2 / 50.0 * 2, 3 / 50.0 * 2, 3 / 50.0 * 2, 4 / 50.0 * 2},
                 "chart2 cause 1");
    // Stops at the interval by which 90 % have left warranty.
    expectValues(f.chart3.series[1].values, {0.04, 0.04, 0}, "chart3 cause 1");
    expectValues(f.chart3.series[2].values, {0.04 / (1 - W(100)), 0.04 / (1 - W(150)), 0},
                 "chart3 cause 1 corr");
    expectValues(f.chart3.series[4].values, {0, 0.08 / (1 - W(150)), 1 * (100 / 150.0) / 50 / (1 - W(300))},
                 "chart3 cause 3 corr");

    // The other series run to the last interval.
    expectValues(named(f.chart1, "Series1").values, {W(100) * 100, W(150) * 100, W(300) * 100, W(400) * 100},
                 "Series1");
    expectValues(named(f.chart2, "Series7").values, named(f.chart1, "Series1").values, "Series7");
    expectValues(named(f.chart2, "Series15").values, {3 / 25.0, 6 / 25.0, 8 / 25.0, 10 / 25.0}, "Series15");

    EXPECT_EQ(s.F_OutGar, (RealArray{W(100), W(150), W(300), W(400)}));
    EXPECT_EQ(s.SumNund, 2);
    EXPECT_EQ(s.Sum_PrichRow[1], 4);
    EXPECT_EQ(s.Sum_PrichRow[3], 3);
    EXPECT_EQ(s.Sum_PrichCol[3], 3);
}

TEST(ChartPass, FixedSeriesKeepTheirPositions) {
    Analysis s = flowState();
    FlowCharts f = chartPass(s, kComma);
    auto names = [](const ChartData& c, std::size_t n) {
        std::vector<std::string> r;
        for (std::size_t i = 0; i < n; ++i)
            r.push_back(c.series[i].name);
        return r;
    };
    EXPECT_EQ(names(f.chart1, 7), (std::vector<std::string>{"Series1", "Series2", "Series3", "Series4",
                                                            "Series6", "Series5", "Series14"}));
    EXPECT_EQ(names(f.chart2, 7), (std::vector<std::string>{"Series15", "Series7", "Series8", "Series9",
                                                            "Series10", "Series11", "Series12"}));
    EXPECT_EQ(names(f.chart3, 1), (std::vector<std::string>{"Series13"}));
    EXPECT_FALSE(named(f.chart1, "Series14").active);
    EXPECT_TRUE(named(f.chart1, "Series14").values.empty());
    EXPECT_FALSE(named(f.chart3, "Series13").active);
    EXPECT_TRUE(named(f.chart3, "Series13").values.empty());
    EXPECT_EQ(named(f.chart1, "Series1").axis, Axis::Right);
    EXPECT_EQ(named(f.chart2, "Series15").kind, SeriesKind::Area);
}

TEST(ChartPass, NewtonModelDrawnWhileBothPearsonModelsKeepSums) {
    Analysis s = flowState();
    s.models[ModelId::Newton] = model({0.1, 0.2, 0.3, 0.2}, {2, 3, 2.5, 1}, 1.5);
    s.models[ModelId::Spiral] = model({0.4, 0.4, 0.1, 0.1}, {1, 1, 1, 1}, 3);
    FlowCharts f = chartPass(s, kComma);

    const auto& s2 = named(f.chart1, "Series2");
    EXPECT_EQ(s2.title, "Модель по Пирсону с учетом цензурирования");
    expectValues(s2.values, {0.1 * 1 * 1.5, 0.2 * 2 * 1.5, 0.3 * (100 / 150.0) * 1.5, 0.2 * 1 * 1.5},
                 "Series2");
    expectValues(named(f.chart1, "Series3").values,
                 {2 / 50.0, 3 * 2 / 50.0, 2.5 * (100 / 150.0) / 50, 1 / 50.0}, "Series3");
    expectValues(named(f.chart2, "Series8").values, {0.15, 0.45, 0.9, 1.2}, "Series8");
    expectValues(named(f.chart2, "Series9").values, {0.04, 0.1, 0.15, 0.17}, "Series9");
    EXPECT_TRUE(named(f.chart1, "Series4").values.empty());
    EXPECT_TRUE(named(f.chart2, "Series11").values.empty());

    EXPECT_DOUBLE_EQ(s.models[ModelId::Newton].Kol_Nakopl, 8.5);
    EXPECT_DOUBLE_EQ(s.models[ModelId::Newton].Unsens, 0.8);
    EXPECT_DOUBLE_EQ(s.models[ModelId::Spiral].Kol_Nakopl, 4);
    EXPECT_DOUBLE_EQ(s.models[ModelId::Spiral].Unsens, 1.0);

    // With Newton's model gone, the spiral-descent model is the one drawn.
    s.models[ModelId::Newton].Executed = false;
    f = chartPass(s, kComma);
    expectValues(named(f.chart2, "Series8").values, {1.2, 2.4, 2.7, 3.0}, "Series8 from the spiral model");
}

TEST(ChartPass, RunningSumsOfModels) {
    Analysis s = flowState();
    s.models[ModelId::Newton] = model({0.1, 0.1, 0.1, 0.1}, {1, 1, 1, 1}, 1);
    s.models[ModelId::Newton].Executed = false;
    s.models[ModelId::Newton].Kol_Nakopl = 11; // not shown: kept as it was
    s.models[ModelId::Newton].Unsens = 12;
    s.models[ModelId::Smirnov] = model({0.1, 0.2, 0.3, 0.4}, {1, 2, 3, 4}, 2);
    s.models[ModelId::Smirnov].Unsens = 5;
    s.models[ModelId::Genetic] = model({0.2, 0.2, 0.2, 0.2}, {0.5, 0.5, 0.5, 0.5}, 2);
    s.models[ModelId::Genetic].Executed = false;
    s.models[ModelId::Genetic].Kol_Nakopl = 7; // not shown: kept as it was
    s.Sum_PrichRow[12] = 77;                   // the causes beyond ten belong to other charts
    FlowCharts f = chartPass(s, kComma);

    EXPECT_EQ(s.models[ModelId::Newton].Kol_Nakopl, 11);
    EXPECT_EQ(s.models[ModelId::Newton].Unsens, 12);
    EXPECT_EQ(s.models[ModelId::Smirnov].Kol_Nakopl, 10);
    EXPECT_EQ(s.models[ModelId::Smirnov].Unsens, 0);
    EXPECT_EQ(s.models[ModelId::Genetic].Kol_Nakopl, 7);
    EXPECT_EQ(s.Sum_PrichRow[12], 77);
    expectValues(named(f.chart1, "Series4").values,
                 {1 / 50.0, 2 * 2 / 50.0, 3 * (100 / 150.0) / 50, 4 / 50.0}, "Series4");
    expectValues(named(f.chart2, "Series10").values, {0.02, 0.06, 0.12, 0.2}, "Series10");
    // No Pearson model: its curves stay empty under their design titles.
    EXPECT_TRUE(named(f.chart1, "Series2").values.empty());
    EXPECT_EQ(named(f.chart1, "Series2").title, "Модель по Пирсону с влиянием цензурирования");

    s.models[ModelId::Genetic].Executed = true;
    f = chartPass(s, kComma);
    EXPECT_EQ(s.models[ModelId::Genetic].Kol_Nakopl, 2);
    EXPECT_DOUBLE_EQ(s.models[ModelId::Genetic].Unsens, 0.8);
    expectValues(named(f.chart1, "Series5").values, {0.4, 0.8, 0.2 * 2 * (100 / 150.0), 0.4}, "Series5");
    expectValues(named(f.chart2, "Series12").values, {0.01, 0.02, 0.03, 0.04}, "Series12");
}

TEST(ChartPass, SecondFillingWithFewerCausesLeavesNothingBehind) {
    Analysis s = flowState();
    chartPass(s, kComma);
    // Now only unidentified failures, over two intervals.
    s.Hist_Arr = {interval(100, {}, 3), interval(200, {}, 1)};
    FlowCharts f = chartPass(s, kComma);

    EXPECT_EQ(f.labels, (std::vector<std::string>{"100", "200"}));
    EXPECT_EQ(titlesAfter(f.chart1, 7), (std::vector<std::string>{"Не идент."}));
    EXPECT_TRUE(titlesAfter(f.chart2, 7).empty());
    EXPECT_EQ(titlesAfter(f.chart3, 1),
              (std::vector<std::string>{"Не идент.", "Не идент. с учетом цензурирования"}));
    EXPECT_EQ(named(f.chart2, "Series15").values.size(), 2u);
    EXPECT_EQ(s.F_OutGar.size(), 2u);
    EXPECT_EQ(s.Sum_PrichRow[1], 0);
    EXPECT_EQ(s.Sum_PrichCol[3], 0);
    EXPECT_EQ(s.SumNund, 4);

    // And without unidentified failures their legend entries go too.
    s.Vidy_otkazov[2].Dolya = 1;
    s.Hist_Arr = {interval(100, {{2, 1}}, 0)};
    f = chartPass(s, kComma);
    EXPECT_EQ(titlesAfter(f.chart1, 7), (std::vector<std::string>{"Насос, всего 1 (10,0%) случаев"}));
    EXPECT_EQ(titlesAfter(f.chart3, 1), (std::vector<std::string>{"Насос", "Насос с учетом цензурирования"}));
    EXPECT_EQ(s.SumNund, 0);
}

TEST(Potok08, CountsFailuresBetweenFifthOfMeanAndMean) {
    Analysis s = flowState();
    // 0.2 * 250 = 50: the failures at 50 and 250 count, 49.9 and 250.1 do not.
    s.MasProbl = {{49.9, 1, ""}, {50, 1, ""}, {250, 0, ""}, {250.1, 1, ""}};
    const double S = 1 / (1 - W(50)) + 1 / (1 - 0.5);
    EXPECT_NEAR(Potok08(s), S * 100 / 200 / 100 * 20 / 10, 1e-15);

    s.MasProbl = {{10, 1, ""}, {300, 1, ""}};
    EXPECT_EQ(Potok08(s), 0);
}

TEST(DiagramsTable, ModelColumnFigures) {
    Analysis s = flowState();
    s.models[ModelId::Spiral] = model({0.1, 0.2, 0.3, 0.2}, {2, 3, 2.5, 1}, 2);
    s.models[ModelId::Spiral].SKO_out = 1.5;
    s.models[ModelId::Spiral].Sred = 300; // the model's own censoring law, not the state's
    s.models[ModelId::Spiral].SKO = 60;
    s.models[ModelId::Spiral].KolmCrt = 99;
    s.T50expl = 1234.5;
    s.t50zen = 1500.4;
    s.T80expl = 800;
    s.T90expl = 600;
    s.Otk_Izd = 0.456;
    DiagramsResult r = Diagrams(s, kComma);
    const auto& c = r.table.cells;

    EXPECT_EQ(r.comment, "Партия 7 (100 шт.)");
    EXPECT_EQ(s.models[ModelId::Spiral].Kol_Nakopl, 8.5);
    EXPECT_EQ(s.F_OutGar.size(), 4u);
    EXPECT_EQ(r.charts.chart1.series.size(), 10u);
    EXPECT_EQ(c[0][1], "Пирсона/спир.спуск");
    EXPECT_EQ(c[1][1], "10000,00, / 1,00000");
    EXPECT_EQ(c[2][1], " 2,000");
    // weibinv(1e-4, 1, p) = ln(1 / (1 - p)) * 1e4: 2876.8, 1053.6, 512.9.
    EXPECT_EQ(c[3][1], "2877 ч.");
    EXPECT_EQ(c[4][1], "1054 ч., 513 ч.");
    EXPECT_EQ(c[5][1], "8 /17"); // 8.5 -> 8 (half to even), 17
    EXPECT_EQ(c[6][1], " 2,94 /  1,50");
    EXPECT_EQ(c[7][1], "300,0 ч");
    EXPECT_EQ(c[8][1], "60,0 ч");
    double crt = 0;
    std::string verdict;
    Kolmogor(s, 2, 0.0001, 1, 300, 60, crt, verdict);
    EXPECT_EQ(c[9][1], formatPattern("%6.3f", {crt}, kComma) + verdict);
    EXPECT_EQ(s.models[ModelId::Spiral].KolmCrt, 99);
    EXPECT_EQ(c[10][1], "20%...100% гаран.срока");
    EXPECT_EQ(c[11][1], "  0,19"); // 2 * (1 - exp(-0.1))

    EXPECT_EQ(c[0][2], "Данные эксплуатации");
    EXPECT_EQ(c[1][2], "");
    EXPECT_EQ(c[3][2], "1234 (набл.)/1500 (ценз.)");
    EXPECT_EQ(c[4][2], "800 ч., 600 ч.(ценз.)");
    EXPECT_EQ(c[5][2], "10 /20");
    EXPECT_EQ(c[10][2], formatPattern("%5.4f", {Potok08(s)}, kComma) + "/издел. на 100 ч.");
    EXPECT_EQ(c[11][2], "0,46");
    EXPECT_EQ(c[0][0], "Параметры для моделей:");
    EXPECT_EQ(c[11][0], "Отказов/изд. за гарант.срок");
    EXPECT_EQ(r.table.widths, (std::array<int, kTableColumns>{-1, 118, 128, -1, -1, -1, -1}));
}

TEST(DiagramsTable, ColumnPlacementFollowsExecutedModels) {
    struct Case {
        bool pirsN, pirsS, smirn, genet;
        std::vector<std::string> titles; // row 0, columns 1..5
        std::array<int, kTableColumns> widths;
    };
    const std::vector<Case> cases = {
        {true,
         true,
         true,
         true,
         {"Пирсона/Ньютона", "Пирсона/спир.спуск", "Смирнова ", "Генетическая", "Данные эксплуатации"},
         {-1, 134, 118, 118, 118, 128, -1}},
        {false,
         true,
         true,
         false,
         {"Пирсона/спир.спуск", "Смирнова ", "Данные эксплуатации", "", ""},
         {-1, 118, 118, 128, -1, -1, -1}},
        {false,
         false,
         false,
         true,
         {"Генетическая", "Данные эксплуатации", "", "", ""},
         {-1, 118, 128, -1, -1, -1, -1}},
        {false, false, false, false, {"Данные эксплуатации", "", "", "", ""}, {-1, 128, -1, -1, -1, -1, -1}},
    };
    Analysis s = flowState();
    for (ModelId id : {ModelId::Newton, ModelId::Spiral, ModelId::Smirnov, ModelId::Genetic})
        s.models[id] = model({0.1, 0.1, 0.1, 0.1}, {1, 1, 1, 1}, 1);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.titles[0]);
        s.models[ModelId::Newton].Executed = k.pirsN;
        s.models[ModelId::Spiral].Executed = k.pirsS;
        s.models[ModelId::Smirnov].Executed = k.smirn;
        s.models[ModelId::Genetic].Executed = k.genet;
        DiagramsResult r = Diagrams(s, kComma);
        for (int col = 1; col <= 5; ++col) {
            EXPECT_EQ(r.table.cells[0][col], k.titles[col - 1]) << col;
            if (k.titles[col - 1].empty())
                for (int row = 0; row < 12; ++row)
                    EXPECT_EQ(r.table.cells[row][col], "") << row << "," << col;
        }
        EXPECT_EQ(r.table.widths, k.widths);
    }
}

TEST(DiagramsTable, NoModelPutsPot08IntoContinuationCell) {
    Analysis s = flowState();
    s.MasProbl = {{10, 1, ""}, {300, 1, ""}}; // nothing between 50 and 250 h
    DiagramsResult r = Diagrams(s, kComma);
    EXPECT_EQ(Potok08(s), 0);
    EXPECT_EQ(r.table.cells[10][1], "0,0000/издел. на 100 ч.");
    EXPECT_EQ(r.table.cells[10][0], "Отказов после приработки при");
}

TEST(DiagramsTable, LowRepetitionCoefficientShowsNever) {
    Analysis s = flowState();
    s.models[ModelId::Smirnov] = model({0.1, 0.1, 0.1, 0.1}, {1, 1, 1, 1}, 0.5);
    DiagramsResult r = Diagrams(s, NumberFormat{});
    EXPECT_EQ(r.table.cells[3][1], "10000000000 ч.");
    // 0.4 and 0.2 are ordinary probabilities.
    EXPECT_EQ(r.table.cells[4][1], "5108 ч., 2231 ч.");
}

TEST(DiagramsErrors, RefusalsLeaveStateUntouched) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        std::function<void(Analysis&)> spoil;
        const char* message; // a part of the text
    };
    const std::vector<Case> cases = {
        {"no documented failures", [](Analysis& s) { s.Kol_izw = 0; }, "документированных отказов равно 0"},
        {"no reduced fleet", [](Analysis& s) { s.Izd_Prived = 0; }, "Приведенное число изделий равно 0"},
        {"no documented share", [](Analysis& s) { s.Popravka_Unknow = 0; }, "Доля документированных"},
        {"no fleet", [](Analysis& s) { s.Kol_Izd_All = 0; }, "Число изделий в эксплуатации равно 0"},
        {"zero mean term", [](Analysis& s) { s.Sred = 0; }, "Средний срок гарантии равен 0"},
        {"interval of no whole hour", [](Analysis& s) { s.Hist_Arr[1].time = 100.4; },
         "Интервал гистограммы до 100 ч"},
        {"zero coefficient A", [](Analysis& s) { s.models[ModelId::Newton].A = 0; }, "Парам.закона Вейбулла"},
        {"zero repetition", [](Analysis& s) { s.models[ModelId::Newton].K_powtor = 0; },
         "коэффициент повторности равен 0"},
        {"curves of another histogram", [](Analysis& s) { s.models[ModelId::Genetic].F_Weib.pop_back(); },
         "«Генетическая» рассчитана по другой гистограмме"},
        {"NaN in a curve", [nan](Analysis& s) { s.models[ModelId::Newton].Kol_F_priv[2] = nan; },
         "не является конечным"},
        {"NaN in a hidden model's sums", [nan](Analysis& s) { s.models[ModelId::Spiral].F_Weib[0] = nan; },
         "«Пирсона/спир.спуск»: накопленное"},
        {"NaN operating figure", [nan](Analysis& s) { s.T80expl = nan; }, "Данные эксплуатации"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        Analysis s = flowState();
        s.models[ModelId::Newton] = model({0.1, 0.2, 0.3, 0.2}, {2, 3, 2.5, 1}, 1.5);
        s.models[ModelId::Spiral] = s.models[ModelId::Newton];
        s.models[ModelId::Genetic] = s.models[ModelId::Newton];
        s.models[ModelId::Newton].Kol_Nakopl = 42;
        s.SumNund = 9;
        s.F_OutGar = {0.5};
        k.spoil(s);
        try {
            Diagrams(s, kComma);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(k.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(s.SumNund, 9);
        EXPECT_EQ(s.F_OutGar, RealArray{0.5});
        EXPECT_EQ(s.models[ModelId::Newton].Kol_Nakopl, 42);
    }
}

} // namespace
} // namespace relan

namespace relan {
namespace {

TEST(ExpandChart, AllEighteenCausesCumulativeShareAndHeading) {
    Analysis s = flowState();
    s.models[ModelId::Genetic] = model({0.1, 0.2, 0.1, 0.05}, {1, 2, 1, 0.5}, 1.2);
    const ExpandResult r = ExpandDia_1(s, kComma);
    EXPECT_EQ(r.labels, (std::vector<std::string>{"100", "150", "300", "400"}));
    // Cause 12, left out of the results window, has its own bars here.
    EXPECT_EQ(titlesAfter(r.chart, 8),
              (std::vector<std::string>{"Двигатель, всего 4 (40,0%) случаев", "Фара, всего 3 (30,0%) случаев",
                                        "Прочее, всего 1 (10,0%) случаев", "Не идент."}));
    const ChartSeries& prochee = r.chart.series[10];
    EXPECT_EQ(prochee.color, kExtraCauseColors[1]);
    expectValues(prochee.values, {0, 0, 0, 1 * 1.0 / 50}, "cause 12");
    for (std::uint32_t c : kPalette5)
        EXPECT_NE(prochee.color, c);

    const ChartSeries& s7 = r.chart.series[7];
    EXPECT_EQ(s7.name, "Series7");
    EXPECT_EQ(s7.title, "Накопление отказов, % от машин");
    EXPECT_EQ(s7.axis, Axis::Right);
    expectValues(s7.values, {6, 12, 16, 20}, "Series7"); // 3, 6, 8, 10 failures of P = 50
    EXPECT_EQ(s7.marks, (std::vector<std::string>{"6", "12", "16", "20"}));
    EXPECT_EQ(named(r.chart, "Series5").title, "Модель генетическая с учетом цензурирования");
    EXPECT_EQ(r.chart.rightAxisTitle, "Доля отказавших, выбывание из гарантии, %");

    EXPECT_EQ(r.heading, "Партия 7 (100 шт.,20 отказов)");
    // 10 documented failures never reach half of 50 products.
    EXPECT_EQ(r.medianLine, "- данных недостаточно для оценки");
    EXPECT_EQ(r.censoredMedianLine, "");
    EXPECT_EQ(s.Sum_PrichRow[12], 1);
    EXPECT_EQ(s.Sum_PrichCol[12], 1);
}

TEST(ExpandChart, CumulativeShareStopsAbove100PercentAndMediansInterpolate) {
    Analysis s = flowState();
    s.Izd_Prived = 7;
    const ExpandResult r = ExpandDia_1(s, kComma);
    // 3/7, 6/7, then 8/7 would pass 100 %.
    expectValues(r.chart.series[7].values, {300.0 / 7, 600.0 / 7}, "Series7");
    EXPECT_EQ(r.chart.series[7].marks, (std::vector<std::string>{"42,9", "85,7"}));
    // The 4th failure (200 h, previous 140 h) reaches 4/7 >= 0.5: 200 - 60 * Frac(4 - 3.5).
    EXPECT_DOUBLE_EQ(r.t50, 170);
    EXPECT_EQ(r.medianLine, "- без учета цензурирования:   170,0 ч");
    // Weighted by 1 / (1 - W(t)) the sum passes 3.5 at the same failure, with 4.2074.
    EXPECT_NEAR(r.tz50, 157.5543, 1e-4);
    EXPECT_EQ(r.censoredMedianLine, "- с учетом цензурирования:  157,55 ч");
}

TEST(ExpandChart, WithoutChartedCausesTheCumulativeSeriesKeepsItsDesignTitle) {
    Analysis s = flowState();
    for (auto& rec : s.Hist_Arr) {
        rec.Npr.fill(0);
        rec.Nund = rec.Sum;
    }
    const ExpandResult r = ExpandDia_1(s, kComma);
    EXPECT_EQ(r.chart.series[7].title, "Выбывание из гарантии эксп.");
    EXPECT_EQ(titlesAfter(r.chart, 8), (std::vector<std::string>{"Не идент."}));
}

} // namespace
} // namespace relan
