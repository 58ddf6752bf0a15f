#include "fixtures.hpp"

#include "relan/analysis_report.hpp"

#include "fixtures.hpp"
#include "fleet_sim.hpp"
#include "relan/calculation.hpp"
#include "relan/error.hpp"
#include "relan/input_files.hpp"
#include "relan/likelihood.hpp"
#include "relan/probability_plot.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

struct Analysed {
    relan::Analysis s;
    relan::CalcResult result;
    relan::NonParamResult nonparam;
    std::vector<std::string> log;
};

void analyseLoaded(Analysed& a, const relan::FailureLoad& load, const std::string& file, bool likelihood,
                   const relan::NumberFormat& fmt) {
    relan::CalculationInputs f;
    f.dataPath = file;
    f.censoringMeanText = load.fields.censoringMeanText;
    f.censoringSdText = load.fields.censoringSdText;
    f.countingPeriodText = load.fields.countingPeriodText;
    f.spiralStepText = load.fields.spiralStepText;
    f.newtonStepText = load.fields.newtonStepText;
    f.smirnovStepText = load.fields.smirnovStepText;
    f.fit[relan::ModelId::Likelihood] = likelihood;
    a.result = relan::runCalculation(a.s, f, fmt, [&a](const std::string& l) { a.log.push_back(l); });
    relan::Analysis copy = a.s;
    a.nonparam = relan::runNonParametric(copy, f.censoringMeanText, f.censoringSdText, fmt);
}

Analysed analyse(const std::string& file, bool likelihood, const relan::NumberFormat& fmt) {
    Analysed a;
    const relan::FailureLoad load = relan::loadFailureData(file, fmt, a.s);
    analyseLoaded(a, load, file, likelihood, fmt);
    return a;
}

std::vector<std::string> headings(const relan::AnalysisReport& r) {
    std::vector<std::string> h;
    for (const auto& s : r.sections)
        h.push_back(s.heading);
    return h;
}

const relan::ReportSection& section(const relan::AnalysisReport& r, const char* heading) {
    for (const auto& s : r.sections)
        if (s.heading == heading) return s;
    throw std::runtime_error(heading);
}

TEST(AnalysisReport, SectionsInOrderWithTheCausesCountedAsTheLoadRankedThem) {
    const relan::NumberFormat comma{','};
    Analysed a = analyse(RELAN_SAMPLES_DIR "/mtz82_2018.rel", true, comma);
    const relan::AnalysisReport r = relan::analysisReport(a.s, a.result.diagrams, a.nonparam, a.log, comma);
    EXPECT_EQ(headings(r),
              (std::vector<std::string>{relan::kReportSectionData, relan::kReportSectionHistogram,
                                        relan::kReportSectionResults, relan::kReportSectionLikelihood,
                                        relan::kReportSectionCharts, relan::kReportSectionNonParam,
                                        relan::kReportSectionLog}));
    // The causes table: the counts the window and the charts show.
    const auto& data = section(r, relan::kReportSectionData).blocks;
    const auto& causes = data.at(2).table.rows;
    ASSERT_EQ(causes.size(), static_cast<std::size_t>(a.s.NPrich) + 2); // headings, causes, none named
    EXPECT_EQ(causes[1][1], "Двигатель");
    EXPECT_EQ(causes[1][2], "77");
    EXPECT_EQ(causes[1][3], "35,8");
    for (int k = 1; k <= a.s.NPrich; ++k)
        EXPECT_DOUBLE_EQ(std::stod(causes[k][2]), a.s.Vidy_otkazov[k].Dolya) << causes[k][1];
    EXPECT_EQ(causes.back()[1], "Причина не установлена");
    EXPECT_NE(data.at(3).text.find("таких отказов 1."), std::string::npos) << data.at(3).text;
    // The histogram: a row per interval, each starting where the last ended.
    const auto& hist = section(r, relan::kReportSectionHistogram).blocks.at(1).table.rows;
    ASSERT_EQ(hist.size(), a.s.Hist_Arr.size() + 1);
    for (std::size_t i = 2; i < hist.size(); ++i)
        EXPECT_EQ(hist[i][1], hist[i - 1][2]);
    // With the likelihood model: its intervals in the user's format, and the plot.
    const auto& ml = section(r, relan::kReportSectionLikelihood).blocks.at(1).table.rows;
    EXPECT_EQ(ml.at(3).at(0), "Кповт");
    EXPECT_EQ(ml.at(3).at(2), "(0,3088…0,4512)");
    ASSERT_TRUE(r.probability.has_value());
    EXPECT_EQ(section(r, relan::kReportSectionCharts).blocks.size(), 4u);
    // The log, a line a line.
    EXPECT_EQ(section(r, relan::kReportSectionLog).blocks.at(0).lines.size(), a.log.size());
}

TEST(AnalysisReport, WithoutTheLikelihoodModelSaysSoAndDrawsNoPlot) {
    const relan::NumberFormat point{'.'};
    Analysed a = analyse(RELAN_TEST_DATA_DIR "/small.rel", false, point);
    const relan::AnalysisReport r = relan::analysisReport(a.s, a.result.diagrams, a.nonparam, a.log, point);
    EXPECT_FALSE(r.probability.has_value());
    EXPECT_EQ(section(r, relan::kReportSectionCharts).blocks.size(), 3u);
    const auto& ml = section(r, relan::kReportSectionLikelihood).blocks;
    ASSERT_EQ(ml.size(), 1u);
    EXPECT_EQ(ml[0].text.rfind("Модель не рассчитана", 0), 0u);
}

// A fleet of early failures whose likelihood is largest at the power-law
// limit, as a failure-data file.
std::string earlyFailureFile() {
    const relan::sim::Scenario sc{500, 0.4, std::pow(5000.0, -0.6), 0.6, 1500, 400, 1.0};
    std::mt19937_64 rng(5003);
    const relan::Analysis s = relan::sim::simulateFleet(sc, rng);
    std::vector<std::string> lines{
        "Ранние отказы", "1500", "400", "500", std::to_string(s.MasProbl.size()), "1", "Насос"};
    char buf[32];
    for (const auto& p : s.MasProbl) {
        std::snprintf(buf, sizeof buf, "%.3f", p.time);
        lines.push_back(std::string(buf) + "\tнасос * замена");
    }
    return relan::test::cp1251File(lines);
}

TEST(AnalysisReport, ALikelihoodWithoutKLeadsWithWhatTheDataDetermine) {
    relan::test::TempDir dir;
    const std::string file = dir.write("early.rel", earlyFailureFile());
    const relan::NumberFormat point{'.'};
    Analysed a = analyse(file, true, point);
    ASSERT_TRUE(a.s.likelihoodFit);
    ASSERT_FALSE(a.s.likelihoodFit->estimable);
    const relan::AnalysisReport r = relan::analysisReport(a.s, a.result.diagrams, a.nonparam, a.log, point);
    const auto& ml = section(r, relan::kReportSectionLikelihood).blocks;
    EXPECT_EQ(ml.at(0).text.rfind("Коэффициент повторности, A и η данными не определяются", 0), 0u)
        << ml.at(0).text;
    // K F(t) at the counting period, with its closed interval.
    const auto& mcf = ml.at(1).table.rows;
    ASSERT_EQ(mcf.size(), 2u);
    EXPECT_EQ(mcf[1][0], "1500");
    EXPECT_EQ(mcf[1][2].find(relan::kOpenEnd), std::string::npos) << mcf[1][2];
    // Then the intervals: A, K and eta have no estimate, B has.
    const auto& rows = ml.at(3).table.rows;
    EXPECT_EQ(rows.at(1).at(1), relan::kNotEstimable);
    EXPECT_NE(rows.at(2).at(1), relan::kNotEstimable);
    EXPECT_EQ(rows.at(3).at(1), relan::kNotEstimable);
    EXPECT_EQ(rows.at(4).at(1), relan::kNotEstimable);
    // The results table: what follows from K and A alone is not shown as a number.
    const auto& t = a.result.diagrams.table;
    const int c = t.dataColumn - 1; // the likelihood model's column comes last of the models
    ASSERT_EQ(t.cells[0][c], relan::kLikelihoodColumn);
    EXPECT_EQ(t.cells[1][c].rfind(std::string(relan::kNotEstimable) + " / ", 0), 0u) << t.cells[1][c];
    EXPECT_EQ(t.cells[2][c].rfind(relan::kNotEstimable, 0), 0u) << t.cells[2][c];
    EXPECT_EQ(t.cells[3][c], relan::kNotEstimable);
    EXPECT_EQ(t.cells[4][c], relan::kNotEstimable);
    EXPECT_EQ(t.cells[11][c].find(relan::kOpenEnd), std::string::npos) << t.cells[11][c]; // K F(tGar) stays
    // The other model's column keeps its numbers.
    EXPECT_NE(t.cells[3][c - 1], relan::kNotEstimable);
}

TEST(AnalysisReport, AFailureNamingTwoCausesCountsInBothAndTheNoteSaysSo) {
    // 15 failures: 8 name the pump, 6 the motor (one of them both), 2 neither.
    const std::vector<std::string> lines = {"Насосы, две причины в одной строке",
                                            "1500",
                                            "400",
                                            "60",
                                            "15",
                                            "2",
                                            "Насос",
                                            "Электродвигатель",
                                            "35\tНасос: течь",
                                            "80,5\tэлектродвигатель",
                                            "120\tнасос и электродвигатель: заклинило",
                                            "150\tобрыв кабеля",
                                            "210.5\tНасос: шум",
                                            "260\tЭлектродвигатель: перегрев",
                                            "330\tнасос",
                                            "410\tЭлектродвигатель",
                                            "480\tнасос",
                                            "555\tнасос: вибрация",
                                            "640\tДатчик давления",
                                            "720\tэлектродвигатель",
                                            "830\tнасос",
                                            "950\tнасос",
                                            "1100\tЭлектродвигатель"};
    const relan::NumberFormat comma{','};
    relan::test::TempDir dir;
    const std::string file = dir.write("two.rel", relan::test::cp1251File(lines));
    Analysed a;
    const relan::FailureLoad load = relan::loadFailureData(file, comma, a.s);
    EXPECT_EQ(a.s.multiCauseFailures, 1);
    analyseLoaded(a, load, file, false, comma);
    const relan::AnalysisReport r = relan::analysisReport(a.s, a.result.diagrams, a.nonparam, a.log, comma);

    const auto& data = section(r, relan::kReportSectionData).blocks;
    EXPECT_EQ(data.at(2).table.rows,
              (std::vector<std::vector<std::string>>{{"№", "Причина отказа", "Отказов", "Доля, %"},
                                                     {"1", "Насос", "8", "53,3"},
                                                     {"2", "Электродвигатель", "6", "40,0"},
                                                     {"", "Причина не установлена", "2", "13,3"}}));
    EXPECT_EQ(data.at(3).text, "Отказ, в источнике которого названо несколько причин, учтен в каждой из них; "
                               "таких отказов 1. Отказов, не соответствующих ни одной причине: 2.");
    // The results window's chart counts the same.
    std::vector<std::string> titles;
    for (const auto& series : a.result.diagrams.charts.chart1.series)
        titles.push_back(series.title);
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Насос, всего 8 (53,3%) случаев"), titles.end());
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Электродвигатель, всего 6 (40,0%) случаев"),
              titles.end());
}

TEST(ProbabilityPlotDrawing, AThinnedCurveLosesNothingAFigureCouldShow) {
    // A fleet's curve of 200,000 distinct times, and one of 50: the dense one
    // comes down to what 1/1000 of each axis tells apart, the sparse one stays.
    for (const int n : {200'000, 50}) {
        std::vector<relan::ProbabilityPoint> curve;
        for (int i = 1; i <= n; ++i) {
            const double t = 10 + 2600.0 * i / n;
            curve.push_back({t, -std::expm1(-1e-4 * std::pow(t, 1.1))});
        }
        const std::vector<relan::ProbabilityPoint> kept = relan::thinnedForDrawing(curve, 1000);
        SCOPED_TRACE(n);
        if (n < 1000) {
            EXPECT_EQ(kept.size(), curve.size());
            continue;
        }
        EXPECT_LE(kept.size(), 2002u);
        EXPECT_GE(kept.size(), 500u);
        EXPECT_EQ(kept.front().time, curve.front().time);
        EXPECT_EQ(kept.back().time, curve.back().time);
        const auto x = [](const relan::ProbabilityPoint& p) { return std::log(p.time); };
        const auto y = [](const relan::ProbabilityPoint& p) { return relan::weibullPaperY(p.F); };
        const double dx = (x(curve.back()) - x(curve.front())) / 1000;
        const double dy = (y(curve.back()) - y(curve.front())) / 1000;
        // Every point of the curve lies within a cell of the last point kept
        // at or before it.
        std::size_t k = 0;
        for (const auto& p : curve) {
            while (k + 1 < kept.size() && kept[k + 1].time <= p.time)
                ++k;
            ASSERT_LT(std::abs(x(p) - x(kept[k])), dx * (1 + 1e-9)) << p.time;
            ASSERT_LT(std::abs(y(p) - y(kept[k])), dy * (1 + 1e-9)) << p.time;
        }
    }
}

TEST(AnalysisReport, NothingToReportBeforeACalculation) {
    relan::Analysis empty;
    EXPECT_THROW(relan::analysisReport(empty, {}, {}, {}, {}), relan::Error);
}

} // namespace
