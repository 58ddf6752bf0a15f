#include "relan/warning_text.hpp"

#include <algorithm>
#include <cmath>
#include <variant>

namespace relan {
namespace {

// The Russian plural: 1, 21 интервал; 2..4, 22 интервала; 5..20, 11..14 интервалов.
std::string plural(int n, const char* one, const char* few, const char* many) {
    const int m10 = n % 10, m100 = n % 100;
    if (m10 == 1 && m100 != 11) return one;
    if (m10 >= 2 && m10 <= 4 && (m100 < 12 || m100 > 14)) return few;
    return many;
}

std::string estimateName(Estimate q, double time, const NumberFormat& fmt) {
    switch (q) {
    case Estimate::K:
        return "Коэффициент повторности K";
    case Estimate::A:
        return "Параметр A";
    case Estimate::B:
        return "Параметр B";
    case Estimate::Eta:
        return "Характерное время eta = A^(-1/B)";
    case Estimate::Mcf:
        // The time as typed, however small: rounded to the hour or a tenth, a
        // time of 0,0004 h would read "t = 0 ч".
        return "Среднее число отказов на изделие K·F(t) при t = " + formatGeneral(time, fmt) + " ч";
    case Estimate::CensoringMean:
        return "Среднее время окончания гарантии";
    case Estimate::CensoringSD:
        return "СКО времени окончания гарантии";
    }
    return {};
}

const char* parameterName(SearchParameter p) {
    switch (p) {
    case SearchParameter::A:
        return "A";
    case SearchParameter::B:
        return "B";
    case SearchParameter::K:
        return "Кповт";
    case SearchParameter::Sred:
        return "«Среднее время гарантии»";
    case SearchParameter::SKO:
        return "«СКО времени гарантии»";
    }
    return "";
}

std::string notEstimableReason(const warning::NotEstimable& w, const NumberFormat& fmt) {
    using Reason = warning::NotEstimable::Reason;
    const std::string range = formatFourDigits(w.min, fmt) + "…" + formatFourDigits(w.max, fmt);
    switch (w.reason) {
    case Reason::PowerLawLimit:
        return "максимум правдоподобия достигается в пределе K → ∞, A → 0 при постоянном K·A (степенной "
               "закон K·F(t) = c·t^B, B = " +
               formatFourDigits(w.value, fmt) + ")";
    case Reason::EtaOnBound:
        return "оценка η = " + formatFourDigits(w.value, fmt) +
               " ч лежит на границе допустимого диапазона (" + range + " ч)";
    case Reason::BOnBound:
        return "оценка B = " + formatFourDigits(w.value, fmt) + " лежит на границе допустимого диапазона (" +
               range + ")";
    case Reason::KOutOfRange:
        return "оценка K = " + formatFourDigits(w.value, fmt) + " вне допустимого диапазона (" + range + ")";
    }
    return {};
}

std::string fittedLaw(const CensoringLawValues& law, const NumberFormat& fmt) {
    return "подобранный закон (среднее " + formatHours(law.mean, fmt) + " ч, СКО " +
           formatHours(law.sd, fmt) + " ч)";
}

std::string givenLaw(const CensoringLawValues& law, const NumberFormat& fmt) {
    return "; результаты получены при заданном законе (среднее " + formatHours(law.mean, fmt) + " ч, СКО " +
           formatHours(law.sd, fmt) + " ч)";
}

struct Sentence {
    const NumberFormat& fmt;

    std::string operator()(const warning::NotConverged&) const {
        return "Подбор модели максимального правдоподобия не сошелся: разные начальные точки дают разные "
               "оценки; результаты приблизительны";
    }
    std::string operator()(const warning::NotEstimable& w) const {
        return "Коэффициент повторности K, параметр A и характерное время eta не определяются данными: " +
               notEstimableReason(w, fmt) +
               "; данные определяют среднее число отказов на изделие K·F(t) в пределах наблюдаемых "
               "наработок";
    }
    std::string operator()(const warning::CensoringUndetermined& w) const {
        return "Закон окончания гарантии (СВН/СКО) не определяется данными: подбор улучшает правдоподобие "
               "лишь на " +
               formatDecimals(w.gain, 2, fmt) + " (меньше " + formatDecimals(w.threshold, 2, fmt) + "); " +
               fittedLaw(w.fitted, fmt) + " не используется" + givenLaw(w.given, fmt);
    }
    std::string operator()(const warning::CensoringOnBound& w) const {
        return std::string(w.sd ? "СКО" : "Среднее") +
               " времени окончания гарантии дошло до границы поиска: " + fittedLaw(w.fitted, fmt) +
               " вырожден (улучшение правдоподобия " + formatDecimals(w.gain, 2, fmt) +
               ") и не используется" + givenLaw(w.given, fmt);
    }
    std::string operator()(const warning::IntervalOpen& w) const {
        return estimateName(w.quantity, w.time, fmt) +
               " не определяется данными: " + (w.side == IntervalSide::Upper ? "верхняя" : "нижняя") +
               " граница интервала не ограничена";
    }
    std::string operator()(const warning::IntervalWide& w) const {
        return estimateName(w.quantity, w.time, fmt) + " определяется данными слабо: интервал шире чем в " +
               formatGeneral(w.threshold, fmt) + " раз";
    }
    std::string operator()(const warning::FitNotJudged& w) const {
        return "Согласие модели с гистограммой не оценивается: после объединения интервалов осталось ячеек " +
               std::to_string(w.cells) + " при " + std::to_string(w.parameters) +
               " параметрах (0 степеней свободы)";
    }
    std::string operator()(const warning::LackOfFit& w) const {
        return "Модель плохо согласуется с гистограммой: " + formatPattern("p = %.3g", {w.p}, fmt) +
               " (меньше " + formatDecimals(w.threshold, 2, fmt) +
               "); оценки и интервалы модели могут не отражать данные";
    }
    std::string operator()(const LimitHit& w) const {
        return "Модель " + w.model + ": параметр " + parameterName(w.parameter) + " остановился на " +
               (w.upper ? "верхней" : "нижней") + " границе поиска (" + formatGeneral(w.limit, fmt) +
               ") — результат определен границей, а не данными";
    }
    std::string operator()(const warning::CommentCut& w) const {
        return "Комментарий (первая строка) файла " + w.file + " длиной " + std::to_string(w.length) +
               " байт сокращен до " + std::to_string(w.kept) + " байт";
    }
};

} // namespace

std::string warningText(const Warning& w, const NumberFormat& fmt) {
    return std::visit(Sentence{fmt}, w);
}

std::string limitNote(const LimitHit& hit, const NumberFormat& fmt) {
    return std::string(parameterName(hit.parameter)) + " = " + formatGeneral(hit.limit, fmt) + ": " +
           (hit.upper ? "верхняя" : "нижняя") + " граница поиска модели " + hit.model;
}

std::string limitNotes(const std::vector<LimitHit>& hits, const NumberFormat& fmt) {
    std::string out;
    for (const LimitHit& hit : hits)
        out += (out.empty() ? "" : "\n") + limitNote(hit, fmt);
    return out;
}

std::string mergedCellsText(const MergedCells& m, const NumberFormat& fmt) {
    const std::string count =
        std::to_string(m.intervals) + " " + plural(m.intervals, "интервал", "интервала", "интервалов");
    if (m.to) return formatHours(m.from, fmt) + "–" + formatHours(*m.to, fmt) + " ч (" + count + ")";
    return "от " + formatHours(m.from, fmt) + " ч и далее (" + count + ")";
}

} // namespace relan
