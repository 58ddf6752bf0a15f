#include "relan/calculation.hpp"

#include "relan/error.hpp"
#include "relan/histogram.hpp"
#include "relan/special.hpp"
#include "relan/text_decoding.hpp"
#include "relan/warning_text.hpp"

#include <chrono>
#include <cmath>

namespace relan {
namespace {

double stepCoefficient(const char* label, const std::string& text, FitKind kind, const Analysis& s,
                       const NumberFormat& fmt) {
    const double k = fieldReal(label, text, fmt);
    if (!(k > 1))
        throw Error(fieldName(label) + ": коэффициент уменьшения шага должен быть больше 1, введено " +
                    text::quoted(text));
    if (fitPasses(kind, s.Sred_Opt, s.SKO_Opt, k) == 0)
        throw Error(fieldName(label) + ": коэффициент " + text::quoted(text) +
                    " слишком близок к 1, поиск не закончится за " + std::to_string(kMaxFitPasses) +
                    " проходов");
    return k;
}

// The step coefficient of a search as typed, and its field's label.
struct StepField {
    const std::string& text;
    const char* label;
};

StepField stepField(const CalculationInputs& f, FitKind kind) {
    switch (kind) {
    case FitKind::Spiral:
        return {f.spiralStepText, kLabelKdivSpiral};
    case FitKind::Newton:
        return {f.newtonStepText, kLabelKdivNewton};
    case FitKind::Smirnov:
        break;
    }
    return {f.smirnovStepText, kLabelKdivSmirnov};
}

bool finite(const RealArray& a) {
    for (double v : a)
        if (!std::isfinite(v)) return false;
    return true;
}

// A model that is not a set of finite numbers must never reach the table.
void checkModel(const Mod_Weib& m, const char* title) {
    for (double v : {m.A, m.B, m.K_powtor, m.Sred, m.SKO, m.SKO_out})
        if (!std::isfinite(v))
            throw Error(std::string("Расчёт модели ") + title +
                        " дал нечисловой результат (деление на ноль или переполнение)");
    if (!finite(m.F_Weib) || !finite(m.F_norm) || !finite(m.Kol_F_priv))
        throw Error(std::string("Расчёт модели ") + title +
                    " дал нечисловые значения по интервалам (деление на ноль или переполнение)");
}

// The likelihood model as a model of the table and charts: its law, its
// censoring law and the expected failures per histogram interval.
std::shared_ptr<const LikelihoodFit> fitLikelihoodModel(Analysis& s, const CalculationInputs& f,
                                                        const NumberFormat& fmt, const LogSink& log,
                                                        const CalcOptions& opt) {
    const auto started = std::chrono::steady_clock::now();
    LikelihoodOptions lo;
    lo.fitSred = f.searchCensoringMean;
    lo.fitSKO = f.searchCensoringSd;
    lo.mcfTimes = f.mcfTimes;
    lo.fmt = fmt;
    lo.progress = opt.progress;
    auto fit = std::make_shared<const LikelihoodFit>(fitLikelihood(s, lo));
    const double seconds =
        opt.timing ? std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() : 0;

    Mod_Weib& m = s.models[ModelId::Likelihood];
    m = Mod_Weib{};
    m.Executed = true;
    m.A = fit->A;
    m.B = fit->B;
    m.K_powtor = fit->K_powtor;
    m.Sred = fit->Sred;
    m.SKO = fit->SKO;
    m.SKO_out = fit->SKO;
    modelCurves(s, m, m.Sred, m.SKO);
    const std::string p = pValueText(fit->gof, fmt);
    log(formatPattern("Модель МП: время расчета %s, lnL = %.3f, AIC = %.3f, хи-квадрат = %.2f (%d ст. св.), ",
                      {longTimeText(seconds), fit->loglik, fit->aic, fit->gof.chi2,
                       static_cast<long long>(fit->gof.df)},
                      fmt) +
        p + (fit->converged ? "" : ", оптимизация не сошлась"));
    // The modelled histogram and its band with the model's own censoring law;
    // the calculation's law is left as the other models need it. A refusal
    // drops this working copy of the state anyway.
    const double sred = s.Sred, sko = s.SKO;
    s.Sred = m.Sred;
    s.SKO = m.SKO;
    Hist_Made(s, m.A, m.B, m.K_powtor, s.Mas_Out_Like, s.Kol_Nakopl_Like, m.SKO_out, fmt, log);
    s.Sred = sred;
    s.SKO = sko;
    for (const auto& w : fit->warnings)
        log("Модель МП: " + warningText(w, fmt));
    checkModel(m, "МП");
    s.likelihoodFit = fit;
    return fit;
}

} // namespace

CensoringLaw readCensoringFields(std::string_view meanText, std::string_view sdText,
                                 const NumberFormat& fmt) {
    CensoringLaw law;
    law.Sred = fieldReal(kLabelSred, meanText, fmt);
    if (!(law.Sred > 0))
        throw Error(fieldName(kLabelSred) +
                    ": среднее время окончания гарантии должно быть больше 0 ч, введено " +
                    text::quoted(meanText));
    law.SKO = fieldReal(kLabelSKO, sdText, fmt);
    if (!(law.SKO > 0))
        throw Error(fieldName(kLabelSKO) +
                    ": СКО времени окончания гарантии должно быть больше 0 ч, введено " +
                    text::quoted(sdText));
    return law;
}

PreparedCalculation prepareCalculation(const Analysis& state, const CalculationInputs& f,
                                       const NumberFormat& fmt) {
    PreparedCalculation p{state, f};
    Analysis& s = p.state;
    s.Path = f.dataPath;
    if (s.Path.empty()) throw Error("Не указан путь к файлу исходных данных");
    if (!s.uk || s.MasProbl.empty() || s.Kol_izw == 0) throw Error(kNoFailureData);
    const CensoringLaw law = readCensoringFields(f.censoringMeanText, f.censoringSdText, fmt);
    s.Sred = law.Sred;
    s.SKO = law.SKO;
    s.tGar = fieldReal(kLabelTGar, f.countingPeriodText, fmt);
    if (s.tGar < 0)
        throw Error(fieldName(kLabelTGar) + ": период учета отказов не может быть отрицательным, введено " +
                    text::quoted(f.countingPeriodText));
    // Every model of the calculation is computed afresh or not shown; the
    // genetic model is the genetic run's.
    for (const ModelDescriptor& d : modelRegistry())
        if (d.id != ModelId::Genetic) s.models[d.id].Executed = false;
    s.likelihoodFit.reset();
    s.SKO_Opt = f.searchCensoringSd;
    s.Sred_Opt = f.searchCensoringMean;

    // Every coefficient is checked before anything is computed.
    for (const ModelDescriptor& d : modelRegistry()) {
        if (!d.fit || !f.fit[d.id]) continue;
        const StepField field = stepField(f, *d.fit);
        p.stepCoefficient[d.id] = stepCoefficient(field.label, field.text, *d.fit, s, fmt);
    }
    return p;
}

CalcResult runPreparedCalculation(PreparedCalculation& p, const NumberFormat& fmt, const LogSink& log,
                                  const CalcOptions& opt) {
    Analysis& s = p.state;
    const CalculationInputs& f = p.inputs;
    // Log lines are gathered and passed on only when the whole calculation
    // succeeded, so that a refused calculation leaves no half of its report.
    std::vector<std::string> lines;
    const LogSink collect = [&lines](const std::string& l) { lines.push_back(l); };
    FitOptions fo;
    fo.variant = f.pearsonVariant;
    fo.fmt = fmt;
    fo.log = collect;
    fo.timing = opt.timing;
    fo.progress = opt.progress;

    hist(s);
    CalcResult result;
    // The order matters: a Pearson fit that searches the censoring law hands
    // its fitted values to every later step of this calculation.
    for (const ModelDescriptor& d : modelRegistry()) {
        if (!d.fit || !f.fit[d.id]) continue;
        fo.kdiv = p.stepCoefficient[d.id];
        Mod_Weib& m = s.models[d.id];
        FitResult fit;
        switch (*d.fit) {
        case FitKind::Spiral:
            fit = SpirSp_Execute(s, fo);
            break;
        case FitKind::Newton:
            fit = Podbor_Weib_Pirson(s, m.A, m.B, fo);
            break;
        case FitKind::Smirnov:
            fit = Podbor_Weib_Smirnow(s, m.A, m.B, fo);
            break;
        }
        Hist_Made(s, m.A, m.B, m.K_powtor, s.Mas_Out_Like, s.Kol_Nakopl_Like, m.SKO_out, fmt, collect);
        checkModel(m, d.logName);
        if (!std::isfinite(fit.criterion))
            throw Error(std::string("Критерий модели ") + d.logName +
                        " не определён: в интервале с отказами ожидаемое число отказов равно 0 "
                        "(критерий «Стандарт» делит на него)");
        result.runs.push_back({d.id, fit});
    }
    if (f.fit[ModelId::Likelihood]) result.likelihood = fitLikelihoodModel(s, f, fmt, collect, opt);
    result.diagrams = Diagrams(s, fmt);

    for (const auto& l : lines)
        logLine(log, l);
    return result;
}

CalcResult runCalculation(Analysis& state, const CalculationInputs& f, const NumberFormat& fmt,
                          const LogSink& log, const CalcOptions& opt) {
    PreparedCalculation p = prepareCalculation(state, f, fmt);
    CalcResult result = runPreparedCalculation(p, fmt, log, opt);
    state = std::move(p.state);
    return result;
}

} // namespace relan
