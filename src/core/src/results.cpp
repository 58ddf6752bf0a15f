#include "relan/results.hpp"

#include "relan/likelihood.hpp"

#include "relan/criteria.hpp"
#include "relan/error.hpp"
#include "relan/special.hpp"
#include "relan/warning_text.hpp"

#include <cmath>
#include <utility>

namespace relan {
namespace {

// A rounded figure as the engineer reads it: a whole decimal number, also for
// the 1e10 h that stands for "never" (no exponent form, no "-0").
std::string wholeText(double v) {
    const double r = roundHalfEven(v) + 0.0;
    return formatPattern("%.0f", {r}, NumberFormat{});
}

// The operating data's figures are divided by these; a zero would turn every
// per-product figure into inf or NaN.
void requireDivisors(const AnalysisState& s) {
    if (s.Kol_izw == 0)
        throw Error(
            "Число документированных отказов равно 0: результаты по отказам не могут быть рассчитаны");
    if (s.Izd_Prived == 0)
        throw Error("Приведенное число изделий равно 0: поток отказов на 1 изделие не определен");
    if (s.Popravka_Unknow == 0)
        throw Error("Доля документированных отказов равна 0: число всех отказов не определено");
}

double pot08Value(const AnalysisState& s) {
    if (s.Sred == 0)
        throw Error("Средний срок гарантии равен 0: поток отказов после приработки не определен");
    if (s.Kol_Izd_All == 0)
        throw Error("Число изделий в эксплуатации равно 0: поток отказов после приработки не определен");
    if (s.Kol_izw == 0)
        throw Error("Число документированных отказов равно 0: поток отказов после приработки не определен");
    double S = 0;
    for (const auto& p : s.MasProbl) {
        if (p.time >= 0.2 * s.Sred && p.time <= s.Sred) {
            const double still = 1 - CDF_Gauss(s.Sred, s.SKO, p.time);
            if (still == 0)
                throw Error("К наработке " + wholeText(p.time) +
                            " ч все изделия вышли из гарантии: поток отказов после приработки не определен");
            S += 1 / still;
        }
    }
    const double v = S * 100 / (0.8 * s.Sred) / s.Kol_Izd_All * s.KolOtk / s.Kol_izw;
    if (!std::isfinite(v)) throw Error("Поток отказов после приработки не является конечным числом");
    return v;
}

ChartSeries fixedSeries(std::string name, std::string title, SeriesKind kind, Axis axis, std::uint32_t color,
                        int pen, int transparency = 0, bool smoothed = false) {
    ChartSeries r;
    r.name = std::move(name);
    r.title = std::move(title);
    r.kind = kind;
    r.axis = axis;
    r.color = color;
    r.penWidth = pen;
    r.transparency = transparency;
    r.smoothed = smoothed;
    return r;
}

ChartSeries causeBar(std::string title, int cause, std::uint32_t color, int transparency, bool stacked) {
    ChartSeries r;
    r.title = std::move(title);
    r.kind = SeriesKind::Bar;
    r.color = color;
    r.transparency = transparency;
    r.stacked = stacked;
    r.cause = cause;
    return r;
}

// Positions of the design's fixed series; the window relies on them.
namespace c1 {
enum { Series1, Series2, Series3, Series4, Series6, Series5, Series14, Fixed };
}
namespace c2 {
enum { Series15, Series7, Series8, Series9, Series10, Series11, Series12, Fixed };
}

FlowCharts designCharts() {
    FlowCharts f;
    f.chart1.title = "Изменение потока отказов в течение гарантийного периода";
    f.chart1.leftAxisTitle = "Отказов за 100 час на 1 изделие";
    f.chart1.rightAxisTitle = "Выбывание из гарантии, %";
    auto& a = f.chart1.series;
    a.push_back(
        fixedSeries("Series1", "Выбывание из гарантии", SeriesKind::Line, Axis::Right, 0xFFFF00, 2, 0, true));
    a.push_back(fixedSeries("Series2", "Модель по Пирсону с влиянием цензурирования", SeriesKind::Line,
                            Axis::Left, 0x008000, 2));
    a.push_back(fixedSeries("Series3", "Модель по Пирсону", SeriesKind::Line, Axis::Left, 0x00FF00, 2, 12));
    a.push_back(fixedSeries("Series4", "Модель по Смирнову", SeriesKind::Line, Axis::Left, 0x0000FF, 1));
    a.push_back(fixedSeries("Series6", "Модель \"генетическая\"", SeriesKind::Line, Axis::Left, 0xFF6F6F, 2));
    a.push_back(fixedSeries("Series5", "Модель \"генетическая\" с влиянием цензурирования", SeriesKind::Line,
                            Axis::Left, 0xFF0000, 2, 16, true));
    // Never filled: being the first bar series it makes the cause bars of
    // this chart stand stacked on one another.
    ChartSeries s14 = fixedSeries("Series14", "", SeriesKind::Bar, Axis::Left, 0, 1);
    s14.stacked = true;
    s14.active = false;
    a.push_back(std::move(s14));

    f.chart2.title = "Интегральные (накопленные) количественные оценки потока отказов";
    f.chart2.leftAxisTitle = "Отказов на 1 изделие";
    f.chart2.rightAxisTitle = "Выбывание из гарантии, %";
    auto& b = f.chart2.series;
    b.push_back(fixedSeries("Series15", "Отказы (реальные)", SeriesKind::Area, Axis::Left, 0xC0C0C0, 0, 30));
    b.push_back(
        fixedSeries("Series7", "Выбывание из гарантии, %", SeriesKind::Line, Axis::Right, 0xFFFF15, 2, 8));
    b.push_back(
        fixedSeries("Series8", "Модель по Пирсону", SeriesKind::Line, Axis::Left, 0x009B9B, 2, 0, true));
    b.push_back(fixedSeries("Series9", "Модель по Пирсону с влиянием цензурирования", SeriesKind::Line,
                            Axis::Left, 0x00D900, 2));
    b.push_back(fixedSeries("Series10", "Модель по Смирнову", SeriesKind::Line, Axis::Left, 0x8000FF, 2));
    b.push_back(
        fixedSeries("Series11", "Модель \"генетическая\"", SeriesKind::Line, Axis::Left, 0xFF0000, 2));
    b.push_back(fixedSeries("Series12", "Модель \"генетическая\" с влиянием цензурирования", SeriesKind::Line,
                            Axis::Left, 0xFF6464, 2));

    f.chart3.title = "Поток отказов наблюдаемых и с учетом выбывания из гарантии";
    f.chart3.leftAxisTitle = "Отказов за 100 час. на изделие";
    ChartSeries s13 = fixedSeries("Series13", "Выбывание из гарантии", SeriesKind::Line, Axis::Right, 0, 1);
    s13.active = false;
    f.chart3.series.push_back(std::move(s13));
    return f;
}

// Neither a palette entry of a cause nor the near-black of the corrected entry.
constexpr std::uint32_t kUnidentifiedColor = 0x808080;
constexpr std::uint32_t kUnidentifiedCorrectedColor = 0x040000;
// The corrected flow is cut where almost the whole fleet is out of warranty:
// beyond it the correction divides by a vanishing share.
constexpr double kChart3Cutoff = 0.9;

struct RunningSums {
    double Unsens = 0;
    double Kol_Nakopl = 0;
};

struct PassOutcome {
    FlowCharts charts;
    double SumNund = 0;
    std::array<double, Mx_prich + 1> Sum_PrichRow{};
    std::array<double, Mx_prich + 1> Sum_PrichCol{};
    RealArray F_OutGar;
    RunningSums pirsN, pirsS, smirn, genet, lik;
};

// A model executed for an earlier histogram (the genetic one keeps its flag
// across calculations) would be read past the end of its curves.
void requireCurves(const Mod_Weib& m, const char* model, std::size_t n, bool needFWeib) {
    if (m.Kol_F_priv.size() < n || (needFWeib && m.F_Weib.size() < n))
        throw Error(std::string("Модель «") + model +
                    "» рассчитана по другой гистограмме: повторите расчет этой модели");
}

void requireFiniteSeries(const ChartData& chart, const std::vector<std::string>& labels) {
    for (const auto& ser : chart.series)
        for (std::size_t k = 0; k < ser.values.size(); ++k)
            if (!std::isfinite(ser.values[k]))
                throw Error("График «" + chart.title + "», ряд «" + ser.title +
                            "»: значение в интервале до " + labels[k] + " ч не является конечным числом");
}

void requireFiniteSums(const RunningSums& r, const char* model) {
    if (!std::isfinite(r.Unsens) || !std::isfinite(r.Kol_Nakopl))
        throw Error(std::string("Модель «") + model +
                    "»: накопленное число отказов не является конечным числом");
}

PassOutcome computePass(const AnalysisState& s, const NumberFormat& fmt, int maxCause = kChartedCauses) {
    requireDivisors(s);
    const std::size_t n = s.Hist_Arr.size();
    const double P = s.Izd_Prived;
    const double U = s.Popravka_Unknow;

    PassOutcome o;
    o.charts = designCharts();
    for (ChartData* c : {&o.charts.chart1, &o.charts.chart2, &o.charts.chart3})
        c->numbers = fmt;
    o.Sum_PrichRow = s.Sum_PrichRow;
    o.Sum_PrichCol = s.Sum_PrichCol;
    o.F_OutGar.assign(n, 0.0);
    for (int c = 0; c <= maxCause; ++c) {
        o.Sum_PrichRow[c] = 0;
        o.Sum_PrichCol[c] = 0;
    }
    for (const auto& rec : s.Hist_Arr) {
        o.SumNund += rec.Nund;
        for (int c = 0; c <= maxCause; ++c)
            o.Sum_PrichRow[c] += rec.Npr[c];
    }

    const bool pirsN = s.MPirsN.Executed, pirsS = s.MPirsS.Executed;
    const bool smirn = s.MSmirn.Executed, genet = s.MGenet.Executed, lik = s.MLik.Executed;
    if (lik) requireCurves(s.MLik, "Макс. правдоподобия", n, true);
    if (pirsN) requireCurves(s.MPirsN, "Пирсона/Ньютона", n, true);
    if (pirsS) requireCurves(s.MPirsS, "Пирсона/спир.спуск", n, true);
    if (smirn) requireCurves(s.MSmirn, "Смирнова", n, false);
    if (genet) requireCurves(s.MGenet, "Генетическая", n, true);
    // Newton's fit is the one drawn when both Pearson models exist.
    const Mod_Weib* M = pirsN ? &s.MPirsN : (pirsS ? &s.MPirsS : nullptr);
    const RunningSums* MSums = pirsN ? &o.pirsN : &o.pirsS;

    auto& ch1 = o.charts.chart1.series;
    auto& ch2 = o.charts.chart2.series;
    auto& ch3 = o.charts.chart3.series;
    if (M) {
        ch1[c1::Series2].title = "Модель по Пирсону с учетом цензурирования";
        ch1[c1::Series3].title = "Модель по Пирсону";
    }

    struct Charted {
        int cause;
        std::size_t s1, s2, s3, s3corr;
    };
    std::vector<Charted> charted;
    for (int c = 1; c <= maxCause; ++c) {
        if (!(o.Sum_PrichRow[c] > 0)) continue;
        const Vid_otkaza& v = s.Vidy_otkazov[c];
        const double share = v.Dolya * 100 / s.Kol_izw;
        if (!std::isfinite(v.Dolya) || !std::isfinite(share))
            throw Error("Число отказов по причине «" + v.Nazv_Prich + "» не является конечным числом");
        const std::uint32_t color =
            c <= kChartedCauses ? kPalette5[c] : kExtraCauseColors[c - kChartedCauses - 1];
        Charted k{c, ch1.size(), ch2.size(), ch3.size(), ch3.size() + 1};
        ch1.push_back(causeBar(v.Nazv_Prich + ", всего " + wholeText(v.Dolya) + " (" +
                                   formatPattern("%3.1f", {share}, fmt) + "%)" + " случаев",
                               c, color, 0, true));
        ch2.push_back(causeBar(v.Nazv_Prich, c, color, 30, false));
        ch3.push_back(causeBar(v.Nazv_Prich, c, color, 0, false));
        ch3.push_back(causeBar(v.Nazv_Prich + " с учетом цензурирования", c, color, 60, false));
        charted.push_back(k);
    }
    // Legend entries only: the unidentified failures have no bars here.
    if (o.SumNund > 0) {
        ch1.push_back(causeBar("Не идент.", 0, kUnidentifiedColor, 0, true));
        ch3.push_back(causeBar("Не идент.", 0, kUnidentifiedColor, 0, false));
        ch3.push_back(
            causeBar("Не идент. с учетом цензурирования", 0, kUnidentifiedCorrectedColor, 50, false));
    }

    // The likelihood model's curves follow every other series, so that the
    // charts without it keep their series as they were.
    std::size_t likFlow = 0, likCumulative = 0;
    if (lik) {
        likFlow = ch1.size();
        ch1.push_back(fixedSeries({}, "Модель МП с учетом цензурирования", SeriesKind::Line, Axis::Left,
                                  kLikelihoodColor, 2));
        likCumulative = ch2.size();
        ch2.push_back(fixedSeries({}, "Модель МП с учетом цензурирования", SeriesKind::Line, Axis::Left,
                                  kLikelihoodColor, 2));
    }

    double prevT = 0;
    double failures = 0;
    bool chart3Open = true;
    for (std::size_t i = 0; i < n; ++i) {
        const Hist_Rec& rec = s.Hist_Arr[i];
        const double t = roundHalfEven(rec.time);
        const double width = t - prevT;
        if (!(width > 0))
            throw Error("Интервал гистограммы до " + wholeText(rec.time) +
                        " ч не имеет ширины в целых часах: поток отказов за 100 ч не определен");
        const double K = 100 / width;
        const double W = CDF_Gauss(s.Sred, s.SKO, t);
        o.F_OutGar[i] = W;
        failures += rec.Sum;
        o.charts.labels.push_back(wholeText(t));
        if (!(W < kChart3Cutoff)) chart3Open = false;

        for (const auto& k : charted) {
            const double cnt = rec.Npr[k.cause];
            o.Sum_PrichCol[k.cause] += cnt;
            ch1[k.s1].values.push_back(cnt * K / P);
            ch2[k.s2].values.push_back(o.Sum_PrichCol[k.cause] / P * s.KolOtk / s.Kol_izw);
            if (chart3Open) {
                // W < 0.9 here, so the share still in warranty is at least 0.1.
                ch3[k.s3].values.push_back(cnt * K / P);
                ch3[k.s3corr].values.push_back(cnt * K / P / (1 - W));
            }
        }

        if (pirsN) {
            o.pirsN.Unsens += s.MPirsN.F_Weib[i];
            o.pirsN.Kol_Nakopl += s.MPirsN.Kol_F_priv[i];
        }
        if (pirsS) {
            o.pirsS.Unsens += s.MPirsS.F_Weib[i];
            o.pirsS.Kol_Nakopl += s.MPirsS.Kol_F_priv[i];
        }
        if (genet) {
            o.genet.Unsens += s.MGenet.F_Weib[i];
            o.genet.Kol_Nakopl += s.MGenet.Kol_F_priv[i];
        }
        if (smirn) o.smirn.Kol_Nakopl += s.MSmirn.Kol_F_priv[i];
        if (lik) {
            o.lik.Unsens += s.MLik.F_Weib[i];
            o.lik.Kol_Nakopl += s.MLik.Kol_F_priv[i];
            ch1[likFlow].values.push_back(s.MLik.Kol_F_priv[i] * K / P);
            ch2[likCumulative].values.push_back(o.lik.Kol_Nakopl / P);
        }

        if (M) {
            ch1[c1::Series2].values.push_back(M->F_Weib[i] * K * M->K_powtor);
            ch1[c1::Series3].values.push_back(M->Kol_F_priv[i] * K / P);
            ch2[c2::Series8].values.push_back(MSums->Unsens * M->K_powtor);
            ch2[c2::Series9].values.push_back(MSums->Kol_Nakopl / P);
        }
        if (genet) {
            const Mod_Weib& g = s.MGenet;
            ch1[c1::Series5].values.push_back(g.F_Weib[i] * g.K_powtor * K);
            ch1[c1::Series6].values.push_back(g.Kol_F_priv[i] / P * K);
            ch2[c2::Series11].values.push_back(o.genet.Unsens * g.K_powtor);
            ch2[c2::Series12].values.push_back(o.genet.Kol_Nakopl / P);
        }
        if (smirn) {
            ch1[c1::Series4].values.push_back(s.MSmirn.Kol_F_priv[i] * K / P);
            ch2[c2::Series10].values.push_back(o.smirn.Kol_Nakopl / P);
        }
        ch1[c1::Series1].values.push_back(W * 100);
        ch2[c2::Series7].values.push_back(W * 100);
        ch2[c2::Series15].values.push_back(failures / U / P);
        prevT = t;
    }

    requireFiniteSums(o.pirsN, "Пирсона/Ньютона");
    requireFiniteSums(o.pirsS, "Пирсона/спир.спуск");
    requireFiniteSums(o.smirn, "Смирнова");
    requireFiniteSums(o.genet, "Генетическая");
    requireFiniteSums(o.lik, "Макс. правдоподобия");
    requireFiniteSeries(o.charts.chart1, o.charts.labels);
    requireFiniteSeries(o.charts.chart2, o.charts.labels);
    requireFiniteSeries(o.charts.chart3, o.charts.labels);
    return o;
}

void apply(const RunningSums& r, Mod_Weib& m) {
    m.Unsens = r.Unsens;
    m.Kol_Nakopl = r.Kol_Nakopl;
}

// The Pearson models' sums are only rebuilt when they are shown; the other
// two are always rebuilt (to 0 when not executed).
void applySums(const PassOutcome& o, Mod_Weib& pirsN, Mod_Weib& pirsS, Mod_Weib& smirn, Mod_Weib& genet,
               Mod_Weib& lik) {
    if (pirsN.Executed) apply(o.pirsN, pirsN);
    if (pirsS.Executed) apply(o.pirsS, pirsS);
    apply(o.smirn, smirn);
    apply(o.genet, genet);
    if (lik.Executed) apply(o.lik, lik);
}

void commit(AnalysisState& s, const PassOutcome& o) {
    s.SumNund = o.SumNund;
    s.Sum_PrichRow = o.Sum_PrichRow;
    s.Sum_PrichCol = o.Sum_PrichCol;
    s.F_OutGar = o.F_OutGar;
    applySums(o, s.MPirsN, s.MPirsS, s.MSmirn, s.MGenet, s.MLik);
}

const std::array<const char*, kTableRows> kRowTitles = {
    "Параметры для моделей:",     "Парам.закона Вейбулла A/Beta", "Коэффициент повторности",
    "Средняя наработка на отказ", "80%,90% наработка на отказ",   "Число известных/всех отказов",
    "Довер.95% инт./СКО модели",  "Средний срок гарантии",        "Ср.квад.откл.срока гарантии",
    "Критерий согласия модели",   "Отказов после приработки при", "Отказов/изд. за гарант.срок",
};

class TableWriter {
  public:
    TableWriter(const AnalysisState& s, const NumberFormat& fmt) : s_(s), fmt_(fmt) {
        table_.widths.fill(-1);
    }

    // One model column; Model is a private copy so that the Kolmogorov
    // statistic lands in it and not in the stored model.
    // `estimable` false: the model's A and K are no estimates (the likelihood
    // model at its power-law limit), and neither is what follows from them alone.
    void BlockOut(Mod_Weib Model, const char* st, const char* name, int Wi, bool estimable = true) {
        if (!Model.Executed) return;
        const int col = N_Row_;
        table_.widths[col] = Wi;
        std::string verdict;
        Kolmogor(s_, Model.K_powtor, Model.A, Model.B, Model.Sred, Model.SKO, Model.KolmCrt, verdict);
        table_.cells[0][col] = st;
        auto finite = [&](double v, int row) {
            if (!std::isfinite(v))
                throw Error(std::string("Модель «") + name + "»: значение «" + kRowTitles[row] +
                            "» не является конечным числом");
            return v;
        };
        auto put = [&](int row, std::string text) {
            table_.cells[row][col] = std::move(text);
            table_.padded[row][col] = true;
        };
        if (Model.K_powtor == 0)
            throw Error(std::string("Модель «") + name +
                        "»: коэффициент повторности равен 0, наработка на отказ не определена");
        const double K = Model.K_powtor;
        if (estimable) {
            put(1, formatPattern("%6.2f, / %7.5f", {finite(1 / Model.A, 1), finite(Model.B, 1)}, fmt_));
            put(2, formatPattern("%6.3f", {finite(K, 2)}, fmt_));
            // A probability of 1 or more (K <= 0.5) gives weibinv's 1e10 h, "never".
            put(3, wholeText(finite(weibinv(Model.A, Model.B, 0.5 / K), 3)) + " ч.");
            put(4, wholeText(finite(weibinv(Model.A, Model.B, 0.2 / K), 4)) + " ч., " +
                       wholeText(finite(weibinv(Model.A, Model.B, 0.1 / K), 4)) + " ч.");
        } else {
            put(1, std::string(kNotEstimable) + " / " + formatPattern("%7.5f", {finite(Model.B, 1)}, fmt_));
            put(2, kNotEstimable);
            put(3, kNotEstimable);
            put(4, kNotEstimable);
        }
        put(5, wholeText(finite(Model.Kol_Nakopl, 5)) + " /" +
                   wholeText(finite(Model.Kol_Nakopl / s_.Popravka_Unknow, 5)));
        put(6, formatPattern("%5.2f / %5.2f", {finite(1.96 * Model.SKO_out, 6), Model.SKO_out}, fmt_));
        put(7, formatPattern("%4.1f", {finite(Model.Sred, 7)}, fmt_) + " ч");
        put(8, formatPattern("%4.1f", {finite(Model.SKO, 8)}, fmt_) + " ч");
        put(9, formatPattern("%6.3f", {finite(Model.KolmCrt, 9)}, fmt_) + verdict);
        put(11, formatPattern("%6.2f", {finite(K * weibCDF2(Model.A, Model.B, 0, s_.tGar), 11)}, fmt_));
        table_.notes[col] = limitNotes(Model.atLimit, fmt_);
        ++N_Row_;
    }

    void operatingData(double pot08) {
        const int col = N_Row_;
        table_.widths[col] = 128;
        table_.dataColumn = col;
        for (int r = 0; r < kTableRows; ++r)
            table_.cells[r][0] = kRowTitles[r];
        table_.cells[0][col] = "Данные эксплуатации";
        // Written before the data column so that, with no model shown, the
        // data column's own row 10 takes the cell.
        table_.cells[10][1] = "20%...100% гаран.срока";
        table_.padded[10][1] = false;
        auto finite = [&](double v, int row) {
            if (!std::isfinite(v))
                throw Error(std::string("Данные эксплуатации: значение «") + kRowTitles[row] +
                            "» не является конечным числом");
            return v;
        };
        auto put = [&](int row, std::string text) {
            table_.cells[row][col] = std::move(text);
            table_.padded[row][col] = true;
        };
        // A median the fleet never reached is no time of 0 h.
        const auto median = [](double t) { return t > 0 ? wholeText(t) : std::string("—"); };
        put(3, median(finite(s_.T50expl, 3)) + " (набл.)/" + median(finite(s_.t50zen, 3)) + " (ценз.)");
        put(4, wholeText(finite(s_.T80expl, 4)) + " ч., " + wholeText(finite(s_.T90expl, 4)) + " ч.(ценз.)");
        put(5, wholeText(s_.Kol_izw) + " /" + wholeText(finite(s_.Kol_izw / s_.Popravka_Unknow, 5)));
        put(10, formatPattern("%5.4f", {finite(pot08, 10)}, fmt_) + "/издел. на 100 ч.");
        put(11, formatPattern("%4.2f", {finite(s_.Otk_Izd, 11)}, fmt_));
    }

    // The intervals of the likelihood model after the values of its column.
    void likelihoodIntervals(const LikelihoodFit& f) {
        const int col = N_Row_ - 1;
        auto add = [&](int row, const LikelihoodInterval& ci, const char* pattern) {
            table_.cells[row][col] += " " + intervalText(ci, pattern, fmt_);
        };
        add(1, f.B_ci, "%.3f");
        add(2, f.K_ci, "%.3f");
        if (f.Sred_ci) add(7, *f.Sred_ci, "%.0f");
        if (f.SKO_ci) add(8, *f.SKO_ci, "%.0f");
        if (!f.mcf.empty()) add(11, f.mcf.front().value, "%.2f");
    }

    ResultTable take() { return std::move(table_); }

  private:
    const AnalysisState& s_;
    const NumberFormat& fmt_;
    ResultTable table_;
    int N_Row_ = 1; // the column written next
};

} // namespace

void Potok08(AnalysisState& s) {
    s.Pot08 = pot08Value(s);
}

std::string intervalText(const LikelihoodInterval& ci, const char* pattern, const NumberFormat& fmt) {
    auto end = [&](const std::optional<double>& v) {
        return v ? formatPattern(pattern, {*v}, fmt) : std::string(kOpenEnd);
    };
    return "(" + end(ci.lo) + "…" + end(ci.hi) + ")";
}

FlowCharts chartPass(AnalysisState& s, const NumberFormat& fmt) {
    PassOutcome o = computePass(s, fmt);
    commit(s, o);
    return std::move(o.charts);
}

DiagramsResult Diagrams(AnalysisState& s, const NumberFormat& fmt) {
    // Everything is computed before the state is touched, so that a refusal
    // anywhere leaves the previous results intact.
    const double pot08 = pot08Value(s);
    PassOutcome pass = computePass(s, fmt);

    // The table shows the models as the pass leaves them (their Kol_Nakopl).
    Mod_Weib pirsN = s.MPirsN, pirsS = s.MPirsS, smirn = s.MSmirn, genet = s.MGenet, lik = s.MLik;
    applySums(pass, pirsN, pirsS, smirn, genet, lik);
    TableWriter w(s, fmt);
    w.BlockOut(std::move(pirsN), "Пирсона/Ньютона", "Пирсона/Ньютона", 134);
    w.BlockOut(std::move(pirsS), "Пирсона/спир.спуск", "Пирсона/спир.спуск", 118);
    w.BlockOut(std::move(smirn), "Смирнова ", "Смирнова", 118);
    w.BlockOut(std::move(genet), "Генетическая", "Генетическая", 118);
    if (lik.Executed && s.MLikFit) {
        w.BlockOut(std::move(lik), kLikelihoodColumn, kLikelihoodColumn, 150, s.MLikFit->estimable);
        w.likelihoodIntervals(*s.MLikFit);
    }
    w.operatingData(pot08);

    DiagramsResult r;
    r.label10 = s.Comment + " (" + std::to_string(s.Kol_Izd_All) + " шт.)";
    r.table = w.take();
    commit(s, pass);
    s.Pot08 = pot08;
    s.Perv = false;
    r.charts = std::move(pass.charts);
    return r;
}

namespace {

// Fractional part with the sign of its argument.
double frac(double x) {
    return x - std::trunc(x);
}

} // namespace

ExpandResult ExpandDia_1(AnalysisState& s, const NumberFormat& fmt) {
    PassOutcome pass = computePass(s, fmt, Mx_prich);
    const double P = s.Izd_Prived;

    ExpandResult r;
    r.labels = pass.charts.labels;
    ChartData& ch = r.chart;
    ch = std::move(pass.charts.chart1);
    ch.rightAxisTitle = "Доля отказавших, выбывание из гарантии, %";
    // The results window's chart has the genetic curve smoothed; here it is not.
    ch.series[c1::Series5].smoothed = false;
    ch.series[c1::Series5].transparency = 0;
    if (s.MGenet.Executed) {
        ch.series[c1::Series5].title = "Модель генетическая с учетом цензурирования";
        ch.series[c1::Series6].title = "Модель \"генетическая\"";
    }

    ChartSeries s7 =
        fixedSeries("Series7", "Выбывание из гарантии эксп.", SeriesKind::Line, Axis::Right, 0xFF0000, 3);
    s7.pen = PenStyle::Dash;
    s7.pointMarkers = true;
    s7.marksPx = 16;
    double nakopl = 0;
    for (const auto& rec : s.Hist_Arr) {
        nakopl += rec.Sum;
        if (!(nakopl / P <= 1)) break; // the cumulative share stops where it would pass 100 %
        const double v = nakopl / P * 100;
        s7.values.push_back(v);
        // "#.#": at most one decimal, no trailing zero, nothing for 0.
        std::string mark = formatPattern("%.1f", {roundHalfEven(v * 10) / 10}, fmt);
        if (mark.size() > 2 && mark.compare(mark.size() - 2, 2, std::string(1, fmt.decimal) + "0") == 0)
            mark.resize(mark.size() - 2);
        if (mark == "0") mark.clear();
        s7.marks.push_back(mark);
    }
    bool anyCause = false;
    for (int c = 1; c <= Mx_prich; ++c)
        anyCause = anyCause || pass.Sum_PrichCol[c] > 0;
    if (anyCause) s7.title = "Накопление отказов, % от машин";
    ch.series.insert(ch.series.begin() + c1::Fixed, std::move(s7));

    double sumI = 0, tprev = 0;
    for (std::size_t k = 0; k < s.MasProbl.size(); ++k) {
        const double t = s.MasProbl[k].time;
        const double still = 1 - CDF_Gauss(s.Sred, s.SKO, t);
        if (still == 0)
            throw Error("К наработке " + wholeText(t) +
                        " ч все изделия вышли из гарантии: медиана с учетом цензурирования не определена");
        sumI += 1 / still;
        if (r.t50 == 0 && static_cast<double>(k + 1) / P >= 0.5)
            r.t50 = t - (t - tprev) * frac(static_cast<double>(k + 1) - 0.5 * P);
        if (r.tz50 == 0 && sumI / P >= 0.5) r.tz50 = t - (t - tprev) * frac(sumI - 0.5 * P);
        tprev = t;
    }
    if (!std::isfinite(r.t50) || !std::isfinite(r.tz50))
        throw Error("Медиана наработки на отказ не является конечным числом");
    if (r.t50 == 0) {
        r.Label2 = kMedianNotEstimable;
    } else {
        r.Label2 = "- без учета цензурирования: " + formatPattern("%7.1f", {r.t50}, fmt) + " ч";
        r.Label3 = "- с учетом цензурирования: " + formatPattern("%7.2f", {r.tz50}, fmt) + " ч";
    }
    r.Label1 =
        s.Comment + " (" + std::to_string(s.Kol_Izd_All) + " шт.," + std::to_string(s.KolOtk) + " отказов)";
    requireFiniteSeries(ch, r.labels);

    commit(s, pass);
    return r;
}

} // namespace relan
