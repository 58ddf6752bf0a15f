#include "relan/nonparam.hpp"

#include "relan/calculation.hpp"
#include "relan/error.hpp"
#include "relan/half_fleet.hpp"
#include "relan/histogram.hpp"
#include "relan/special.hpp"

#include <cmath>

namespace relan {
namespace {

std::string hours(double h, const NumberFormat& fmt) {
    return formatGeneral(h, fmt) + " ч";
}

// 1 / (1 - G(t)): the weight that scales observed failures up to the whole
// fleet. Where no product is left under warranty there is nothing to scale.
template <class Where>
double inverseUnderWarranty(const Analysis& s, double t, const Where& where, const NumberFormat& fmt) {
    const double inv = 1 / (1 - CDF_Gauss(s.Sred, s.SKO, t));
    if (!std::isfinite(inv))
        throw Error(where() + ": ни одно изделие не остаётся под гарантией (среднее время гарантии " +
                    hours(s.Sred, fmt) + ", СКО " + hours(s.SKO, fmt) +
                    "), поправка на цензурирование невозможна");
    return inv;
}

double checked(double v, const char* what) {
    if (!std::isfinite(v))
        throw Error(std::string("Непараметрический анализ: ") + what + " не является конечным числом");
    return v;
}

} // namespace

NonParamResult Histogram_Exp(Analysis& s, const NumberFormat& fmt, const ProgressHooks& progress) {
    if (s.MasProbl.empty() || s.Hist_Arr.empty())
        throw Error("Нет данных об отказах: загрузите файл исходных данных с хотя бы одним отказом");
    if (!std::isfinite(s.Sred)) throw Error("Среднее время гарантии не является числом");
    if (!std::isfinite(s.SKO) || s.SKO <= 0)
        throw Error("СКО времени гарантии должно быть больше 0, задано " + formatGeneral(s.SKO, fmt));
    if (!std::isfinite(s.Izd_Prived) || s.Izd_Prived <= 0)
        throw Error("Приведенное количество изделий должно быть больше 0, получено " +
                    formatGeneral(s.Izd_Prived, fmt) + " (изделий " + std::to_string(s.Kol_Izd_All) +
                    ", всех отказов " + std::to_string(s.KolOtk) + ")");

    // Everything is computed into locals and handed over at the end, so a
    // refusal half-way leaves the shared totals of an earlier analysis intact.
    std::array<double, Mx_prich + 1> sumPrichRow{};
    for (const auto& rec : s.Hist_Arr)
        for (int c = 0; c <= Mx_prich; ++c)
            sumPrichRow[c] += rec.Npr[c];
    RealArray fOutGar(s.Hist_Arr.size(), 0.0);

    NonParamResult r;
    r.comment = s.Comment;
    for (int c = 1; c <= Mx_prich; ++c) {
        if (sumPrichRow[c] > 0) {
            r.causeIndices.push_back(c);
            r.causeTitles.push_back(s.Vidy_otkazov[c].Nazv_Prich);
        }
    }

    // A step per failure, then per interval: the total is known at the start.
    constexpr const char* kStage = "Непараметрический анализ";
    const long long steps = static_cast<long long>(s.MasProbl.size() + s.Hist_Arr.size());
    long long done = 0;
    auto step = [&] {
        progress.throwIfCancelled();
        progress.tell(kStage, "шаг", ++done, steps);
    };
    progress.tell(kStage, "шаг", 0, steps);

    const HalfFleetTimes median = halfFleetTimes(
        s.MasProbl, s.Izd_Prived,
        [&](double t) {
            return inverseUnderWarranty(
                s, t, [&] { return "Наработка отказа " + hours(t, fmt); }, fmt);
        },
        [&](double corrected) {
            checked(corrected, "накопленное число отказов с учетом цензурирования");
            step();
        });
    r.t50 = median.t50;
    r.tz50 = median.tz50;
    checked(r.t50, "наработка до отказа половины изделий");
    checked(r.tz50, "наработка до отказа половины изделий с учетом цензурирования");

    // A time never reached is not 0 h. The corrected count grows at least
    // as fast as the plain one, so its median may be known when the plain
    // one is not, never the other way round.
    r.medianLine = r.t50 > 0 ? "- без учета цензурирования:" + formatPattern("%7.1f", {r.t50}, fmt) + " ч"
                             : std::string(kMedianNotEstimable);
    r.censoredMedianLine = r.tz50 > 0
                               ? "- с учетом цензурирования:  " + formatPattern("%7.2f", {r.tz50}, fmt) + " ч"
                               : std::string();
    r.censoringMeanLine = "Среднее время цензурирования: " + formatPattern("%7.1f", {s.Sred}, fmt) + " ч";
    r.censoringSdLine = "СКО времени цензурирования:    " + formatPattern("%7.1f", {s.SKO}, fmt) + " ч";
    r.productsLine = "Кол-во контролируемых изделий:" + std::to_string(s.Kol_Izd_All) + " шт.";
    r.failuresLine = "Общее кол-во отказов изделий: " + std::to_string(s.KolOtk) + " шт.";

    double x1 = 0;
    double Nakopl = 0;
    for (std::size_t i = 0; i < s.Hist_Arr.size(); ++i) {
        const Hist_Rec& rec = s.Hist_Arr[i];
        if (!std::isfinite(rec.time))
            throw Error("Граница интервала " + std::to_string(i + 1) + " гистограммы не является числом");
        // Rates are per whole hour of the interval as labelled; an interval
        // that labels to zero hours has no rate.
        const double x2 = roundHalfEven(rec.time);
        if (x2 <= x1) {
            if (i == 0)
                throw Error("Граница первого интервала гистограммы " + hours(rec.time, fmt) +
                            " округляется до " + hours(x2, fmt) +
                            ": интервал нулевой ширины, интенсивность отказов не определена");
            const std::string pair = "Границы интервалов " + std::to_string(i) + " и " +
                                     std::to_string(i + 1) + " гистограммы (" +
                                     hours(s.Hist_Arr[i - 1].time, fmt) + " и " + hours(rec.time, fmt) + ")";
            if (x2 < x1) throw Error(pair + " идут не по возрастанию");
            throw Error(pair + " округляются до одного и того же целого часа " + hours(x2, fmt) +
                        ": интервал нулевой ширины, интенсивность отказов не определена");
        }
        Nakopl += rec.Sum;
        fOutGar[i] = CDF_Gauss(s.Sred, s.SKO, x2);
        inverseUnderWarranty(
            s, x2,
            [&] { return "Граница интервала " + std::to_string(i + 1) + " гистограммы " + hours(x2, fmt); },
            fmt);
        const double K_Interval = 100 / (x2 - x1);

        NonParamPoint p;
        p.label = formatPattern("%.0f", {x2}, fmt);
        p.Series1 = checked(Nakopl * 100 / s.Izd_Prived, "доля отказавших изделий");
        p.Series2 = checked(Nakopl / (1 - fOutGar[i]) * 100 / s.Izd_Prived,
                            "доля отказавших изделий с учетом цензурирования");
        p.Series3 = fOutGar[i] * 100;
        p.causes.reserve(r.causeIndices.size());
        for (int c : r.causeIndices)
            p.causes.push_back(
                checked(rec.Npr[c] * K_Interval / s.Izd_Prived, "интенсивность отказов причины"));
        r.points.push_back(std::move(p));
        x1 = x2;
        step();
    }

    s.Sum_PrichRow = sumPrichRow;
    s.F_OutGar = std::move(fOutGar);
    return r;
}

NonParamResult runNonParametric(Analysis& s, std::string_view meanText, std::string_view sdText,
                                const NumberFormat& fmt, const ProgressHooks& progress) {
    Analysis work = s;
    // The histogram first: without failure data the missing file is the
    // thing to tell, not the still empty censoring fields.
    hist(work);
    const CensoringLaw law = readCensoringFields(meanText, sdText, fmt);
    work.Sred = law.Sred;
    work.SKO = law.SKO;
    NonParamResult r = Histogram_Exp(work, fmt, progress);
    s = std::move(work);
    return r;
}

ChartData nonParamChart(const NonParamResult& r, const NumberFormat& fmt) {
    ChartData ch;
    ch.numbers = fmt;
    ch.title = kNonParamChartTitle;
    ch.leftAxisTitle = kNonParamLeftAxisTitle;
    ch.rightAxisTitle = kNonParamRightAxisTitle;
    auto line = [](const char* name, const char* title, std::uint32_t color, int width) {
        ChartSeries l;
        l.name = name;
        l.title = title;
        l.kind = SeriesKind::Line;
        l.axis = Axis::Right;
        l.color = color;
        l.penWidth = width;
        return l;
    };
    ChartSeries s4;
    s4.name = "Series4";
    s4.title = kNonParamSeries4Legend;
    s4.kind = SeriesKind::Bar;
    s4.color = 0xFFFF80;
    s4.stacked = true;
    s4.active = false;
    ChartSeries s3 = line("Series3", kNonParamSeries3Title, 0xCACA00, 4);
    ChartSeries s1 = line("Series1", kNonParamSeries1Title, 0xFF0000, 3);
    s1.pen = PenStyle::DashDot;
    s1.marksItalic = true;
    ChartSeries s2 = line("Series2", kNonParamSeries2Title, 0x0000FF, 3);
    s2.pen = PenStyle::DashDot;
    s2.marksBold = true;
    s2.marksPx = 15;
    for (const auto& p : r.points) {
        s1.values.push_back(p.Series1);
        s2.values.push_back(p.Series2);
        s3.values.push_back(p.Series3);
        s1.marks.push_back(formatPattern("%.1f", {p.Series1}, fmt));
        s2.marks.push_back(formatPattern("%.1f", {p.Series2}, fmt));
    }
    ch.series = {std::move(s4), std::move(s3), std::move(s1), std::move(s2)};
    for (std::size_t k = 0; k < r.causeIndices.size(); ++k) {
        const int c = r.causeIndices[k];
        ChartSeries b;
        b.title = r.causeTitles[k];
        b.kind = SeriesKind::Bar;
        b.cause = c;
        b.color = c <= kChartedCauses ? kPalette5[c] : kExtraCauseColors[c - kChartedCauses - 1];
        b.transparency = 30;
        b.stacked = true;
        for (const auto& p : r.points)
            b.values.push_back(p.causes[k]);
        ch.series.push_back(std::move(b));
    }
    return ch;
}

} // namespace relan
