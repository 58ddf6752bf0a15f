#include "expand_window.hpp"
#include "flow_chart.hpp"
#include "main_window.hpp"
#include "messages.hpp"
#include "nonparam_window.hpp"
#include "results_window.hpp"

#include <QApplication>
#include <QChart>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using relan::gui::FlowChart;
using relan::gui::MainWindow;

namespace {

const QString kSample = RELAN_SAMPLES_DIR "/mtz82_2018.rel";

QString u(const char* s) { return QString::fromUtf8(s); }

// The numbers the axes show, read from what the chart has drawn: the
// labels are text items of the chart's scene. Category labels (whole hours)
// come along and do no harm.
QStringList axisNumbers(const FlowChart* chart) {
    static const QRegularExpression number("^-?\\d+([.,]\\d+)?%*$");
    QStringList out;
    for (QGraphicsItem* item : chart->chart()->scene()->items())
        if (auto* t = dynamic_cast<QGraphicsTextItem*>(item); t && t->isVisible()) {
            const QString text = t->toPlainText();
            if (number.match(text).hasMatch()) out << text;
        }
    return out;
}

// Settles the chart's layout, which the marks follow.
void settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

relan::ChartSeries line(double base, double step, std::size_t n, relan::Axis axis) {
    relan::ChartSeries s;
    s.title = "линия";
    s.kind = relan::SeriesKind::Line;
    s.axis = axis;
    for (std::size_t i = 0; i < n; ++i) {
        s.values.push_back(base + step * static_cast<double>(i));
        s.marks.push_back(QString::number(s.values.back(), 'f', 1).toStdString());
    }
    return s;
}

std::vector<std::string> hours(std::size_t n) {
    std::vector<std::string> labels;
    for (std::size_t i = 1; i <= n; ++i) labels.push_back(std::to_string(100 * i));
    return labels;
}

} // namespace

class FlowChartTest : public QObject {
    Q_OBJECT
private slots:
    void axisNumbersUseTheSeparatorOfTheData();
    void windowsOfACommaFormatShowCommas();

private:
    QTemporaryDir dir_;
};

void FlowChartTest::axisNumbersUseTheSeparatorOfTheData() {
    for (const char decimal : {',', '.'}) {
        relan::ChartData data;
        data.numbers.decimal = decimal;
        data.title = "График";
        data.leftAxisTitle = "Отказов";
        data.rightAxisTitle = "Доля, %";
        data.series = {line(0.1, 0.2, 4, relan::Axis::Left), line(10, 20, 4, relan::Axis::Right)};
        relan::gui::ChartLook look;
        look.rightRange = std::make_pair(0.0, 100.0);
        look.rightLabelFormat = "%.0f%%"; // as the non-parametric window has it
        FlowChart chart("Chart", nullptr);
        chart.resize(700, 450);
        chart.show();
        chart.fill(data, hours(4), look);
        settle();
        const QStringList numbers = axisNumbers(&chart);
        const QString other = decimal == ',' ? "." : ",";
        // The left axis has tenths: "0,2" or "0.2".
        QVERIFY2(numbers.filter(QRegularExpression(QString("^\\d+\\%1\\d+$").arg(decimal))).size() >= 3,
                 qPrintable(numbers.join(' ')));
        QVERIFY2(numbers.filter(other).isEmpty(), qPrintable(numbers.join(' ')));
        QVERIFY2(numbers.contains("100%") && numbers.contains("0%"), qPrintable(numbers.join(' ')));
        QVERIFY2(numbers.filter("%%").isEmpty(), qPrintable(numbers.join(' ')));
    }
}

void FlowChartTest::windowsOfACommaFormatShowCommas() {
    // What "relan-cli chart --decimal-separator ," draws: the table, the
    // labels and every axis with commas.
    QStringList messages;
    relan::gui::setMessageHook([&](const QString&, const QString& text) { messages << text; });
    MainWindow w(nullptr, MainWindow::LinkFile::Ignore, relan::NumberFormat{','});
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(w.calculate());
    QVERIFY(w.analyseNonParametric());
    QVERIFY(w.expand());
    relan::gui::setMessageHook({});
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join("; ")));
    settle();

    relan::gui::ResultsWindow* results = w.resultsWindow();
    QStringList cells;
    for (int r = 1; r < relan::kTableRows; ++r) cells << results->cellText(r, 1);
    // The cells that are one number each; the Kolmogorov verdict quotes its
    // critical value as a fixed text.
    const QStringList numbers = cells.filter(QRegularExpression("^\\d+[.,]\\d+$"));
    QVERIFY2(numbers.size() >= 2, qPrintable(cells.join(" | ")));
    QCOMPARE(numbers.filter(QStringLiteral(",")), numbers);

    const FlowChart* charts[] = {
        results->findChild<FlowChart*>("Chart1"), results->findChild<FlowChart*>("Chart2"),
        results->findChild<FlowChart*>("Chart3"), w.nonParamWindow()->chart(), w.expandWindow()->chart()};
    for (const FlowChart* chart : charts) {
        QVERIFY(chart);
        const QStringList numbers = axisNumbers(chart);
        QVERIFY2(!numbers.filter(QStringLiteral(",")).isEmpty(), qPrintable(numbers.join(' ')));
        QVERIFY2(numbers.filter(QStringLiteral(".")).isEmpty(), qPrintable(numbers.join(' ')));
    }
    QVERIFY(axisNumbers(w.nonParamWindow()->chart()).contains("100%"));
}

QTEST_MAIN(FlowChartTest)
#include "flow_chart_test.moc"
