// Every window on the screen the test is run with (ctest runs it at several
// screen sizes, scale factors and font sizes): each named control on the
// screen or in a scroll area that is, no text cut, no two controls on top of
// one another.

#include "app_setup.hpp"
#include "expand_window.hpp"
#include "flow_chart.hpp"
#include "frozen_table.hpp"
#include "main_window.hpp"
#include "messages.hpp"
#include "nonparam_window.hpp"
#include "probability_plot_window.hpp"
#include "results_window.hpp"

#include <QAbstractAxis>
#include <QAbstractButton>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <QtTest>

using relan::gui::MainWindow;

namespace {

const QString kSample = RELAN_SAMPLES_DIR "/mtz82_2018.rel";

QString u(const char* s) {
    return QString::fromUtf8(s);
}

QRect globalRect(const QWidget* w) {
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// The scroll area a control can be scrolled into view in, if any.
const QScrollArea* scrolledIn(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (const auto* area = qobject_cast<const QScrollArea*>(p);
            area && area->objectName().endsWith("Scroll"))
            return area;
    return nullptr;
}

bool isControl(const QWidget* w) {
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QSlider*>(w) ||
           qobject_cast<const QProgressBar*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
           qobject_cast<const QTableView*>(w) || qobject_cast<const relan::gui::FlowChart*>(w);
}

bool related(const QWidget* a, const QWidget* b) {
    return a->isAncestorOf(b) || b->isAncestorOf(a);
}

// What is wrong with a window as it stands on its screen; empty when nothing.
QStringList faults(QWidget* window) {
    QStringList out;
    const QRect screen = window->screen()->availableGeometry();
    if (!screen.contains(window->frameGeometry()))
        out << QString("window %1 at %2,%3 %4x%5 outside the screen %6x%7")
                   .arg(window->objectName())
                   .arg(window->x())
                   .arg(window->y())
                   .arg(window->width())
                   .arg(window->height())
                   .arg(screen.width())
                   .arg(screen.height());
    const QRect inside = globalRect(window);
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->objectName().isEmpty() || w->objectName().startsWith("qt_"))
            continue;
        if (!isControl(w)) continue;
        controls << w;
        const QString name = w->objectName();
        // On the screen, or in a scroll area that is.
        const QScrollArea* area = scrolledIn(w, window);
        const QRect reach = area ? globalRect(area->viewport()) : inside;
        if (area ? !area->widget()->rect().contains(QRect(w->mapTo(area->widget(), QPoint(0, 0)), w->size()))
                 : !reach.contains(globalRect(w)))
            out << name + " outside its window";
        if (!area && !screen.contains(globalRect(w))) out << name + " off the screen";
        if (const auto* l = qobject_cast<const QLabel*>(w);
            l && l->textFormat() != Qt::RichText && !l->text().contains('<')) {
            const int room = l->contentsRect().width();
            if (l->wordWrap()) {
                if (l->height() < l->heightForWidth(l->width()))
                    out << QString("%1: wrapped text needs %2 px of height, has %3")
                               .arg(name)
                               .arg(l->heightForWidth(l->width()))
                               .arg(l->height());
            } else if (l->fontMetrics().horizontalAdvance(l->text()) > room) {
                out << QString("%1: «%2» needs %3 px, has %4")
                           .arg(name, l->text())
                           .arg(l->fontMetrics().horizontalAdvance(l->text()))
                           .arg(room);
            }
        }
        if (const auto* b = qobject_cast<const QAbstractButton*>(w); b && b->width() < b->sizeHint().width())
            out << QString("%1: «%2» needs %3 px, has %4")
                       .arg(name, b->text())
                       .arg(b->sizeHint().width())
                       .arg(b->width());
        if (const auto* e = qobject_cast<const QLineEdit*>(w); e && e->width() < e->minimumSizeHint().width())
            out << name + " narrower than its text";
    }
    for (int i = 0; i < controls.size(); ++i)
        for (int j = i + 1; j < controls.size(); ++j) {
            const QWidget* a = controls[i];
            const QWidget* b = controls[j];
            if (related(a, b) || scrolledIn(a, window) != scrolledIn(b, window)) continue;
            if (globalRect(a).intersects(globalRect(b)))
                out << QString("%1 and %2 overlap").arg(a->objectName(), b->objectName());
        }
    return out;
}

// What is wrong with the charts of a window: a plot too small to read, an
// axis label or title that Qt Charts had to cut ("...").
QStringList chartFaults(QWidget* window) {
    QStringList out;
    for (const QChartView* view : window->findChildren<QChartView*>()) {
        if (!view->isVisibleTo(window)) continue;
        const QChart* chart = view->chart();
        QString name = view->objectName();
        for (const QWidget* p = view; name.isEmpty() && p; p = p->parentWidget())
            name = p->objectName();
        const QRectF plot = chart->plotArea();
        if (plot.width() < relan::gui::FlowChart::kMinPlotWidth ||
            plot.height() < relan::gui::FlowChart::kMinPlotHeight)
            out << QString("%1: plot %2x%3 in a chart of %4x%5")
                       .arg(name)
                       .arg(plot.width())
                       .arg(plot.height())
                       .arg(view->width())
                       .arg(view->height());
        for (const QAbstractAxis* axis : chart->axes())
            if (axis->labelsTruncated())
                out << QString("%1: the labels of «%2» cut").arg(name, axis->titleText());
        const QString title = QTextDocumentFragment::fromHtml(chart->title()).toPlainText();
        for (const QGraphicsItem* item : chart->scene()->items()) {
            const auto* text = dynamic_cast<const QGraphicsTextItem*>(item);
            if (!text || !text->isVisible()) continue;
            const QString shown = text->toPlainText();
            if (!shown.endsWith("...")) continue;
            // The chart's own title is the heading's business.
            if (shown.size() > 3 && title.startsWith(shown.chopped(3))) continue;
            out << QString("%1: «%2» cut").arg(name, shown);
        }
    }
    return out;
}

void show(QWidget* w) {
    w->show();
    w->move(w->screen()->availableGeometry().topLeft());
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCoreApplication::processEvents();
}

} // namespace

class LayoutTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void everyWindowFitsTheScreen_data();
    void everyWindowFitsTheScreen();
    void qtDialogsSpeakRussian();
    void dataColumnInViewAfterAGeneticRun();

  private:
    QTemporaryDir dir_;
};

void LayoutTest::initTestCase() {
    QVERIFY(relan::gui::setUpApplication(*qApp));
    // The user's font, as ctest sets it for this run.
    const double pt = qEnvironmentVariable("RELAN_TEST_FONT_PT", "9").toDouble();
    QFont f = QApplication::font();
    f.setPointSizeF(pt);
    QApplication::setFont(f);
    QDir::setCurrent(dir_.path());
    relan::gui::setMessageHook(
        [](const QString&, const QString& text) { qWarning("message: %s", qPrintable(text)); });
}

void LayoutTest::everyWindowFitsTheScreen_data() {
    QTest::addColumn<QString>("window");
    for (const char* w : {"main1", "main2", "main3", "results", "nonparam", "expanded", "probability"})
        QTest::newRow(w) << QString(w);
}

void LayoutTest::everyWindowFitsTheScreen() {
    QFETCH(QString, window);
    MainWindow w(nullptr, MainWindow::LinkFile::Ignore);
    QVERIFY(w.loadFailureFile(kSample));
    for (const char* box : {"BoxNewton", "BoxSmirnow", "BoxML"})
        w.findChild<QCheckBox*>(box)->setChecked(true);
    QWidget* shown = &w;
    if (window.startsWith("main")) {
        const QString tab = "TabSheet" + window.mid(4);
        w.findChild<QAbstractButton*>(qPrintable(tab))->click();
    } else if (window == "results") {
        QVERIFY(w.calculate() && w.waitForWork());
        shown = w.resultsWindow();
    } else if (window == "probability") {
        QVERIFY(w.calculate() && w.waitForWork());
        QVERIFY(w.showProbabilityPlot());
        shown = w.probabilityPlotWindow();
    } else if (window == "nonparam") {
        QVERIFY(w.analyseNonParametric() && w.waitForWork());
        shown = w.nonParamWindow();
    } else {
        QVERIFY(w.calculate() && w.waitForWork());
        QVERIFY(w.expand());
        shown = w.expandWindow();
    }
    show(shown);
    const QStringList found = faults(shown) + chartFaults(shown);
    QVERIFY2(found.isEmpty(), qPrintable(found.join("\n")));
}

void LayoutTest::qtDialogsSpeakRussian() {
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), u("Отмена"));
    QCOMPARE(box.button(QDialogButtonBox::Save)->text(), u("Сохранить"));
}

void LayoutTest::dataColumnInViewAfterAGeneticRun() {
    MainWindow w(nullptr, MainWindow::LinkFile::Ignore);
    QVERIFY(w.loadFailureFile(kSample));
    for (const char* box : {"BoxNewton", "BoxSmirnow"})
        w.findChild<QCheckBox*>(box)->setChecked(true);
    QVERIFY(w.calculate() && w.waitForWork());
    w.findChild<QLineEdit*>("Edit3")->setText("60");
    w.findChild<QLineEdit*>("NPokoleny")->setText("5");
    QSignalSpy finished(&w, &MainWindow::geneticRunFinished);
    QVERIFY(w.startGeneticRun());
    QVERIFY(finished.wait(60000));
    relan::gui::ResultsWindow* results = w.resultsWindow();
    show(results);
    // Four models, then the operating data.
    QCOMPARE(results->cellText(0, 4), u("Генетическая"));
    QCOMPARE(results->cellText(0, 5), u("Данные эксплуатации"));
    auto* grid = results->findChild<relan::gui::FrozenColumnsTable*>("Result_Grid");
    const QAbstractItemView* view = grid->viewShowing(5);
    QVERIFY(view != grid);
    const QRect cell = view->visualRect(grid->model()->index(3, 5));
    const QRect onScreen(view->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    QVERIFY(cell.width() > 0);
    QVERIFY2(view->viewport()->rect().contains(cell), "the data column is cut");
    QVERIFY(results->screen()->availableGeometry().contains(onScreen));
    // The sample's fleet never reaches half its failures: no median of 0 h.
    QVERIFY(grid->item(3, 5)->text().contains(u("— (набл.)/— (ценз.)")));
    // And the row titles.
    QVERIFY(grid->viewShowing(0) != grid);
}

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
