#include "probability_plot_window.hpp"

#include "flow_chart.hpp"
#include "heading_label.hpp"
#include "printing.hpp"
#include "qt_text.hpp"
#include "widgets.hpp"

#include "relan/results.hpp"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMenu>
#include <QPushButton>
#include <QScatterSeries>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace relan::gui {
namespace {

QLineSeries* curve(const std::vector<ProbabilityPoint>& points, const QString& name, const QPen& pen) {
    auto* s = new QLineSeries;
    s->setName(name);
    s->setPen(pen);
    for (const auto& p : points)
        s->append(p.time, weibullPaperY(p.F));
    return s;
}

} // namespace

ProbabilityPlotWindow::ProbabilityPlotWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("ProbabilityPlot");
    setWindowTitle(titleWithVersion("Вероятностная бумага Вейбулла. Анализ надежности в эксплуатации.  v."));

    auto* print = namedButton("ButtonPrint", QString::fromUtf8("Печать"));
    auto* close = namedButton("ButtonClose", QString::fromUtf8("Продолж."));
    connect(close, &QPushButton::clicked, this, &QWidget::hide);

    content_ = new QWidget;
    content_->setObjectName("ProbabilityPlotContent");
    heading_ = new HeadingLabel("Label10");
    heading_->setFont(headingFont());
    view_ = new QChartView;
    view_->setObjectName("ProbabilityChart");
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumSize(scaledPx(500), scaledPx(360));
    // The chart's own legend cuts a long entry; this one wraps.
    legend_ = namedLabel("ProbabilityLegend", {});
    legend_->setWordWrap(true);
    legend_->setTextFormat(Qt::RichText);
    legend_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* contentLayout = new QVBoxLayout(content_);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->addWidget(heading_);
    contentLayout->addWidget(view_, 1);
    contentLayout->addWidget(legend_);
    connect(print, &QPushButton::clicked, this, [this] {
        printWindowInteractively(content_,
                                 printName(heading_->text(), QString::fromUtf8("вероятностная бумага")));
    });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(print);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addLayout(buttons);
    // A large font on a small screen scrolls the chart rather than cutting
    // its titles.
    layout->addWidget(namedScroll("ProbabilityScroll", content_), 1);
    resizeToFitScreen(this, QSize(1000, 720));
}

QChart* probabilityChart(const ProbabilityPlot& plot, const NumberFormat& fmt) {
    auto* chart = new QChart;
    chart->setTitle(qs(kProbabilityPlotTitle));
    chart->setTitleFont(scaledPixelFont({}, 16, true));
    chart->setLocale(chartLocale(fmt));
    chart->setLocalizeNumbers(true);
    chart->legend()->setAlignment(Qt::AlignBottom);

    auto* observed = new QScatterSeries;
    observed->setName(QString::fromUtf8("Отказы с учетом цензурирования (непараметрическая оценка)"));
    observed->setMarkerSize(scaledPx(7));
    observed->setColor(QColor(0, 0, 160));
    for (const auto& p : plot.observed)
        observed->append(p.time, weibullPaperY(p.F));
    const QColor ml = chartColor(kLikelihoodColor);
    QPen line(ml, 2);
    QPen band(ml, 1, Qt::DashLine);
    QLineSeries* fitted = curve(plot.fitted, QString::fromUtf8("Модель МП"), line);
    QLineSeries* low = curve(plot.bandLow, QString::fromUtf8("95% интервал (по точкам)"), band);
    QLineSeries* high = curve(plot.bandHigh, {}, band);

    // Hours on a logarithmic axis, shares at their Weibull-paper heights.
    double tMin = 1e300, tMax = 0, yMin = 1e300, yMax = -1e300;
    for (const auto* points : {&plot.observed, &plot.fitted, &plot.bandLow, &plot.bandHigh})
        for (const auto& p : *points) {
            tMin = std::min(tMin, p.time);
            tMax = std::max(tMax, p.time);
            yMin = std::min(yMin, weibullPaperY(p.F));
            yMax = std::max(yMax, weibullPaperY(p.F));
        }
    if (!(tMax > 0)) tMin = 1, tMax = 10, yMin = -5, yMax = 1;
    auto* x = new QLogValueAxis;
    x->setBase(10);
    x->setLabelFormat("%.0f");
    x->setRange(tMin / 1.5, tMax * 1.5);
    x->setTitleText(QString::fromUtf8("Наработка, ч (логарифмическая шкала)"));
    x->setMinorTickCount(8);
    auto* y = new QCategoryAxis;
    y->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    const double shares[] = {0.001, 0.002, 0.005, 0.01,  0.02, 0.05, 0.1,
                             0.2,   0.3,   0.5,   0.632, 0.8,  0.9,  0.99};
    const double lo = yMin - 0.3, hi = yMax + 0.3;
    for (double F : shares) {
        const double v = weibullPaperY(F);
        if (v < lo || v > hi) continue;
        y->append(qs(formatGeneral(F * 100, fmt)) + "%", v);
    }
    y->setRange(lo, hi);
    y->setTitleText(QString::fromUtf8("F(t) = K·F / K̂, вероятностная бумага Вейбулла"));
    y->setGridLineVisible(true);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{observed, fitted, low, high}) {
        chart->addSeries(s);
        s->attachAxis(x);
        s->attachAxis(y);
    }
    // One legend entry for the two lines of the band.
    for (QLegendMarker* m : chart->legend()->markers(high))
        m->setVisible(false);
    return chart;
}

void ProbabilityPlotWindow::fill(const ProbabilityPlot& plot, const QString& heading,
                                 const NumberFormat& fmt) {
    heading_->setHeading(heading);
    QChart* chart = probabilityChart(plot, fmt);
    QStringList entries;
    for (QLegendMarker* m : chart->legend()->markers()) {
        if (!m->isVisible()) continue;
        const QColor c = m->series()->type() == QAbstractSeries::SeriesTypeScatter
                             ? static_cast<QScatterSeries*>(m->series())->color()
                             : static_cast<QLineSeries*>(m->series())->pen().color();
        const bool dashed = m->series()->type() == QAbstractSeries::SeriesTypeLine &&
                            static_cast<QLineSeries*>(m->series())->pen().style() != Qt::SolidLine;
        const QString symbol = m->series()->type() == QAbstractSeries::SeriesTypeScatter
                                   ? QString::fromUtf8("●")
                               : dashed ? QString::fromUtf8("╍╍")
                                        : QString::fromUtf8("━━");
        QString label = m->label().toHtmlEscaped();
        label.replace(' ', "&nbsp;");
        entries << QString("<span style=\"color:%1\">%2</span>&nbsp;%3").arg(c.name(), symbol, label);
    }
    chart->legend()->hide();
    legend_->setText(entries.join(QStringLiteral(" &nbsp;&nbsp; ")));
    QChart* old = view_->chart();
    view_->setChart(chart);
    delete old;
    // A plot as long as the titles along it and never below a readable size.
    int plotWidth = FlowChart::kMinPlotWidth, plotHeight = FlowChart::kMinPlotHeight;
    for (QAbstractAxis* a : chart->axes(Qt::Horizontal))
        plotWidth = std::max(plotWidth, QFontMetrics(a->titleFont()).horizontalAdvance(a->titleText()) + 8);
    for (QAbstractAxis* a : chart->axes(Qt::Vertical))
        plotHeight = std::max(plotHeight, QFontMetrics(a->titleFont()).horizontalAdvance(a->titleText()) + 8);
    view_->setMinimumSize((chartDecorations(chart) + QSize(plotWidth, plotHeight))
                              .expandedTo(QSize(scaledPx(500), scaledPx(360))));
}

void ProbabilityPlotWindow::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    QAction* save = menu.addAction(QString::fromUtf8("Сохранить как PNG…"));
    if (menu.exec(e->globalPos()) == save) saveWidgetPngInteractively(content_, "probability.png");
}

} // namespace relan::gui
