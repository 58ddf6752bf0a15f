#include "relan/histogram.hpp"

#include "relan/error.hpp"
#include "relan/special.hpp"

#include <cmath>

namespace relan {
namespace {

constexpr std::size_t kMaxIntervals = 31;

// One build of the histogram with the current widths. A build that exceeds
// the interval limit stops early: it is rebuilt with a doubled width anyway,
// and very long data would otherwise create millions of intervals first.
void build(const LoadedData& data, HistogramData& h, double lastTime) {
    h.Hist_Arr.clear();
    h.Sum_PrichRow.fill(0);
    h.Sum_PrichCol.fill(0);
    const auto& f = data.MasProbl;
    double b = 0;
    std::size_t j = 0;
    std::size_t i = 0;
    int n = 1;
    do {
        h.Hist_Arr.emplace_back();
        Hist_Rec& rec = h.Hist_Arr.back();
        for (;;) {
            b += n < 9 ? h.D_Hist1 : h.D_Hist2;
            while (j < f.size() && b + 0.1 > f[j].time) {
                if (f[j].chey == 0)
                    ++rec.Nund;
                else
                    ++rec.Npr[f[j].chey];
                ++j;
            }
            rec.Sum = static_cast<int>(j - i);
            // An empty stretch is merged into the interval, which grows by one more width.
            if (!(j == i && b < lastTime)) break;
        }
        rec.time = b;
        ++n;
        for (int m = 1; m <= Mx_prich; ++m)
            h.Sum_PrichCol[m] += rec.Npr[m];
        i = j;
    } while (b < lastTime && h.Hist_Arr.size() <= kMaxIntervals);
}

} // namespace

void hist(const LoadedData& data, HistogramData& h) {
    if (data.MasProbl.empty())
        throw Error("Нет данных об отказах: загрузите файл исходных данных с хотя бы одним отказом");
    for (const auto& p : data.MasProbl)
        if (!std::isfinite(p.time) || p.chey < 0 || p.chey > Mx_prich)
            throw Error("Данные об отказах повреждены: недопустимая наработка или причина отказа");
    if (data.MasProbl.back().time > kMaxFailureTime)
        throw Error("Наработка отказа " + formatGeneral(data.MasProbl.back().time, NumberFormat{}) +
                    " ч больше допустимой (" + formatGeneral(kMaxFailureTime, NumberFormat{}) + " ч)");
    h.D_Hist1 = 100;
    const double T = data.MasProbl.back().time;
    const double R = roundHalfEven(T);
    if (R >= 1 && R <= 2300)
        h.D_Hist2 = 100;
    else if (R >= 2301 && R <= 91024)
        h.D_Hist2 = 200;
    else if (R < 1)
        h.D_Hist2 = 100; // all failures in the first half hour: any width ends the build at once
    else if (h.D_Hist2 <= 0)
        h.D_Hist2 = 200; // very long operation: start as for long data, the doubling below widens it
    for (;;) {
        build(data, h, T);
        const std::size_t placed = data.MasProbl.size();
        if (placed > 70 && h.Hist_Arr.size() <= 10 && h.D_Hist1 / 2 >= kMinHistWidth) {
            h.D_Hist1 /= 2;
        } else if (h.Hist_Arr.size() > kMaxIntervals) {
            h.D_Hist2 *= 2;
        } else {
            break;
        }
    }
}

void Hist_Made(const Analysis& s, double A, double B, double Kpowt, RealArray& Mas_Model_Hist,
               double& N_Nakopl, double& SKO_, const NumberFormat& fmt, const LogSink& log) {
    const std::size_t m = s.Hist_Arr.size();
    Mas_Model_Hist.assign(m, 0.0);
    N_Nakopl = 0;
    double sq = 0;
    double t1 = 0;
    for (std::size_t i = 0; i < m; ++i) {
        const double t2 = s.Hist_Arr[i].time;
        Mas_Model_Hist[i] =
            s.Izd_Prived * Kpowt * weibCDF2(A, B, t1, t2) * (1 - CDF_Gauss(s.Sred, s.SKO, t2));
        N_Nakopl += Mas_Model_Hist[i];
        const double d = s.Hist_Arr[i].Sum - Mas_Model_Hist[i];
        sq += d * d;
        t1 = t2;
    }
    SKO_ = m ? std::sqrt(sq / static_cast<double>(m)) : 0;
    logLine(log, "Доверительный 95% интервал модели " +
                     formatPattern("= %6.4f,  СКО= %6.4f", {1.96 * SKO_, SKO_}, fmt));
}

IntervalBounds intervalBounds(const std::vector<Hist_Rec>& h) {
    IntervalBounds b;
    b.t.assign(h.size() + 1, 0.0);
    b.observed.resize(h.size());
    for (std::size_t i = 0; i < h.size(); ++i) {
        b.t[i + 1] = h[i].time;
        b.observed[i] = h[i].Sum;
    }
    return b;
}

} // namespace relan
