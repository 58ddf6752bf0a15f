#include "expand_window.hpp"
#include "file_dialogs.hpp"
#include "flow_chart.hpp"
#include "heading_label.hpp"
#include "main_window.hpp"
#include "messages.hpp"
#include "nonparam_window.hpp"
#include "results_window.hpp"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using relan::gui::FlowChart;
using relan::gui::MainWindow;

namespace {

const QString kSample = RELAN_SAMPLES_DIR "/mtz82_2018.rel";

QString u(const char* s) {
    return QString::fromUtf8(s);
}

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
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Loads `path` into `w` and fills every window drawn from it: the results,
// the non-parametric analysis and the expanded chart. Empty when all went
// well; otherwise the step that failed, or the messages a user would have seen.
QString fillEveryWindow(relan::gui::MainWindow& w, const QString& path) {
    QStringList messages;
    relan::gui::setMessageHook([&](const QString&, const QString& text) { messages << text; });
    QString failed;
    if (!w.loadFailureFile(path))
        failed = "load";
    else if (!(w.calculate() && w.waitForWork()))
        failed = "calculation";
    else if (!(w.analyseNonParametric() && w.waitForWork()))
        failed = "non-parametric analysis";
    else if (!w.expand())
        failed = "expanded chart";
    relan::gui::setMessageHook({});
    if (!messages.isEmpty()) failed += (failed.isEmpty() ? "" : ": ") + messages.join("; ");
    return failed;
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
    for (std::size_t i = 1; i <= n; ++i)
        labels.push_back(std::to_string(100 * i));
    return labels;
}

struct MarkCount {
    int shown = 0;
    int all = 0;
    QString fault; // the first mark found covering another or out of the plot
};

// Visible marks must neither cover one another nor leave the plot.
MarkCount checkMarks(const FlowChart& chart) {
    const QRectF plot = chart.chart()->mapRectToScene(chart.chart()->plotArea());
    std::vector<QRectF> shown;
    MarkCount count;
    for (QGraphicsSimpleTextItem* m : chart.markItems()) {
        ++count.all;
        if (!m->isVisible()) continue;
        const QRectF r = m->sceneBoundingRect();
        if (!plot.contains(r) && count.fault.isEmpty()) count.fault = "outside the plot: " + m->text();
        for (const QRectF& other : shown)
            if (other.intersects(r) && count.fault.isEmpty()) count.fault = "covers another: " + m->text();
        shown.push_back(r);
    }
    count.shown = static_cast<int>(shown.size());
    return count;
}

} // namespace

class FlowChartTest : public QObject {
    Q_OBJECT
  private slots:
    void axisNumbersUseTheSeparatorOfTheData();
    void marksThatWouldCollideAreHidden();
    void fewMarksOnALargeChartAreAllShown();
    void defaultSuffixIsAddedToANameWithoutOne();
    void savingAsPngAddsTheSuffixTheNameLacks();
    void windowsOfACommaFormatShowCommas();
    void aTitleTooLongIsCutAndTheChartKeepsItsWidth();
    void aLongCommentIsCutInEveryHeadingAndWholeInItsTooltip();

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

void FlowChartTest::marksThatWouldCollideAreHidden() {
    // Two curves of 60 close points, as the non-parametric window draws for
    // a long history, each point with its value above it.
    relan::ChartData data;
    data.title = "Много интервалов";
    data.leftAxisTitle = "Отказов";
    data.rightAxisTitle = "Доля, %";
    data.series = {line(20, 0.5, 60, relan::Axis::Right), line(22, 0.6, 60, relan::Axis::Right)};
    relan::gui::ChartLook look;
    look.rightRange = std::make_pair(0.0, 100.0);
    FlowChart chart("Chart", nullptr);
    chart.resize(1000, 600);
    chart.show();
    chart.fill(data, hours(60), look);
    settle();
    const MarkCount large = checkMarks(chart);
    QVERIFY2(large.fault.isEmpty(), qPrintable(large.fault));
    QCOMPARE(large.all, 120);
    QVERIFY(large.shown > 0);

    chart.resize(400, 300);
    settle();
    const MarkCount small = checkMarks(chart);
    QVERIFY2(small.fault.isEmpty(), qPrintable(small.fault));
    QVERIFY(small.shown > 0);
    QVERIFY2(small.shown < large.shown, qPrintable(QString("%1 / %2").arg(small.shown).arg(large.shown)));

    // Back at the large size the marks hidden for the small one come back.
    chart.resize(1000, 600);
    settle();
    const MarkCount again = checkMarks(chart);
    QVERIFY2(again.fault.isEmpty(), qPrintable(again.fault));
    QCOMPARE(again.shown, large.shown);
}

void FlowChartTest::fewMarksOnALargeChartAreAllShown() {
    relan::ChartData data;
    data.title = "Мало интервалов";
    data.rightAxisTitle = "Доля, %";
    // The second curve well above the first, its last point at the top of
    // the axis: that mark goes under its point rather than out of the plot.
    data.series = {line(10, 5, 5, relan::Axis::Right), line(60, 10, 5, relan::Axis::Right)};
    relan::gui::ChartLook look;
    look.rightRange = std::make_pair(0.0, 100.0);
    FlowChart chart("Chart", nullptr);
    chart.resize(1000, 600);
    chart.show();
    chart.fill(data, hours(5), look);
    settle();
    const MarkCount count = checkMarks(chart);
    QVERIFY2(count.fault.isEmpty(), qPrintable(count.fault));
    QCOMPARE(count.all, 10);
    QCOMPARE(count.shown, 10);
}

void FlowChartTest::defaultSuffixIsAddedToANameWithoutOne() {
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"a", "a.png"},
        {"/home/u/chart", "/home/u/chart.png"},
        {"a.png", "a.png"},
        {"a.PNG", "a.PNG"},
        {"dir.d/a", "dir.d/a.png"},
        {"/tmp/archive.tar", "/tmp/archive.tar"}, // an extension given on purpose
        {".hidden", ".hidden"},                   // a dot file is named as typed
        {"a.", "a."},
        {"dir/", "dir/"},
        {"", ""},
    };
    for (const auto& c : cases)
        QCOMPARE(relan::gui::withDefaultSuffix(u(c.path), "png"), u(c.expected));
    QCOMPARE(relan::gui::withDefaultSuffix("a", {}), QString("a"));
}

void FlowChartTest::savingAsPngAddsTheSuffixTheNameLacks() {
    QWidget w;
    w.resize(120, 80);
    w.show();
    QString title;
    bool answered = false;
    // The dialog is modal: it is answered from the event loop it runs.
    std::function<void()> answer = [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d) {
            QTimer::singleShot(20, answer);
            return;
        }
        title = d->windowTitle();
        d->selectFile(dir_.filePath("chart"));
        static_cast<QDialog*>(d)->accept(); // QFileDialog's own accept(), public in QDialog
        answered = true;
    };
    QTimer::singleShot(0, answer);
    relan::gui::saveWidgetPngInteractively(&w, "Chart.png");
    QVERIFY(answered);
    QCOMPARE(title, u("Сохранить график"));
    QVERIFY(QFile::exists(dir_.filePath("chart.png")));
    QVERIFY(!QFile::exists(dir_.filePath("chart")));
    QCOMPARE(QImage(dir_.filePath("chart.png")).size(), w.grab().size());
    // The next picture is offered in the folder of this one.
    QCOMPARE(relan::gui::lastFolderOf("png"), QFileInfo(dir_.path()).absoluteFilePath());
    QCOMPARE(relan::gui::lastFolderOf("pdf"), QDir::homePath());
}

void FlowChartTest::windowsOfACommaFormatShowCommas() {
    // What "relan-cli chart --decimal-separator ," draws: the table, the
    // labels and every axis with commas.
    MainWindow w(nullptr, MainWindow::LinkFile::Ignore, relan::NumberFormat{','});
    const QString failed = fillEveryWindow(w, kSample);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    settle();

    relan::gui::ResultsWindow* results = w.resultsWindow();
    QStringList cells;
    for (int r = 1; r < relan::kTableRows; ++r)
        cells << results->cellText(r, 1);
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

void FlowChartTest::aTitleTooLongIsCutAndTheChartKeepsItsWidth() {
    relan::ChartData data;
    QString title;
    while (title.size() < 10'000)
        title += u("Очень длинный заголовок графика ");
    data.title = title.toStdString();
    data.leftAxisTitle = "Отказов";
    data.series = {line(0.1, 0.2, 4, relan::Axis::Left)};
    FlowChart chart("Chart", nullptr);
    chart.resize(900, 520);
    chart.show();
    chart.fill(data, hours(4), relan::gui::ChartLook{});
    settle();
    QVERIFY(chart.minimumSizeHint().width() < 900);
    QCOMPARE(chart.grab().size(), QSize(900, 520));
    const QString shown = chart.chart()->title();
    QVERIFY2(shown.endsWith(QChar(0x2026)) && shown.size() < 1000, qPrintable(shown));
    QVERIFY(title.startsWith(shown.chopped(1)));
    QVERIFY(QFontMetrics(chart.chart()->titleFont()).horizontalAdvance(shown) <= 2 * 900);
    QCOMPARE(chart.findChild<QChartView*>()->toolTip(), title);
}

void FlowChartTest::aLongCommentIsCutInEveryHeadingAndWholeInItsTooltip() {
    // The sample with a first line of 10 kB, once with spaces and once one
    // word: the load keeps 4096 bytes, the headings what fits their width.
    QFile sample(kSample);
    QVERIFY(sample.open(QIODevice::ReadOnly));
    const QByteArray bytes = sample.readAll();
    const qsizetype firstLineEnd = bytes.indexOf('\n');
    for (const QByteArray& comment :
         {QByteArray("Partiya 17 ").repeated(1000).left(10'000), QByteArray(10'000, 'x')}) {
        const QString path = dir_.filePath("long.rel");
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(comment + "\r" + bytes.mid(firstLineEnd));
        out.close();

        MainWindow w(nullptr, MainWindow::LinkFile::Ignore, relan::NumberFormat{','});
        const QString failed = fillEveryWindow(w, path);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        const QString kept = QString::fromLatin1(comment.left(4096));
        QVERIFY(w.findChild<QPlainTextEdit*>("Memo2")->toPlainText().contains(
            u("длиной 10000 байт сокращен до 4096 байт")));

        relan::gui::ResultsWindow* results = w.resultsWindow();
        results->resize(1436, 794);
        results->show();
        w.nonParamWindow()->resize(1008, 700);
        w.nonParamWindow()->show();
        settle();
        QVERIFY(results->minimumSizeHint().width() < 1436);
        QCOMPARE(results->grab().width(), 1436);
        QVERIFY(w.nonParamWindow()->minimumSizeHint().width() < 1008);
        QCOMPARE(w.nonParamWindow()->grab().width(), 1008);
        const struct {
            QWidget* window;
            const char* name;
        } headings[] = {{&w, "Label10"},
                        {results, "Label10"},
                        {w.nonParamWindow(), "Label10"},
                        {w.expandWindow(), "Label1"}};
        for (const auto& h : headings) {
            auto* label = h.window->findChild<relan::gui::HeadingLabel*>(h.name);
            QVERIFY2(label, h.name);
            QVERIFY(label->text().startsWith(kept));
            const QStringList lines = label->shownLines();
            QVERIFY2(!lines.isEmpty() && lines.size() <= 2, qPrintable(lines.join('|')));
            QVERIFY2(lines.last().endsWith(QChar(0x2026)), qPrintable(lines.last()));
            for (const QString& l : lines)
                QVERIFY(label->fontMetrics().horizontalAdvance(l) <= label->contentsRect().width());
            QVERIFY(label->isCut());
            QVERIFY(label->toolTip().contains(kept));
        }
    }
}

QTEST_MAIN(FlowChartTest)
#include "flow_chart_test.moc"
