#include "relan/results.hpp"

#include "relan/likelihood.hpp"

#include "relan/criteria.hpp"
#include "relan/error.hpp"
#include "relan/half_fleet.hpp"
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
void requireDivisors(const Analysis& s) {
    if (s.Kol_izw == 0)
        throw Error(
            "Число документированных отказов равно 0: результаты по отказам не могут быть рассчитаны");
    if (s.Izd_Prived == 0)
        throw Error("Приведенное число изделий равно 0: поток отказов на 1 изделие не определен");
    if (s.Popravka_Unknow == 0)
        throw Error("Доля документированных отказов равна 0: число всех отказов не определено");
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

// The design's series of the models: each model's curves in the results
// table's order, a series named by two models once.
void addModelSeries(std::vector<ChartSeries>& series,
                    const std::array<std::optional<ModelCurve>, 2> ModelDescriptor::*curves) {
    for (const ModelDescriptor* d : modelsInTableOrder())
        for (const auto& c : (*d).*curves) {
            if (!c || !c->series) continue;
            bool present = false;
            for (const ChartSeries& have : series)
                present = present || have.name == c->series;
            if (!present)
                series.push_back(fixedSeries(c->series, c->title, SeriesKind::Line, Axis::Left, c->color,
                                             c->penWidth, c->transparency, c->smoothed));
        }
}

std::size_t seriesNamed(const std::vector<ChartSeries>& series, std::string_view name) {
    for (std::size_t i = 0; i < series.size(); ++i)
        if (series[i].name == name) return i;
    throw Error("В графике нет ряда " + std::string(name));
}

FlowCharts designCharts() {
    FlowCharts f;
    f.chart1.title = "Изменение потока отказов в течение гарантийного периода";
    f.chart1.leftAxisTitle = "Отказов за 100 час на 1 изделие";
    f.chart1.rightAxisTitle = "Выбывание из гарантии, %";
    auto& a = f.chart1.series;
    a.push_back(
        fixedSeries("Series1", "Выбывание из гарантии", SeriesKind::Line, Axis::Right, 0xFFFF00, 2, 0, true));
    addModelSeries(a, &ModelDescriptor::flowCurves);
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
    addModelSeries(b, &ModelDescriptor::accumulatedCurves);

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
    PerModel<RunningSums> sums; // of the executed models
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

PassOutcome computePass(const Analysis& s, const NumberFormat& fmt, int maxCause = kChartedCauses) {
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

    for (const ModelDescriptor* d : modelsInTableOrder())
        if (s.models[d->id].Executed) requireCurves(s.models[d->id], d->name, n, d->weibullCurve);

    auto& ch1 = o.charts.chart1.series;
    auto& ch2 = o.charts.chart2.series;
    auto& ch3 = o.charts.chart3.series;
    const std::size_t warranty1 = seriesNamed(ch1, "Series1");
    const std::size_t warranty2 = seriesNamed(ch2, "Series7");
    const std::size_t observed2 = seriesNamed(ch2, "Series15");

    // The curves drawn: of a series two models share, the first executed
    // model's (Newton's fit before the spiral one).
    struct Drawn {
        ModelId model;
        CurveQuantity quantity;
        std::vector<ChartSeries>* chart;
        std::size_t series;
    };
    std::vector<Drawn> drawn;
    std::vector<std::pair<Drawn, const ModelCurve*>> appended;
    for (const ModelDescriptor* d : modelsInTableOrder()) {
        if (!s.models[d->id].Executed) continue;
        for (auto [chart, curves] : {std::pair{&ch1, &d->flowCurves}, std::pair{&ch2, &d->accumulatedCurves}})
            for (const auto& c : *curves) {
                if (!c) continue;
                if (!c->series) {
                    appended.push_back({{d->id, c->quantity, chart, 0}, &*c});
                    continue;
                }
                const std::size_t at = seriesNamed(*chart, c->series);
                bool taken = false;
                for (const Drawn& k : drawn)
                    taken = taken || (k.chart == chart && k.series == at);
                if (taken) continue;
                if (c->drawnTitle) (*chart)[at].title = c->drawnTitle;
                drawn.push_back({d->id, c->quantity, chart, at});
            }
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

    // Curves outside the design follow every other series, so that the
    // charts without their models keep their series as they were.
    for (auto [k, c] : appended) {
        k.series = k.chart->size();
        drawn.push_back(k);
        k.chart->push_back(fixedSeries({}, c->title, SeriesKind::Line, Axis::Left, c->color, c->penWidth,
                                       c->transparency, c->smoothed));
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

        for (const ModelDescriptor* d : modelsInTableOrder()) {
            const Mod_Weib& m = s.models[d->id];
            if (!m.Executed) continue;
            RunningSums& sum = o.sums[d->id];
            if (d->weibullCurve) sum.Unsens += m.F_Weib[i];
            sum.Kol_Nakopl += m.Kol_F_priv[i];
        }
        for (const Drawn& k : drawn) {
            const Mod_Weib& m = s.models[k.model];
            const RunningSums& sum = o.sums[k.model];
            double v = 0;
            switch (k.quantity) {
            case CurveQuantity::LawFlow:
                v = m.F_Weib[i] * K * m.K_powtor;
                break;
            case CurveQuantity::ExpectedFlow:
                v = m.Kol_F_priv[i] * K / P;
                break;
            case CurveQuantity::LawAccumulated:
                v = sum.Unsens * m.K_powtor;
                break;
            case CurveQuantity::ExpectedAccumulated:
                v = sum.Kol_Nakopl / P;
                break;
            }
            (*k.chart)[k.series].values.push_back(v);
        }
        ch1[warranty1].values.push_back(W * 100);
        ch2[warranty2].values.push_back(W * 100);
        ch2[observed2].values.push_back(failures / U / P);
        prevT = t;
    }

    for (const ModelDescriptor* d : modelsInTableOrder())
        requireFiniteSums(o.sums[d->id], d->name);
    requireFiniteSeries(o.charts.chart1, o.charts.labels);
    requireFiniteSeries(o.charts.chart2, o.charts.labels);
    requireFiniteSeries(o.charts.chart3, o.charts.labels);
    return o;
}

void apply(const RunningSums& r, Mod_Weib& m) {
    m.Unsens = r.Unsens;
    m.Kol_Nakopl = r.Kol_Nakopl;
}

// The running sums of the executed models; the others keep theirs.
void applySums(const PassOutcome& o, PerModel<Mod_Weib>& models) {
    for (const ModelDescriptor* d : modelsInTableOrder())
        if (models[d->id].Executed) apply(o.sums[d->id], models[d->id]);
}

void commit(Analysis& s, const PassOutcome& o) {
    s.SumNund = o.SumNund;
    s.Sum_PrichRow = o.Sum_PrichRow;
    s.Sum_PrichCol = o.Sum_PrichCol;
    s.F_OutGar = o.F_OutGar;
    applySums(o, s.models);
}

const std::array<const char*, kTableRows> kRowTitles = {
    "Параметры для моделей:",     "Парам.закона Вейбулла A/Beta", "Коэффициент повторности",
    "Средняя наработка на отказ", "80%,90% наработка на отказ",   "Число известных/всех отказов",
    "Довер.95% инт./СКО модели",  "Средний срок гарантии",        "Ср.квад.откл.срока гарантии",
    "Критерий согласия модели",   "Отказов после приработки при", "Отказов/изд. за гарант.срок",
};

class TableWriter {
  public:
    TableWriter(const Analysis& s, const NumberFormat& fmt) : s_(s), fmt_(fmt) { table_.widths.fill(-1); }

    // One model column; Model is a private copy so that the Kolmogorov
    // statistic lands in it and not in the stored model.
    // `estimable` false: the model's A and K are no estimates (the likelihood
    // model at its power-law limit), and neither is what follows from them alone.
    void BlockOut(Mod_Weib Model, const char* st, const char* name, int Wi, bool estimable) {
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
    const Analysis& s_;
    const NumberFormat& fmt_;
    ResultTable table_;
    int N_Row_ = 1; // the column written next
};

} // namespace

double Potok08(const Analysis& s) {
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

bool modelEstimable(const ModelResults& s, ModelId id) {
    return id != ModelId::Likelihood || !s.likelihoodFit || s.likelihoodFit->estimable;
}

std::string intervalText(const LikelihoodInterval& ci, const char* pattern, const NumberFormat& fmt) {
    auto end = [&](const std::optional<double>& v) {
        return v ? formatPattern(pattern, {*v}, fmt) : std::string(kOpenEnd);
    };
    return "(" + end(ci.lo) + "…" + end(ci.hi) + ")";
}

FlowCharts chartPass(Analysis& s, const NumberFormat& fmt) {
    PassOutcome o = computePass(s, fmt);
    commit(s, o);
    return std::move(o.charts);
}

DiagramsResult Diagrams(Analysis& s, const NumberFormat& fmt) {
    // Everything is computed before the state is touched, so that a refusal
    // anywhere leaves the previous results intact.
    const double pot08 = Potok08(s);
    PassOutcome pass = computePass(s, fmt);

    // The table shows the models as the pass leaves them (their Kol_Nakopl).
    PerModel<Mod_Weib> models = s.models;
    applySums(pass, models);
    TableWriter w(s, fmt);
    for (const ModelDescriptor* d : modelsInTableOrder()) {
        // The likelihood model's column needs its intervals.
        const bool likelihood = d->id == ModelId::Likelihood;
        if (likelihood && !s.likelihoodFit) continue;
        const bool shown = models[d->id].Executed;
        w.BlockOut(std::move(models[d->id]), d->column, d->name, d->columnWidth, modelEstimable(s, d->id));
        if (likelihood && shown) w.likelihoodIntervals(*s.likelihoodFit);
    }
    w.operatingData(pot08);

    DiagramsResult r;
    r.comment = s.Comment + " (" + std::to_string(s.Kol_Izd_All) + " шт.)";
    r.table = w.take();
    commit(s, pass);
    r.charts = std::move(pass.charts);
    return r;
}

ExpandResult ExpandDia_1(Analysis& s, const NumberFormat& fmt) {
    PassOutcome pass = computePass(s, fmt, Mx_prich);
    const double P = s.Izd_Prived;

    ExpandResult r;
    r.labels = pass.charts.labels;
    ChartData& ch = r.chart;
    ch = std::move(pass.charts.chart1);
    ch.rightAxisTitle = "Доля отказавших, выбывание из гарантии, %";
    // The results window's chart has the genetic curve smoothed; here it is not.
    ChartSeries& genetic = ch.series[seriesNamed(ch.series, "Series5")];
    genetic.smoothed = false;
    genetic.transparency = 0;
    if (s.models[ModelId::Genetic].Executed) genetic.title = "Модель генетическая с учетом цензурирования";

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
    // After the design's series, before the causes.
    const auto designEnd =
        ch.series.begin() + static_cast<std::ptrdiff_t>(seriesNamed(ch.series, "Series14")) + 1;
    ch.series.insert(designEnd, std::move(s7));

    const HalfFleetTimes median = halfFleetTimes(s.MasProbl, P, [&](double t) {
        const double still = 1 - CDF_Gauss(s.Sred, s.SKO, t);
        if (still == 0)
            throw Error("К наработке " + wholeText(t) +
                        " ч все изделия вышли из гарантии: медиана с учетом цензурирования не определена");
        return 1 / still;
    });
    r.t50 = median.t50;
    r.tz50 = median.tz50;
    if (!std::isfinite(r.t50) || !std::isfinite(r.tz50))
        throw Error("Медиана наработки на отказ не является конечным числом");
    if (r.t50 == 0) {
        r.medianLine = kMedianNotEstimable;
    } else {
        r.medianLine = "- без учета цензурирования: " + formatPattern("%7.1f", {r.t50}, fmt) + " ч";
        r.censoredMedianLine = "- с учетом цензурирования: " + formatPattern("%7.2f", {r.tz50}, fmt) + " ч";
    }
    r.heading =
        s.Comment + " (" + std::to_string(s.Kol_Izd_All) + " шт.," + std::to_string(s.KolOtk) + " отказов)";
    requireFiniteSeries(ch, r.labels);

    commit(s, pass);
    return r;
}

} // namespace relan
