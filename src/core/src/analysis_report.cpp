#include "relan/analysis_report.hpp"

#include "relan/calculation.hpp"
#include "relan/criteria.hpp"
#include "relan/error.hpp"
#include "relan/likelihood.hpp"
#include "relan/warning_text.hpp"

#include <array>
#include <sstream>

namespace relan {
namespace {

using Row = std::vector<std::string>;

ReportBlock paragraph(std::string text) {
    ReportBlock b;
    b.text = std::move(text);
    return b;
}

ReportBlock table(std::vector<Row> rows, std::vector<bool> numeric, int headerRows = 1) {
    ReportBlock b;
    b.kind = ReportBlock::Kind::Table;
    b.table.rows = std::move(rows);
    b.table.numeric = std::move(numeric);
    b.table.headerRows = headerRows;
    return b;
}

ReportBlock figure(ReportFigure f, std::string caption) {
    ReportBlock b;
    b.kind = ReportBlock::Kind::Figure;
    b.figure = f;
    b.text = std::move(caption);
    return b;
}

ReportSection dataSection(const Analysis& s, const NumberFormat& fmt) {
    auto g = [&](double v) { return formatGeneral(v, fmt); };
    auto f1 = [&](double v) { return formatPattern("%.1f", {v}, fmt); };
    ReportSection sec{kReportSectionData, {}};
    sec.blocks.push_back(table(
        {
            {"Показатель", "Значение"},
            {"Комментарий файла данных", s.Comment},
            {"Изделий в гарантийной эксплуатации", std::to_string(s.Kol_Izd_All)},
            {"Всех отказов", std::to_string(s.KolOtk)},
            {"Документированных отказов", std::to_string(s.Kol_izw)},
            {"Приведённый парк, изделий", formatPattern("%.2f", {s.Izd_Prived}, fmt)},
            {"Среднее время окончания гарантии, ч", f1(s.Sred)},
            {"СКО времени окончания гарантии, ч", f1(s.SKO)},
            {"Период учета отказов на 1 изделие, ч", g(s.tGar)},
        },
        {false, true}));

    // The counts the load ranked the causes by, which the window, the charts
    // and the command line show: a failure whose source names two causes is
    // counted in both, and the note below says how often that happened.
    const long long none = failuresWithoutCause(s);
    const double all = static_cast<double>(s.Kol_izw);
    auto share = [&](double n) { return formatPattern("%.1f", {all > 0 ? 100.0 * n / all : 0.0}, fmt); };
    std::vector<Row> causes = {{"№", "Причина отказа", "Отказов", "Доля, %"}};
    for (int k = 1; k <= s.NPrich && k <= Mx_prich; ++k) {
        const Vid_otkaza& v = s.Vidy_otkazov[static_cast<std::size_t>(k)];
        causes.push_back(
            {std::to_string(k), v.Nazv_Prich, formatPattern("%.0f", {v.Dolya}, fmt), share(v.Dolya)});
    }
    if (none > 0)
        causes.push_back(
            {"", "Причина не установлена", std::to_string(none), share(static_cast<double>(none))});
    sec.blocks.push_back(paragraph("Причины отказов"));
    sec.blocks.push_back(table(std::move(causes), {true, false, true, true}));
    sec.blocks.push_back(paragraph(causeCountsNote(s)));
    return sec;
}

ReportSection histogramSection(const Analysis& s, const NumberFormat& fmt) {
    auto g = [&](double v) { return formatGeneral(v, fmt); };
    ReportSection sec{kReportSectionHistogram, {}};
    sec.blocks.push_back(paragraph("Ширина первых интервалов " + std::to_string(s.D_Hist1) + " ч, далее " +
                                   std::to_string(s.D_Hist2) + " ч."));
    std::vector<Row> rows = {{"№", "От, ч", "До, ч", "Отказов", "Причина не установлена"}};
    double from = 0;
    for (std::size_t i = 0; i < s.Hist_Arr.size(); ++i) {
        const Hist_Rec& h = s.Hist_Arr[i];
        rows.push_back(
            {std::to_string(i + 1), g(from), g(h.time), std::to_string(h.Sum), std::to_string(h.Nund)});
        from = h.time;
    }
    sec.blocks.push_back(table(std::move(rows), {true, true, true, true, true}));
    return sec;
}

ReportSection resultsSection(const Analysis& s, const DiagramsResult& d, const NumberFormat& fmt) {
    ReportSection sec{kReportSectionResults, {}};
    sec.blocks.push_back(paragraph(d.comment));
    const ResultTable& t = d.table;
    std::vector<Row> rows = t.shownCells();
    std::vector<bool> numeric(static_cast<std::size_t>(t.shownColumns()), true);
    numeric[0] = false;
    sec.blocks.push_back(table(std::move(rows), std::move(numeric)));
    for (const auto& n : t.notes)
        if (!n.empty())
            sec.blocks.push_back(
                paragraph("Параметр на границе поиска (результат определен границей, а не данными): " + n));

    std::vector<Row> params = {
        {"Модель", "A", "B", "Кповт", "Среднее гарантии, ч", "СКО гарантии, ч", "Критерий Колмогорова"}};
    for (const ModelDescriptor& d : modelRegistry()) {
        const Mod_Weib& m = s.models[d.id];
        if (!m.Executed) continue;
        double kolm = 0;
        std::string verdict;
        Kolmogor(s, m.K_powtor, m.A, m.B, m.Sred, m.SKO, kolm, verdict);
        auto g6 = [&](double v) { return formatPattern("%.6g", {v}, fmt); };
        // The likelihood model at its power-law limit has no A and K to show.
        const bool estimable = modelEstimable(s, d.id);
        auto est = [&](double v) { return estimable ? g6(v) : std::string(kNotEstimable); };
        params.push_back({d.reportName, est(m.A), g6(m.B), est(m.K_powtor),
                          formatPattern("%.1f", {m.Sred}, fmt), formatPattern("%.1f", {m.SKO}, fmt),
                          formatPattern("%.3f", {kolm}, fmt) + verdict});
    }
    if (params.size() > 1) {
        sec.blocks.push_back(
            paragraph("Параметры моделей: F(t) = 1 − exp(−A·t^B), Кповт — коэффициент повторности"));
        sec.blocks.push_back(table(std::move(params), {false, true, true, true, true, true, true}));
    }
    return sec;
}

ReportSection likelihoodSection(const Analysis& s, const NumberFormat& fmt) {
    ReportSection sec{kReportSectionLikelihood, {}};
    if (!s.models[ModelId::Likelihood].Executed || !s.likelihoodFit) {
        sec.blocks.push_back(paragraph("Модель не рассчитана: отметьте «" + std::string(kLikelihoodBox) +
                                       "» перед расчетом."));
        return sec;
    }
    const LikelihoodFit& f = *s.likelihoodFit;
    if (!f.estimable) {
        // What the data do determine comes first.
        sec.blocks.push_back(
            paragraph("Коэффициент повторности, A и η данными не определяются (см. предупреждения). "
                      "Среднее число отказов на изделие K·F(t) в пределах наблюдаемых наработок "
                      "определяется:"));
        std::vector<Row> mcf = {{"Наработка, ч", "K·F(t)", "95% интервал (профиль правдоподобия)"}};
        for (const auto& p : f.mcf)
            mcf.push_back({formatGeneral(p.time, fmt), formatPattern("%.4g", {p.value.estimate}, fmt),
                           intervalText(p.value, "%.4g", fmt)});
        sec.blocks.push_back(table(std::move(mcf), {true, true, true}));
    }
    sec.blocks.push_back(paragraph("ln L = " + formatPattern("%.3f", {f.loglik}, fmt) +
                                   ", AIC = " + formatPattern("%.3f", {f.aic}, fmt) + ", параметров " +
                                   std::to_string(f.parameters) +
                                   (f.converged ? ", оптимизация сошлась." : ", оптимизация НЕ сошлась.")));
    std::vector<Row> rows = {{"Величина", "Оценка", "95% интервал (профиль правдоподобия)"}};
    for (const NamedInterval& n : namedIntervals(f, fmt))
        rows.push_back(
            {n.name,
             n.estimable ? formatPattern("%.4g", {n.interval->estimate}, fmt) : std::string(kNotEstimable),
             intervalText(*n.interval, "%.4g", fmt)});
    sec.blocks.push_back(table(std::move(rows), {false, true, true}));
    std::string gof = "Согласие с гистограммой: χ² = " + formatPattern("%.2f", {f.gof.chi2}, fmt) +
                      ", степеней свободы " + std::to_string(f.gof.df) + ", " + pValueText(f.gof, fmt) +
                      " (ячеек " + std::to_string(f.gof.cells) + ").";
    // The fit's own texts in the format it was made with, as its log lines were.
    for (const auto& m : f.gof.merged)
        gof += " Объединены: " + mergedCellsText(m, f.numbers) + ".";
    sec.blocks.push_back(paragraph(gof));
    if (f.warnings.empty()) sec.blocks.push_back(paragraph("Предупреждений нет."));
    for (const auto& w : f.warnings)
        sec.blocks.push_back(paragraph("Внимание: " + warningText(w, f.numbers)));
    return sec;
}

} // namespace

std::vector<NamedInterval> namedIntervals(const LikelihoodFit& f, const NumberFormat& fmt) {
    std::vector<NamedInterval> out = {{"A", &f.A_ci, f.estimable},
                                      {"B", &f.B_ci},
                                      {"Кповт", &f.K_ci, f.estimable},
                                      {"η = A^(−1/B), ч", &f.eta_ci, f.estimable}};
    if (f.Sred_ci) out.push_back({"Среднее окончания гарантии, ч", &*f.Sred_ci});
    if (f.SKO_ci) out.push_back({"СКО окончания гарантии, ч", &*f.SKO_ci});
    for (const auto& p : f.mcf)
        out.push_back({"K·F(" + formatGeneral(p.time, fmt) + " ч)", &p.value});
    return out;
}

long long failuresWithoutCause(const LoadedData& s) {
    long long none = 0;
    for (const auto& p : s.MasProbl)
        if (p.chey == 0) ++none;
    return none;
}

std::string causeCountsNote(const LoadedData& s) {
    return "Отказ, в источнике которого названо несколько причин, учтен в каждой из них; таких отказов " +
           std::to_string(s.multiCauseFailures) +
           ". Отказов, не соответствующих ни одной причине: " + std::to_string(failuresWithoutCause(s)) + ".";
}

bool hasReportResults(const Analysis& s) {
    bool computed = false;
    for (const ModelDescriptor& d : modelRegistry())
        computed = computed || s.models[d.id].Executed;
    return !s.MasProbl.empty() && !s.Hist_Arr.empty() && computed;
}

AnalysisReport analysisReport(const Analysis& s, const DiagramsResult& d, const NonParamResult& np,
                              const std::vector<std::string>& log, const NumberFormat& fmt) {
    if (!hasReportResults(s)) throw Error(kNoReportResults);
    AnalysisReport r;
    r.title = kReportTitle;
    r.comment = s.Comment;
    r.numbers = fmt;
    r.charts = d.charts;
    r.nonparam = np;
    r.sections.push_back(dataSection(s, fmt));
    r.sections.push_back(histogramSection(s, fmt));
    r.sections.push_back(resultsSection(s, d, fmt));
    r.sections.push_back(likelihoodSection(s, fmt));

    ReportSection charts{kReportSectionCharts, {}};
    charts.blocks.push_back(figure(ReportFigure::AccumulatedFlow, d.charts.chart2.title));
    charts.blocks.push_back(figure(ReportFigure::FlowPerProduct, d.charts.chart1.title));
    charts.blocks.push_back(figure(ReportFigure::CausesCorrected, d.charts.chart3.title));
    if (s.models[ModelId::Likelihood].Executed && s.likelihoodFit) {
        r.probability = probabilityPlot(s);
        // A large fleet has a point per distinct failure time, tens of
        // thousands of them; the page shows no more than the thinned ones.
        r.probability->observed = thinnedForDrawing(r.probability->observed);
        charts.blocks.push_back(figure(ReportFigure::ProbabilityPlot, kProbabilityPlotTitle));
    }
    r.sections.push_back(std::move(charts));

    ReportSection nonparam{kReportSectionNonParam, {}};
    ReportBlock figures;
    figures.kind = ReportBlock::Kind::Lines;
    figures.lines = {np.productsLine, np.failuresLine, kNonParamMedianHeading, "  " + np.medianLine};
    if (!np.censoredMedianLine.empty()) figures.lines.push_back("  " + np.censoredMedianLine);
    for (const std::string& l :
         {std::string(kNonParamCensoringHeading), "  " + np.censoringMeanLine, "  " + np.censoringSdLine})
        figures.lines.push_back(l);
    nonparam.blocks.push_back(std::move(figures));
    nonparam.blocks.push_back(figure(ReportFigure::NonParametric, kNonParamChartTitle));
    r.sections.push_back(std::move(nonparam));

    ReportSection logSection{kReportSectionLog, {}};
    ReportBlock lines;
    lines.kind = ReportBlock::Kind::Lines;
    // A log line may hold several lines of its own (a warning block).
    for (const auto& l : log) {
        std::istringstream in(l);
        for (std::string part; std::getline(in, part);)
            lines.lines.push_back(part);
    }
    if (lines.lines.empty()) lines.lines.push_back("(пусто)");
    logSection.blocks.push_back(std::move(lines));
    r.sections.push_back(std::move(logSection));
    return r;
}

} // namespace relan
