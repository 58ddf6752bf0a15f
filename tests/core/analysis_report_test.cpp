#include "relan/analysis_report.hpp"

#include "relan/calculation.hpp"
#include "relan/error.hpp"
#include "relan/input_files.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Analysed {
    relan::AnalysisState s;
    relan::CalcResult result;
    relan::NonParamResult nonparam;
    std::vector<std::string> log;
};

Analysed analyse(const std::string& file, bool likelihood, const relan::NumberFormat& fmt) {
    Analysed a;
    const relan::FailureLoad load = relan::loadFailureData(file, fmt, a.s);
    relan::CalcFields f;
    f.FilePath = file;
    f.meSred = load.fields.meSred;
    f.meSKO = load.fields.meSKO;
    f.LabeledEdit2 = load.fields.LabeledEdit2;
    f.Edit1 = load.fields.Edit1;
    f.Edit6 = load.fields.Edit6;
    f.Edit5 = load.fields.Edit5;
    f.BoxML = likelihood;
    a.result = relan::runCalculation(a.s, f, fmt, [&a](const std::string& l) { a.log.push_back(l); });
    relan::AnalysisState copy = a.s;
    a.nonparam = relan::runNonParametric(copy, f.meSred, f.meSKO, fmt);
    return a;
}

std::vector<std::string> headings(const relan::AnalysisReport& r) {
    std::vector<std::string> h;
    for (const auto& s : r.sections) h.push_back(s.heading);
    return h;
}

const relan::ReportSection& section(const relan::AnalysisReport& r, const char* heading) {
    for (const auto& s : r.sections)
        if (s.heading == heading) return s;
    throw std::runtime_error(heading);
}

TEST(AnalysisReport, SectionsInOrderWithTheCausesAddingUpToTheDocumentedFailures) {
    const relan::NumberFormat comma{','};
    Analysed a = analyse(RELAN_SAMPLES_DIR "/mtz82_2018.rel", true, comma);
    const relan::AnalysisReport r = relan::analysisReport(a.s, a.result.diagrams, a.nonparam, a.log, comma);
    EXPECT_EQ(headings(r), (std::vector<std::string>{relan::kReportSectionData, relan::kReportSectionHistogram,
                                                     relan::kReportSectionResults, relan::kReportSectionLikelihood,
                                                     relan::kReportSectionCharts, relan::kReportSectionNonParam,
                                                     relan::kReportSectionLog}));
    // The causes table: its counts add up to every documented failure.
    const auto& causes = section(r, relan::kReportSectionData).blocks.at(2).table.rows;
    long long sum = 0;
    for (std::size_t i = 1; i < causes.size(); ++i) sum += std::stoll(causes[i][2]);
    EXPECT_EQ(sum, a.s.Kol_izw);
    EXPECT_EQ(causes.back()[1], "Причина не установлена");
    // The histogram: a row per interval, each starting where the last ended.
    const auto& hist = section(r, relan::kReportSectionHistogram).blocks.at(1).table.rows;
    ASSERT_EQ(hist.size(), a.s.Hist_Arr.size() + 1);
    for (std::size_t i = 2; i < hist.size(); ++i) EXPECT_EQ(hist[i][1], hist[i - 1][2]);
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

TEST(AnalysisReport, NothingToReportBeforeACalculation) {
    relan::AnalysisState empty;
    EXPECT_THROW(relan::analysisReport(empty, {}, {}, {}, {}), relan::Error);
}

} // namespace
