#pragma once

// The report an engineer hands on: one document with the data, the
// histogram, the results of every computed model, the likelihood model's
// intervals, the charts, the non-parametric figures and the log. Here it is
// texts, tables and what each figure draws; a renderer lays it out on pages.

#include "relan/nonparam.hpp"
#include "relan/numtext.hpp"
#include "relan/probability_plot.hpp"
#include "relan/results.hpp"
#include "relan/state.hpp"

#include <optional>
#include <string>
#include <vector>

namespace relan {

struct ReportTable {
    std::vector<std::vector<std::string>> rows; // every row as long as the first
    int headerRows = 1;                         // repeated on every page the table runs onto
    std::vector<bool> numeric;                  // per column: aligned to the right
};

enum class ReportFigure { FlowPerProduct, AccumulatedFlow, CausesCorrected, ProbabilityPlot, NonParametric };

struct ReportBlock {
    enum class Kind { Paragraph, Table, Figure, Lines };
    Kind kind = Kind::Paragraph;
    std::string text; // a paragraph, or a figure's caption
    ReportTable table;
    ReportFigure figure = ReportFigure::FlowPerProduct;
    std::vector<std::string> lines; // lines kept as they are (the log)
};

struct ReportSection {
    std::string heading;
    std::vector<ReportBlock> blocks;
};

struct AnalysisReport {
    std::string title;   // the document's title
    std::string comment; // the data file's comment
    std::vector<ReportSection> sections;
    // What the figures draw.
    FlowCharts charts;
    std::optional<ProbabilityPlot> probability; // when the likelihood model was computed
    NonParamResult nonparam;
    NumberFormat numbers;
};

inline constexpr const char* kReportTitle = "Отчёт об анализе надежности в эксплуатации";
inline constexpr const char* kReportSectionData = "1. Исходные данные";
inline constexpr const char* kReportSectionHistogram = "2. Гистограмма отказов";
inline constexpr const char* kReportSectionResults = "3. Результаты расчета";
inline constexpr const char* kReportSectionLikelihood = "4. Модель максимального правдоподобия";
inline constexpr const char* kReportSectionCharts = "5. Графики";
inline constexpr const char* kReportSectionNonParam = "6. Непараметрическая оценка";
inline constexpr const char* kReportSectionLog = "7. Ход решения";

struct LikelihoodFit;
struct LikelihoodInterval;
// The likelihood model's intervals as the reports list them: A, B, Кповт,
// η, the censoring law when searched, then K·F(t) at each time.
struct NamedInterval {
    std::string name;
    const LikelihoodInterval* interval;
    bool estimable = true; // false: the estimate is no number (kNotEstimable), the interval stands
};
std::vector<NamedInterval> namedIntervals(const LikelihoodFit& f, const NumberFormat& fmt);

// The cause counts are those the load ranked by (Vid_otkaza::Dolya): a
// failure whose source names several causes counts in each. The note tells
// how many did, and how many named none.
long long failuresWithoutCause(const LoadedData& s);
std::string causeCountsNote(const LoadedData& s);

inline constexpr const char* kNoReportResults =
    "Отчёт не составлен: нет результатов расчета (загрузите данные и нажмите «Расчет»)";

// Whether `s` holds a calculation to report: failures, a histogram and at
// least one computed model.
bool hasReportResults(const Analysis& s);

// `s` is the state a calculation left (its histogram, models and censoring
// law), `d` the results window's filling of it, `np` the non-parametric
// analysis of the same data and `log` the progress log. Texts follow `fmt`.
// relan::Error kNoReportResults when no model has been computed.
AnalysisReport analysisReport(const Analysis& s, const DiagramsResult& d, const NonParamResult& np,
                              const std::vector<std::string>& log, const NumberFormat& fmt);

} // namespace relan
