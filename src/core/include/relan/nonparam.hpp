#pragma once

// The observed failure flow without any fitted law: the cumulative share of
// failed products with and without the censoring correction, the share of
// products gone out of warranty, per-cause failure rates per 100 h and
// product, and the operating time at which failures reach half the fleet.
// Only numbers and texts live here; the window draws them.

#include "relan/numtext.hpp"
#include "relan/progress.hpp"
#include "relan/results.hpp"
#include "relan/state.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace relan {

// Fixed texts of the non-parametric window.
inline constexpr const char* kNonParamMedianHeading = "Средняя наработка на отказ по гарантийным изделиям";
inline constexpr const char* kNonParamCensoringHeading = "Параметры цензурирования";
inline constexpr const char* kNonParamChartTitle =
    "Изменение потока отказов за время наблюдения (обследования)";
inline constexpr const char* kNonParamBottomAxisTitle = "Наработка, моточас.";
inline constexpr const char* kNonParamLeftAxisTitle = "Отказов за 100 часов на 1 изделие";
inline constexpr const char* kNonParamRightAxisTitle = "Доля от количества изделий, %";
inline constexpr const char* kNonParamSeries1Title = "Число отказов / количество изделий,%";
inline constexpr const char* kNonParamSeries2Title = "Отказов / количество изделий с цензур-м,%";
inline constexpr const char* kNonParamSeries3Title = "Выбытие из наблюдения,%";
inline constexpr const char* kNonParamSeries4Title = "Неизвестные";
inline constexpr const char* kNonParamSeries4Legend = "Причина неизвестна";
inline constexpr const char* kNonParamPrintButton = "Печать формы";

// One histogram interval as the chart shows it.
struct NonParamPoint {
    std::string label;          // the interval's upper bound in whole hours
    double Series1 = 0;         // failures so far per reduced product, %
    double Series2 = 0;         // the same corrected for products out of warranty, %
    double Series3 = 0;         // products whose warranty has ended, %
    std::vector<double> causes; // failures per 100 h per product, in causeIndices order
};

struct NonParamResult {
    double t50 = 0;                 // half the fleet failed, plain count; 0 = never reached
    double tz50 = 0;                // the same with the censoring correction
    std::string comment;            // the data file's comment
    std::string medianLine;         // t50 (kMedianNotEstimable if never reached)
    std::string censoredMedianLine; // tz50 (empty if never reached)
    std::string censoringMeanLine, censoringSdLine;
    std::string productsLine, failuresLine;
    std::vector<int> causeIndices;        // causes 1..18 with failures, ascending
    std::vector<std::string> causeTitles; // their names
    std::vector<NonParamPoint> points;    // one per histogram interval
};

// Works from the current Hist_Arr; writes Sum_PrichRow and F_OutGar. All or
// nothing: a refusal (no data, SKO <= 0, Izd_Prived <= 0, an interval of zero
// whole hours, no product left under warranty at a failure or bound) raises
// relan::Error and leaves the state as it was. Reports each failure and
// each interval as a step of "Непараметрический анализ"; a set flag ends it
// with Cancelled, the state as it was.
NonParamResult Histogram_Exp(Analysis& s, const NumberFormat& fmt, const ProgressHooks& progress = {});

// The button "Анализ непараметрический": histogram rebuilt, Sred / SKO read
// from the texts of the censoring fields, Histogram_Exp. Works on a copy that is
// handed over only on success, so a refusal or a cancellation leaves `s`
// exactly as it was.
NonParamResult runNonParametric(Analysis& s, std::string_view meanText, std::string_view sdText,
                                const NumberFormat& fmt, const ProgressHooks& progress = {});

// The window's chart: the four fixed series (Series4 never filled, its
// stacked layout making the cause bars stand on one another), then one bar
// series per cause with failures. Value marks of the two share curves carry
// one decimal.
ChartData nonParamChart(const NonParamResult& r, const NumberFormat& fmt);

} // namespace relan
