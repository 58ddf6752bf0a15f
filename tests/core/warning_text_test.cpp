#include "relan/warning_text.hpp"

#include "fixtures.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace relan;
using Reason = warning::NotEstimable::Reason;

const NumberFormat kPoint{'.'}, kComma{','};

struct TextCase {
    Warning warning;
    NumberFormat fmt;
    std::string text;
};

// Every kind's sentence as the log, the window, the command line and the
// report show it; a number in each of the user's two formats.
TEST(WarningText, EachKindHasItsSentence) {
    const CensoringLawValues fitted{1512.345, 7.25}, given{1500, 400};
    const std::vector<TextCase> cases = {
        {warning::NotConverged{}, kPoint,
         "Подбор модели максимального правдоподобия не сошелся: разные начальные точки дают разные оценки; "
         "результаты приблизительны"},
        {warning::NotEstimable{Reason::PowerLawLimit, 0.61234}, kComma,
         "Коэффициент повторности K, параметр A и характерное время eta не определяются данными: максимум "
         "правдоподобия достигается в пределе K → ∞, A → 0 при постоянном K·A (степенной закон K·F(t) = "
         "c·t^B, B = 0,6123); данные определяют среднее число отказов на изделие K·F(t) в пределах "
         "наблюдаемых наработок"},
        {warning::NotEstimable{Reason::EtaOnBound, 1e9, 1e-2, 1e9}, kPoint,
         "Коэффициент повторности K, параметр A и характерное время eta не определяются данными: оценка η = "
         "1E9 ч лежит на границе допустимого диапазона (0.01…1E9 ч); данные определяют среднее число "
         "отказов на изделие K·F(t) в пределах наблюдаемых наработок"},
        {warning::NotEstimable{Reason::BOnBound, 0.05, 0.05, 20}, kComma,
         "Коэффициент повторности K, параметр A и характерное время eta не определяются данными: оценка B = "
         "0,05 лежит на границе допустимого диапазона (0,05…20); данные определяют среднее число отказов на "
         "изделие K·F(t) в пределах наблюдаемых наработок"},
        {warning::NotEstimable{Reason::KOutOfRange, 12345.6, 1e-4, 1e4}, kPoint,
         "Коэффициент повторности K, параметр A и характерное время eta не определяются данными: оценка K = "
         "1.235E4 вне допустимого диапазона (0.0001…1E4); данные определяют среднее число отказов на "
         "изделие K·F(t) в пределах наблюдаемых наработок"},
        {warning::CensoringUndetermined{1.234, 2.996, fitted, given}, kComma,
         "Закон окончания гарантии (СВН/СКО) не определяется данными: подбор улучшает правдоподобие лишь на "
         "1,23 (меньше 3,00); подобранный закон (среднее 1512,3 ч, СКО 7,250 ч) не используется; результаты "
         "получены при заданном законе (среднее 1500 ч, СКО 400 ч)"},
        {warning::CensoringOnBound{true, 12.5, fitted, given}, kPoint,
         "СКО времени окончания гарантии дошло до границы поиска: подобранный закон (среднее 1512.3 ч, СКО "
         "7.250 ч) вырожден (улучшение правдоподобия 12.50) и не используется; результаты получены при "
         "заданном законе (среднее 1500 ч, СКО 400 ч)"},
        {warning::CensoringOnBound{false, 4, {3000, 400}, given}, kPoint,
         "Среднее времени окончания гарантии дошло до границы поиска: подобранный закон (среднее 3000 ч, СКО "
         "400 ч) вырожден (улучшение правдоподобия 4.00) и не используется; результаты получены при заданном "
         "законе (среднее 1500 ч, СКО 400 ч)"},
        {warning::IntervalOpen{Estimate::K, 0, IntervalSide::Upper}, kPoint,
         "Коэффициент повторности K не определяется данными: верхняя граница интервала не ограничена"},
        {warning::IntervalOpen{Estimate::A, 0, IntervalSide::Lower}, kPoint,
         "Параметр A не определяется данными: нижняя граница интервала не ограничена"},
        {warning::IntervalOpen{Estimate::Eta, 0, IntervalSide::Upper}, kPoint,
         "Характерное время eta = A^(-1/B) не определяется данными: верхняя граница интервала не ограничена"},
        {warning::IntervalOpen{Estimate::Mcf, 2500.5, IntervalSide::Upper}, kComma,
         "Среднее число отказов на изделие K·F(t) при t = 2500,5 ч не определяется данными: верхняя граница "
         "интервала не ограничена"},
        {warning::IntervalOpen{Estimate::CensoringMean, 0, IntervalSide::Lower}, kPoint,
         "Среднее время окончания гарантии не определяется данными: нижняя граница интервала не ограничена"},
        {warning::IntervalWide{Estimate::B, 0, 12, 10}, kPoint,
         "Параметр B определяется данными слабо: интервал шире чем в 10 раз"},
        // However small, the time reads as given, not rounded to 0.
        {warning::IntervalWide{Estimate::Mcf, 0.0004, 30, 10}, kComma,
         "Среднее число отказов на изделие K·F(t) при t = 0,0004 ч определяется данными слабо: интервал шире "
         "чем в 10 раз"},
        {warning::IntervalWide{Estimate::CensoringSD, 0, 11, 10}, kPoint,
         "СКО времени окончания гарантии определяется данными слабо: интервал шире чем в 10 раз"},
        {warning::FitNotJudged{2, 3}, kPoint,
         "Согласие модели с гистограммой не оценивается: после объединения интервалов осталось ячеек 2 при 3 "
         "параметрах (0 степеней свободы)"},
        {warning::LackOfFit{0.012345, 0.05}, kPoint,
         "Модель плохо согласуется с гистограммой: p = 0.0123 (меньше 0.05); оценки и интервалы модели могут "
         "не отражать данные"},
        {warning::LackOfFit{0.012345, 0.05}, kComma,
         "Модель плохо согласуется с гистограммой: p = 0,0123 (меньше 0,05); оценки и интервалы модели могут "
         "не отражать данные"},
        {LimitHit{"1.2", SearchParameter::A, 0.001, false}, kComma,
         "Модель 1.2: параметр A остановился на нижней границе поиска (0,001) — результат определен "
         "границей, "
         "а не данными"},
        {LimitHit{"1.1", SearchParameter::Sred, 3000, true}, kPoint,
         "Модель 1.1: параметр «Среднее время гарантии» остановился на верхней границе поиска (3000) — "
         "результат определен границей, а не данными"},
        {warning::CommentCut{"gar.txt", 4098, 4096}, kPoint,
         "Комментарий (первая строка) файла gar.txt длиной 4098 байт сокращен до 4096 байт"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(warningText(c.warning, c.fmt), c.text);
}

// The results table's shorter note of the same fact, one line per parameter.
TEST(WarningText, LimitNotesNameParameterLimitAndModel) {
    EXPECT_EQ(limitNotes({}, kComma), "");
    EXPECT_EQ(limitNotes({{"1.2", SearchParameter::A, 0.001, false}, {"1.2", SearchParameter::K, 0.1, false}},
                         kComma),
              "A = 0,001: нижняя граница поиска модели 1.2\nКповт = 0,1: нижняя граница поиска модели 1.2");
    EXPECT_EQ(limitNote({"2", SearchParameter::SKO, 900, true}, kPoint),
              "«СКО времени гарантии» = 900: верхняя граница поиска модели 2");
    EXPECT_EQ(limitNote({"1.1", SearchParameter::B, 7, true}, kPoint),
              "B = 7: верхняя граница поиска модели 1.1");
}

TEST(WarningText, MergedCellsCountTheirIntervalsInRussian) {
    struct Case {
        MergedCells cells;
        NumberFormat fmt;
        std::string text;
    };
    const std::vector<Case> cases = {
        {{1800, 2200, 2}, kPoint, "1800–2200 ч (2 интервала)"},
        {{1800, 2200, 4}, kPoint, "1800–2200 ч (4 интервала)"},
        {{1800, 2200, 5}, kPoint, "1800–2200 ч (5 интервалов)"},
        {{1800, 2200, 11}, kPoint, "1800–2200 ч (11 интервалов)"},
        {{1800, 2200, 12}, kPoint, "1800–2200 ч (12 интервалов)"},
        {{1800, 2200, 21}, kPoint, "1800–2200 ч (21 интервал)"},
        {{1800, 2200, 22}, kPoint, "1800–2200 ч (22 интервала)"},
        {{1800, 2200, 111}, kPoint, "1800–2200 ч (111 интервалов)"},
        // Bounds that are not whole hours: a tenth, a thousandth below 10 h.
        {{2.5, 1850.26, 3}, kComma, "2,500–1850,3 ч (3 интервала)"},
        {{2400, std::nullopt, 2}, kComma, "от 2400 ч и далее (2 интервала)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mergedCellsText(c.cells, c.fmt), c.text);
}

} // namespace
