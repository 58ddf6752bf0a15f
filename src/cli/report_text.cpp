#include "report_text.hpp"

#include "report_json.hpp"

#include "relan/analysis_report.hpp"
#include "relan/criteria.hpp"
#include "relan/warning_text.hpp"

#include <algorithm>
#include <sstream>

namespace relan::cli {
namespace {

std::size_t shownWidth(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string padRight(const std::string& s, std::size_t w) {
    const std::size_t n = shownWidth(s);
    return n >= w ? s : s + std::string(w - n, ' ');
}

// The figures every model shows, whichever search found it.
// `estimable` false: A and K only represent the likelihood model's power-law limit.
void modelFigures(std::ostream& o, const Analysis& s, const Mod_Weib& m, const NumberFormat& fmt,
                  bool estimable = true) {
    auto g = [&](double v) { return formatGeneral(v, fmt); };
    double kolm = 0;
    std::string verdict;
    Kolmogor(s, m.K_powtor, m.A, m.B, m.Sred, m.SKO, kolm, verdict);
    if (estimable)
        o << "  A = " << g(m.A) << ", B = " << g(m.B) << ", Кповт = " << g(m.K_powtor) << "\n";
    else
        o << "  A " << kNotEstimable << ", B = " << g(m.B) << ", Кповт " << kNotEstimable << "\n";
    o << "  Гарантия: среднее " << formatPattern("%.1f", {m.Sred}, fmt) << " ч, СКО "
      << formatPattern("%.1f", {m.SKO}, fmt) << " ч\n";
    o << "  Ожидаемых отказов " << formatPattern("%.2f", {m.Kol_Nakopl}, fmt) << ", СКО модели "
      << formatPattern("%.4f", {m.SKO_out}, fmt) << "\n";
    o << "  Критерий Колмогорова " << formatPattern("%.3f", {kolm}, fmt) << verdict << "\n";
}

} // namespace

std::string textReport(const Analysis& in, const Analysis& s, const CalcResult& r, const NonParamResult& np,
                       const std::vector<std::string>& log, const NumberFormat& fmt,
                       const std::optional<GeneticRun>& genetic) {
    std::ostringstream o;
    auto g = [&](double v) { return formatGeneral(v, fmt); };
    o << in.Comment << "\n\n";
    o << "Исходные данные\n";
    o << "  Изделий в гарантийной эксплуатации: " << in.Kol_Izd_All << "\n";
    o << "  Всех отказов: " << in.KolOtk << ", документированных: " << in.Kol_izw << "\n";
    o << "  Приведённый парк: " << formatPattern("%.2f", {in.Izd_Prived}, fmt) << "\n";
    o << "  Окончание гарантии: среднее " << g(in.Sred) << " ч, СКО " << g(in.SKO) << " ч\n";
    o << "  Причины отказов:\n";
    for (int k = 1; k <= in.NPrich; ++k)
        o << "    " << padRight(in.Vidy_otkazov[k].Nazv_Prich, 32) << g(in.Vidy_otkazov[k].Dolya) << "\n";
    o << "  " << causeCountsNote(s) << "\n";
    o << "\nГистограмма (ширина первых 8 интервалов " << s.D_Hist1 << " ч, далее " << s.D_Hist2 << " ч)\n";
    o << "  до, ч     отказов  без причины\n";
    for (const auto& h : s.Hist_Arr)
        o << "  " << padRight(g(h.time), 10) << padRight(std::to_string(h.Sum), 9) << h.Nund << "\n";

    for (const auto& run : r.runs) {
        o << "\n" << modelDescriptor(run.model).title << "\n";
        modelFigures(o, s, s.models[run.model], fmt);
        o << "  Проходов поиска " << run.fit.passes << ", значение критерия подбора " << g(run.fit.criterion)
          << "\n";
    }

    if (r.likelihood) {
        const LikelihoodFit& f = *r.likelihood;
        const ModelDescriptor& d = modelDescriptor(ModelId::Likelihood);
        o << "\n" << d.title << "\n";
        modelFigures(o, s, s.models[d.id], fmt, f.estimable);
        o << "  ln L = " << formatPattern("%.3f", {f.loglik}, fmt)
          << ", AIC = " << formatPattern("%.3f", {f.aic}, fmt) << ", параметров " << f.parameters
          << (f.converged ? ", оптимизация сошлась" : ", оптимизация НЕ сошлась") << "\n";
        o << "  95% интервалы (профиль правдоподобия):\n";
        for (const NamedInterval& n : namedIntervals(f, fmt))
            o << "    " << padRight(n.name, 30)
              << padRight(n.estimable ? g(n.interval->estimate) : std::string(kNotEstimable), 22)
              << intervalText(*n.interval, "%.4g", fmt) << "\n";
        o << "  Согласие с гистограммой: χ² = " << formatPattern("%.2f", {f.gof.chi2}, fmt) << ", ст. св. "
          << f.gof.df << ", " << pValueText(f.gof, fmt) << " (ячеек " << f.gof.cells << ")\n";
        for (const auto& m : f.gof.merged)
            o << "    объединены: " << mergedCellsText(m, f.numbers) << "\n";
        for (const auto& w : f.warnings)
            o << "  Внимание: " << warningText(w, f.numbers) << "\n";
    }

    if (genetic) {
        const ModelDescriptor& d = modelDescriptor(ModelId::Genetic);
        o << "\n" << d.title << "\n";
        modelFigures(o, s, s.models[d.id], fmt);
        o << "  Поколений " << genetic->outcome.generations << ", значение целевой функции "
          << g(genetic->outcome.criterion);
        if (genetic->seed) o << ", начальное число " << *genetic->seed;
        o << "\n";
        if (genetic->outcome.interrupted) o << "  Расчет прерван: " << genetic->outcome.error << "\n";
    }

    const auto& t = r.diagrams.table;
    std::array<std::size_t, kTableColumns> w{};
    for (const auto& row : t.cells)
        for (int c = 0; c < kTableColumns; ++c)
            w[c] = std::max(w[c], shownWidth(row[c]));
    o << "\n" << r.diagrams.comment << "\n";
    for (const auto& row : t.cells) {
        std::string line = " ";
        for (int c = 0; c < kTableColumns; ++c)
            if (w[c]) line += padRight(row[c], w[c] + 2);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        o << line << "\n";
    }
    std::string notes;
    for (const auto& n : t.notes)
        if (!n.empty()) notes += n + "\n";
    if (!notes.empty()) {
        o << " Параметры на границе поиска (результат определен границей, а не данными):\n";
        std::istringstream lines(notes);
        for (std::string l; std::getline(lines, l);)
            o << "  " << l << "\n";
    }

    o << "\nНепараметрическая оценка\n  " << np.medianLine << "\n";
    if (!np.censoredMedianLine.empty()) o << "  " << np.censoredMedianLine << "\n";
    if (!log.empty()) {
        o << "\nХод решения\n";
        for (const auto& l : log)
            o << "  " << l << "\n";
    }
    return o.str();
}

} // namespace relan::cli
