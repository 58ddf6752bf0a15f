#include "expand_window.hpp"
#include "file_dialogs.hpp"
#include "flow_chart.hpp"
#include "frozen_table.hpp"
#include "main_window.hpp"
#include "messages.hpp"
#include "nonparam_window.hpp"
#include "printing.hpp"
#include "probability_plot_window.hpp"
#include "results_window.hpp"

#include "../csv_reader.hpp"

#include "relan/analysis_report.hpp"
#include "relan/error.hpp"
#include "relan/fits.hpp"
#include "relan/likelihood.hpp"
#include "relan/numtext.hpp"
#include "relan/text1251.hpp"

#include "fleet_file.hpp"

#include <QAbstractButton>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QTimer>
#include <QXYSeries>

#include <QtTest>
#include <filesystem>

using relan::gui::FlowChart;
using relan::gui::MainWindow;
using relan::gui::ResultsWindow;

namespace {

const QString kSample = RELAN_SAMPLES_DIR "/mtz82_2018.rel";
const QString kSmall = RELAN_TEST_DATA_DIR "/small.rel";

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// Message boxes are taken here instead of blocking the test.
struct Messages {
    QStringList texts, captions;
    Messages() {
        relan::gui::setMessageHook([this](const QString& caption, const QString& text) {
            captions << caption;
            texts << text;
        });
    }
    ~Messages() { relan::gui::setMessageHook({}); }
};

template <class T> T* child(QObject* w, const char* name) {
    T* c = w->findChild<T*>(name);
    if (!c) qFatal("no control %s", name);
    return c;
}

QString text(QObject* w, const char* name) {
    return child<QLineEdit>(w, name)->text();
}

// The calculation and the non-parametric analysis go on in a worker thread;
// true once their results are applied.
bool calculated(MainWindow& w) {
    return w.calculate() && w.waitForWork();
}
bool analysed(MainWindow& w) {
    return w.analyseNonParametric() && w.waitForWork();
}

// A coefficient this close to 1 gives the spiral descent 9 million passes:
// seconds of work to watch, stop or close the window on.
constexpr double kSlowKdiv = 1.000001;

// The state a calculation writes, as a stopped or refused one must leave it.
QStringList modelSnapshot(const relan::Analysis& s) {
    QStringList out;
    auto add = [&](std::initializer_list<double> values) {
        for (double v : values)
            out << QString::number(v, 'g', 17);
    };
    // The models of a calculation; the genetic one is the genetic run's.
    for (const relan::ModelDescriptor& d : relan::modelRegistry()) {
        const relan::Mod_Weib& m = s.models[d.id];
        if (d.id != relan::ModelId::Genetic) add({double(m.Executed), m.A, m.B, m.K_powtor, m.Sred});
    }
    add({s.Sred, s.SKO, s.tGar, double(s.Sred_Opt), double(s.Hist_Arr.size())});
    for (double v : s.Mas_Out_Like)
        add({v});
    return out;
}

// Everything a refused action must leave as it was.
QStringList snapshot(MainWindow& w) {
    QStringList s;
    for (const char* n : {"FilePath", "meSred", "meSKO", "meKolAll", "meKolOtk", "LabeledEdit2", "Edit1",
                          "Edit2", "NPokoleny", "Edit4", "MaskEdit1", "MaskEditSrednee", "MaskEditSKO"})
        s << text(&w, n);
    s << child<QLabel>(&w, "Label10")->text() << child<QLabel>(&w, "Label15")->text();
    const QAbstractItemModel* list = child<QTableView>(&w, "Mass_List")->model();
    s << QString::number(list->rowCount());
    for (int c = 0; c < list->columnCount(); ++c)
        s << list->headerData(c, Qt::Horizontal).toString();
    for (int r = 0; r < list->rowCount(); ++r)
        for (int c = 0; c < list->columnCount(); ++c)
            s << list->index(r, c).data().toString();
    s << child<QPlainTextEdit>(&w, "Memo2")->toPlainText();
    return s;
}

QJsonObject cliAnalyze(const QStringList& args) {
    QProcess p;
    p.start(RELAN_CLI_PATH, QStringList{"analyze"} + args + QStringList{"--no-timing"});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        qFatal("relan-cli failed: %s", p.readAllStandardError().constData());
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

bool hasManyColours(const QImage& img) {
    QSet<QRgb> seen;
    for (int y = 0; y < img.height(); y += 7)
        for (int x = 0; x < img.width(); x += 7) {
            seen.insert(img.pixel(x, y));
            if (seen.size() > 8) return true;
        }
    return false;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void startsWithTheDesignedDefaults();
    void nextStartOffersTheFileLoadedLast();
    void loadFillsFieldsAndGrid();
    void failureListOfALargeFleetShowsEveryRow();
    void warrantyLoadFillsItsPanelAndTheCensoringFields();
    void refusedLoadsLeaveTheWindowAsItWas();
    void fileDialogsStartAtTheLastFileOfTheirKind();
    void printoutsAreNamedAfterTheData();
    void calculationFillsTheTableAsTheCommandLineDoes();
    void refillingWithFewerCausesLeavesNothingBehind();
    void refusedCalculationNamesTheFieldAndKeepsTheResults();
    void exportWritesTheMemoInCp1251WithCrLf();
    void exportToAnUncreatableFileWritesNothing();
    void savesNeverReplaceALoadedFile();
    void resultsWindowPrintsToPdfAndChartsSaveAsPng();
    void picturesAndPdfFilesAreWrittenAsEveryFile();
    void nonParametricShowsTheHalfFleetTime();
    void nonParametricTwiceKeepsOneBarSeriesPerCause();
    void nonParametricWithoutDataGivesAMessage();
    void expandShowsAllCausesAndTheMedianLine();
    void commandLineRendersEachWindowAndTheNonParametricTexts();
    void geneticRunEndsWithTheGeneticColumn();
    void likelihoodModelHasItsColumnCurvesAndProbabilityPlot();
    void geneticRunStopsWhenTheWindowGoes();
    void geneticRunFollowsASliderTheUserMoves();
    void stopButtonEndsTheRunAndSaysWhere();
    void geneticRunRefusesABadPopulationField();
    void hostileFilesChangeNothing();
    void calculationWithoutDataSaysSo();
    void enterInThePathFieldLoadsTheTypedFile();
    void computationsRefuseAPathOtherThanTheLoadedFile();
    void anotherFileAfterAGeneticRunCalculates();
    void modelOnASearchLimitIsMarkedInTheTable();
    void calculationLeavesTheWindowResponsive();
    void stoppedCalculationChangesNothing();
    void closingDuringACalculationStopsItsFit();
    void fitFailingInTheWorkerShowsItsMessageAndKeepsTheResults();
    void reportIsWrittenFromTheResultsWindow();
    void tablesAreSavedForASpreadsheet();
    void loadedCensoringLawReachesTheCalculationWhole();
    void resultTablesTakeNoTyping();
    void printedTableIsSplitIntoPagesThatHoldEveryCell();
    void printoutHoldsEveryColumnAndRowAndTheCharts();
    void saveDialogsStartInTheFolderOfTheirKindOrOfTheData();
    void closingDuringAGeneticRunAsksFirst();
    void logWrapsLongLines();

  private:
    QTemporaryDir dir_;
};

void MainWindowTest::init() {
    QDir::setCurrent(dir_.path());
    QFile::remove(dir_.filePath("linkRel.txt"));
}

void MainWindowTest::startsWithTheDesignedDefaults() {
    MainWindow w;
    QCOMPARE(w.objectName(), QString("Form1"));
    QCOMPARE(w.windowTitle(), u("Анализ надежности в эксплуатации.  v.4.1"));
    // Resizable; how it fits the screen is the layout test's business.
    QVERIFY(w.minimumSize() != w.maximumSize());
    QCOMPARE(text(&w, "FilePath"), QDir::homePath());
    QCOMPARE(child<QPlainTextEdit>(&w, "Memo2")->toPlainText(), u("Ход решения"));
    QCOMPARE(child<QStackedWidget>(&w, "PageControlPages")->currentIndex(), 0);
    QVERIFY(child<QAbstractButton>(&w, "TabSheet1")->isChecked());
    QVERIFY(child<QCheckBox>(&w, "SpirSpusk")->isChecked());
    QVERIFY(!child<QCheckBox>(&w, "BoxNewton")->isChecked());
    QVERIFY(!child<QCheckBox>(&w, "BoxSmirnow")->isChecked());
    QVERIFY(!child<QCheckBox>(&w, "Sred_flag")->isChecked());
    QVERIFY(!child<QCheckBox>(&w, "SKO_Flag")->isChecked());
    QVERIFY(child<QRadioButton>(&w, "RadioGroup1Item1")->isChecked());
    QCOMPARE(child<QRadioButton>(&w, "RadioGroup1Item1")->text(), u("Спец 1"));
    const struct {
        const char* name;
        const char* value;
    } fields[] = {{"Edit1", "1.00025"}, {"Edit6", "1.00025"},  {"Edit5", "1.0005"},    {"Edit2", "0.0000001"},
                  {"Edit3", "3000"},    {"NPokoleny", "1500"}, {"LabeledEdit1", "50"}, {"meSred", ""},
                  {"meSKO", ""},        {"LabeledEdit2", ""}};
    for (const auto& f : fields)
        QCOMPARE(text(&w, f.name), u(f.value));
    QCOMPARE(child<QSlider>(&w, "TrackBar1")->value(), 55);
    QCOMPARE(child<QSlider>(&w, "TrackBar2")->value(), 15);
    QCOMPARE(child<QLabel>(&w, "meSredLabel")->text(), u(" Среднее время гарантии"));
    QCOMPARE(child<QLabel>(&w, "LabeledEdit2Label")->text(), u(" Период учета отказов на 1 изделие, ч"));
    QCOMPARE(child<QAbstractButton>(&w, "bbRaschet")->text(), u("Расчет"));
    QCOMPARE(child<QAbstractButton>(&w, "SpirSpusk")->text(),
             u("Модель 1.1 по Пирсону, метод спирального спуска "));
    // The secondary windows exist from the start, hidden.
    for (const char* name : {"Form2", "Form3", "ExpandForm"}) {
        auto* f = w.findChild<QWidget*>(name);
        QVERIFY2(f, name);
        QVERIFY(!f->isVisible());
    }
}

void MainWindowTest::nextStartOffersTheFileLoadedLast() {
    {
        MainWindow w;
        QVERIFY(w.loadFailureFile(kSample));
    }
    MainWindow again;
    QCOMPARE(text(&again, "FilePath"), kSample);
}

void MainWindowTest::loadFillsFieldsAndGrid() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(child<QLabel>(&w, "Label10")->text().startsWith(u("Трактор")));
    QCOMPARE(text(&w, "FilePath"), kSample);
    QCOMPARE(text(&w, "meKolAll"), QString::number(w.state().Kol_Izd_All));
    QCOMPARE(text(&w, "meKolOtk"), QString::number(w.state().KolOtk));
    QVERIFY(!text(&w, "meSred").isEmpty());
    QCOMPARE(text(&w, "LabeledEdit2"), text(&w, "meSred"));
    const QAbstractItemModel* list = child<QTableView>(&w, "Mass_List")->model();
    QCOMPARE(list->rowCount(), w.state().Kol_izw);
    QCOMPARE(list->index(0, 0).data().toString(), QString("1"));
    QCOMPARE(list->headerData(0, Qt::Horizontal).toString(), u(" № отказа"));
}

void MainWindowTest::failureListOfALargeFleetShowsEveryRow() {
    QFile f(dir_.filePath("fleet100k.rel"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    const std::string bytes = relan::sim::fleetFile({100000, 2, 20181});
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    f.close();
    MainWindow w(nullptr, MainWindow::LinkFile::Ignore, relan::NumberFormat{','});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.loadFailureFile(f.fileName()));
    auto* view = child<QTableView>(&w, "Mass_List");
    const QAbstractItemModel* list = view->model();
    QCOMPARE(list->rowCount(), 100000);
    // Rows as the list gave them when it held the texts of every row: the
    // first, the one where 10% of the fleet had failed, a middle and the last.
    const struct {
        int row;
        const char* texts[4];
    } rows[] = {
        {0, {"1", "0,06", "Коробка передач", "замена подшипника"}},
        {27263, {"27264", "422,24", "Тормоз, отказов 10% от парка", "регулировка"}},
        {49999, {"50000", "787,66", "Двигатель", "замена ТНВД"}},
        {99999, {"100000", "3657,98", "Электрооборудование", "ремонт"}},
    };
    for (const auto& r : rows)
        for (int c = 0; c < 4; ++c)
            QCOMPARE(list->index(r.row, c).data().toString(), u(r.texts[c]));
    QCOMPARE(list->index(100000, 0).data(), QVariant());
    // Scrolled to the end, the view shows the last failure.
    view->scrollToBottom();
    QCoreApplication::processEvents();
    QCOMPARE(view->rowAt(view->viewport()->height() - 2), 99999);
}

void MainWindowTest::warrantyLoadFillsItsPanelAndTheCensoringFields() {
    MainWindow w;
    QVERIFY(w.loadWarrantyFile(RELAN_SAMPLES_DIR "/gar2018.txt"));
    QCOMPARE(text(&w, "Edit4"), QString(RELAN_SAMPLES_DIR "/gar2018.txt"));
    QVERIFY(!text(&w, "MaskEdit1").isEmpty());
    QVERIFY(!text(&w, "MaskEditSrednee").isEmpty());
    QVERIFY(!text(&w, "meSred").isEmpty());
    QVERIFY(!child<QLabel>(&w, "Label15")->text().isEmpty());
}

void MainWindowTest::fileDialogsStartAtTheLastFileOfTheirKind() {
    using Kind = MainWindow::FileKind;
    MainWindow w;
    QCOMPARE(w.dialogStart(Kind::WarrantyTerms), QDir::homePath());
    QVERIFY(w.loadFailureFile(kSmall));
    const QString dataFolder = QFileInfo(kSmall).absolutePath();
    QCOMPARE(w.dialogStart(Kind::FailureData), QFileInfo(kSmall).absoluteFilePath());
    // The data's folder, no data file offered as warranty terms or as a log.
    QCOMPARE(w.dialogStart(Kind::WarrantyTerms), dataFolder);
    QCOMPARE(w.dialogStart(Kind::Log), dataFolder);
    // A warranty file from another folder is where its dialog goes back to;
    // the data dialog stays with the data.
    const QString gar = RELAN_SAMPLES_DIR "/gar2018.txt";
    QVERIFY(w.loadWarrantyFile(gar));
    QCOMPARE(w.dialogStart(Kind::WarrantyTerms), gar);
    QCOMPARE(w.dialogStart(Kind::FailureData), QFileInfo(kSmall).absoluteFilePath());
}

void MainWindowTest::printoutsAreNamedAfterTheData() {
    using relan::gui::pdfFileName;
    using relan::gui::printName;
    QCOMPARE(printName(u("  Трактор МТЗ-82,\tпарк  "), u("результаты")),
             u("Трактор МТЗ-82, парк - результаты"));
    QCOMPARE(printName({}, u("результаты")), u("результаты"));
    const struct {
        const char* name;
        const char* file;
    } cases[] = {
        {"Трактор МТЗ-82 - результаты", "Трактор МТЗ-82 - результаты.pdf"},
        {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j.pdf"},
        {"../../etc/passwd", "_.._etc_passwd.pdf"},
        {"-rf", "rf.pdf"},
        {"...", "relan.pdf"},
        {"", "relan.pdf"},
    };
    for (const auto& c : cases)
        QCOMPARE(pdfFileName(u(c.name)), u(c.file));
    QCOMPARE(pdfFileName(QString(300, QChar(u'ж'))).size(), 124);
    QCOMPARE(pdfFileName(u("a\x01"
                           "b")),
             u("a_b.pdf"));
}

void MainWindowTest::refusedLoadsLeaveTheWindowAsItWas() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    const QStringList before = snapshot(w);
    const int kol = w.state().Kol_izw;

    QFile bad(dir_.filePath("bad.rel"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("x\r\n100\r\n50\r\n10\r\n3\r\n0\r\n12\t\r\nnot a time\t\r\n");
    bad.close();
    Messages m;
    QVERIFY(!w.loadFailureFile(bad.fileName()));
    QVERIFY(!w.loadFailureFile(dir_.filePath("missing.rel")));
    QVERIFY(!w.loadWarrantyFile(dir_.filePath("gar_missing.txt")));
    QCOMPARE(m.texts.size(), 3);
    QVERIFY2(m.texts[0].contains("bad.rel"), qPrintable(m.texts[0]));
    QVERIFY2(m.texts[1].contains(u("Указанный файл не существует")), qPrintable(m.texts[1]));
    QCOMPARE(snapshot(w), before);
    QCOMPARE(w.state().Kol_izw, kol);
    // The data loaded before are still usable.
    QVERIFY(calculated(w));
    QVERIFY(m.texts.size() == 3);
}

void MainWindowTest::calculationFillsTheTableAsTheCommandLineDoes() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    child<QCheckBox>(&w, "BoxNewton")->setChecked(true);
    Messages m;
    QVERIFY(calculated(w));
    QVERIFY(m.texts.isEmpty());
    ResultsWindow* f2 = w.resultsWindow();
    QVERIFY(f2->isVisible());

    const QJsonObject cli = cliAnalyze({kSample, "--models", "spiral,newton"});
    const QJsonArray table = cli["table"].toArray();
    QCOMPARE(table.size(), 12);
    // On the sample Newton's fit ends on the lower limit of A; the command
    // line says so beside the model, the window marks the model's title.
    const QJsonArray atLimit = cli["models"].toArray()[1].toObject()["at_limit"].toArray();
    QCOMPARE(atLimit.size(), 1);
    for (int r = 0; r < 12; ++r) {
        const QJsonArray row = table[r].toArray();
        for (int c = 0; c < 6; ++c)
            QCOMPARE(f2->cellText(r, c),
                     row[c].toString().trimmed() + (r == 0 && c == 1 ? u(" ⚠") : QString()));
    }
    QCOMPARE(f2->cellText(0, 1), u("Пирсона/Ньютона ⚠"));
    // The memo got the fits' lines; the padding fills the column.
    QVERIFY(child<QPlainTextEdit>(&w, "Memo2")->toPlainText().count('\n') >= 2);
    auto* grid = child<QTableWidget>(f2, "Result_Grid");
    const QString tip = grid->item(0, 1)->toolTip();
    QVERIFY2(tip.startsWith(u("A = 0")) && tip.endsWith(u(": нижняя граница поиска модели 1.2")),
             qPrintable(tip));
    QVERIFY(grid->item(0, 2)->toolTip().isEmpty());
    // At least the designed width; more where this font needs it.
    QVERIFY(grid->columnWidth(1) >= 134);
    const QFontMetrics fm(grid->font());
    for (int r = 1; r < 12; ++r)
        QVERIFY2(fm.horizontalAdvance(grid->item(r, 1)->text().trimmed()) < grid->columnWidth(1) - 8,
                 qPrintable(grid->item(r, 1)->text()));
    const QString padded = grid->item(2, 1)->text();
    QVERIFY(padded.startsWith(' ') && padded.endsWith(' '));
    QVERIFY(fm.horizontalAdvance(padded) >= grid->columnWidth(1) - 7);
    QVERIFY(fm.horizontalAdvance(padded.chopped(1)) < grid->columnWidth(1) - 7);
    // Row 10's continuation is shown as it is, not padded.
    QCOMPARE(grid->item(10, 1)->text(), u("20%...100% гаран.срока"));
    QCOMPARE(child<QLabel>(f2, "Label10")->text(),
             QString::fromStdString(cli["input"].toObject()["Comment"].toString().toStdString()) + " (" +
                 QString::number(w.state().Kol_Izd_All) + u(" шт.)"));
}

void MainWindowTest::refillingWithFewerCausesLeavesNothingBehind() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(calculated(w));
    auto* chart1 = child<FlowChart>(w.resultsWindow(), "Chart1");
    auto* chart3 = child<FlowChart>(w.resultsWindow(), "Chart3");
    int causes = 0;
    for (int c = 1; c <= 10; ++c)
        causes += w.state().Sum_PrichRow[c] > 0;
    const int unidentified = w.state().SumNund > 0 ? 1 : 0;
    QCOMPARE(chart1->seriesCount(), 7 + causes + unidentified);
    QCOMPARE(chart3->seriesCount(), 1 + 2 * causes + 2 * unidentified);
    QVERIFY(causes > 2);

    QVERIFY(w.loadFailureFile(kSmall));
    QVERIFY(calculated(w));
    QCOMPARE(w.state().NPrich, 2);
    const QStringList titles = chart3->seriesTitles();
    QCOMPARE(chart3->seriesCount(), 1 + 2 * 2 + (w.state().SumNund > 0 ? 2 : 0));
    const QString cause1 = QString::fromStdString(w.state().Vidy_otkazov[1].Nazv_Prich);
    QCOMPARE(titles[1], cause1);
    QCOMPARE(titles[2], cause1 + u(" с учетом цензурирования"));
    // The drawn chart holds the curves of this filling only: the model, the
    // warranty share and one bar group.
    QCOMPARE(chart1->chart()->series().size(), 3 + 1);
    int causeEntries = 0;
    for (const QString& t : chart1->legendTitles())
        causeEntries += t.contains(u(", всего "));
    QCOMPARE(causeEntries, 2);
}

void MainWindowTest::refusedCalculationNamesTheFieldAndKeepsTheResults() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(calculated(w));
    child<QLineEdit>(&w, "meSred")->setText("12;5");
    const QString memo = child<QPlainTextEdit>(&w, "Memo2")->toPlainText();
    Messages m;
    QVERIFY(!w.calculate());
    QCOMPARE(m.texts.size(), 1);
    QCOMPARE(m.texts[0], u("Поле «Среднее время гарантии»: «12;5» не является числом"));
    // The results of the previous calculation are still shown, unchanged.
    QVERIFY(w.resultsWindow()->isVisible());
    QCOMPARE(w.resultsWindow()->cellText(0, 1), u("Пирсона/спир.спуск"));
    QCOMPARE(child<QPlainTextEdit>(&w, "Memo2")->toPlainText(), memo);
    QCOMPARE(QApplication::overrideCursor(), nullptr);

    // A step coefficient of 1 would never end: refused, naming the field.
    child<QLineEdit>(&w, "meSred")->setText(QString::number(w.state().Sred));
    child<QLineEdit>(&w, "Edit1")->setText("1");
    QVERIFY(!w.calculate());
    QVERIFY2(m.texts.back().startsWith(u("Поле «Коэф-т уменьшения шага модели 1.1»")),
             qPrintable(m.texts.back()));
}

void MainWindowTest::exportWritesTheMemoInCp1251WithCrLf() {
    MainWindow w;
    const QString path = dir_.filePath(u("ход"));
    QVERIFY(w.exportLog(path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().toStdString(), relan::cp1251::fromUtf8("Ход решения") + "\r\n");
    f.close();
    w.appendLog(u("Вторая строка"));
    QVERIFY(w.exportLog(path));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().toStdString(), relan::cp1251::fromUtf8("Ход решения") + "\r\n" +
                                            relan::cp1251::fromUtf8("Вторая строка") + "\r\n");
}

void MainWindowTest::exportToAnUncreatableFileWritesNothing() {
    MainWindow w;
    Messages m;
    const QString path = dir_.filePath("no/such/folder/log.txt");
    QVERIFY(!w.exportLog(path));
    QCOMPARE(m.texts.size(), 1);
    QCOMPARE(m.texts[0], u("Не удалось записать файл «") + path + u("»: папка не существует"));
    QVERIFY(!QFile::exists(path));
}

void MainWindowTest::savesNeverReplaceALoadedFile() {
    QTemporaryDir d;
    const QString data = d.filePath("d.rel"), terms = d.filePath("gar.txt");
    const QString hard = d.filePath("hard.csv"), link = d.filePath("link.txt");
    QVERIFY(QFile::copy(kSmall, data));
    QVERIFY(QFile::copy(RELAN_SAMPLES_DIR "/gar2018.txt", terms));
    std::filesystem::create_hard_link(data.toStdString(), hard.toStdString());
    QVERIFY(QFile::link(terms, link));
    MainWindow w(nullptr, MainWindow::LinkFile::Ignore);
    QVERIFY(w.loadFailureFile(data));
    QVERIFY(w.loadWarrantyFile(terms));
    QVERIFY(calculated(w));
    auto bytes = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray dataBefore = bytes(data), termsBefore = bytes(terms);
    Messages m;
    QVERIFY(!w.saveReport(data));
    QVERIFY(!w.workRunning()); // refused before anything is computed
    QVERIFY(!w.saveFailureListCsv(hard));
    QVERIFY(!w.exportLog(link));
    QVERIFY(!w.resultsWindow()->saveCsv(terms));
    QVERIFY(!child<FlowChart>(w.resultsWindow(), "Chart1")->savePng(data));
    const QString dataReason = u("»: это загруженный файл данных по отказам «") + data + u("»");
    const QString termsReason = u("»: это загруженный файл гарантийных сроков «") + terms + u("»");
    QCOMPARE(m.texts.size(), 4);
    QVERIFY2(m.texts[0].startsWith(u("Не удалось записать файл «") + data + dataReason),
             qPrintable(m.texts[0]));
    QVERIFY2(m.texts[1].startsWith(u("Не удалось записать файл «") + hard + dataReason),
             qPrintable(m.texts[1]));
    QVERIFY2(m.texts[2].startsWith(u("Не удалось записать файл «") + link + termsReason),
             qPrintable(m.texts[2]));
    QVERIFY2(m.texts[3].startsWith(u("Не удалось записать файл «") + terms + termsReason),
             qPrintable(m.texts[3]));
    QCOMPARE(bytes(data), dataBefore);
    QCOMPARE(bytes(terms), termsBefore);
    QCOMPARE(QDir(d.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 4);
}

void MainWindowTest::resultsWindowPrintsToPdfAndChartsSaveAsPng() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(calculated(w));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = dir_.filePath("form2.pdf");
    printer.setOutputFileName(pdf);
    printer.setPageOrientation(QPageLayout::Landscape);
    QVERIFY(relan::gui::printWidget(w.resultsWindow(), printer));
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(4) == "%PDF");
    QVERIFY(f.size() > 10000);

    const QString png = dir_.filePath("chart1.png");
    auto* chart1 = child<FlowChart>(w.resultsWindow(), "Chart1");
    QVERIFY(chart1->savePng(png));
    const QImage img(png);
    QCOMPARE(img.size(), chart1->size());
    QVERIFY(hasManyColours(img));
}

void MainWindowTest::picturesAndPdfFilesAreWrittenAsEveryFile() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSmall));
    QVERIFY(analysed(w));
    FlowChart* chart = w.nonParamWindow()->chart();
    // Through a link: the link stays, the file it leads to gets the picture.
    const QString real = dir_.filePath("real.png"), link = dir_.filePath("link.png");
    QVERIFY(QFile::link(real, link));
    QVERIFY(chart->savePng(link));
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(hasManyColours(QImage(real)));
    // A read-only file keeps its contents.
    const QString readOnly = dir_.filePath("read-only.png");
    QFile ro(readOnly);
    QVERIFY(ro.open(QIODevice::WriteOnly));
    ro.write("old");
    ro.close();
    QVERIFY(ro.setPermissions(QFileDevice::ReadOwner));
    QVERIFY(!chart->savePng(readOnly));
    QVERIFY(ro.open(QIODevice::ReadOnly));
    QCOMPARE(ro.readAll(), QByteArray("old"));
    // A PDF printed to a folder's name is refused, naming the file.
    const QString folder = dir_.filePath("folder.pdf");
    QVERIFY(QDir().mkdir(folder));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(folder);
    try {
        relan::gui::printWidget(w.nonParamWindow(), printer);
        QFAIL("no error");
    } catch (const relan::Error& e) {
        QCOMPARE(QString::fromStdString(e.what()),
                 u("Не удалось записать файл «") + folder + u("»: это папка, а не файл"));
    }
    QVERIFY(QFileInfo(folder).isDir());
}

void MainWindowTest::nonParametricShowsTheHalfFleetTime() {
    // Four failures of five products, the warranty law far away: half the
    // fleet has failed at 300 - 100 * Frac(3 - 2.5) = 250 h.
    QFile f(dir_.filePath("four.rel"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::fromStdString(
        relan::cp1251::fromUtf8("Четыре отказа") +
        "\r\n9000\r\n100\r\n5\r\n4\r\n0\r\n100\tx\r\n200\tx\r\n300\tx\r\n400\tx\r\n"));
    f.close();
    MainWindow w;
    QVERIFY(w.loadFailureFile(f.fileName()));
    Messages m;
    QVERIFY(analysed(w));
    QVERIFY(m.texts.isEmpty());
    QWidget* f3 = w.nonParamWindow();
    QVERIFY(f3->isVisible());
    QCOMPARE(child<QLabel>(f3, "Label2")->text(), u("- без учета цензурирования:  250.0 ч"));
    QCOMPARE(child<QLabel>(f3, "Label3")->text(), u("- с учетом цензурирования:   250.00 ч"));
    QCOMPARE(child<QLabel>(f3, "Label7")->text(), u("Кол-во контролируемых изделий:5 шт."));
    QCOMPARE(child<QLabel>(f3, "Label10")->text(), u("Четыре отказа"));
}

void MainWindowTest::nonParametricTwiceKeepsOneBarSeriesPerCause() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(analysed(w));
    QVERIFY(analysed(w));
    int causes = 0;
    for (int c = 1; c <= 18; ++c)
        causes += w.state().Sum_PrichRow[c] > 0;
    FlowChart* chart = w.nonParamWindow()->chart();
    QCOMPARE(chart->seriesCount(), 4 + causes);
    QCOMPARE(chart->seriesTitles()[4], QString::fromStdString(w.state().Vidy_otkazov[1].Nazv_Prich));
    const QString png = dir_.filePath("form3.png");
    QVERIFY(chart->savePng(png));
    QVERIFY(hasManyColours(QImage(png)));
}

void MainWindowTest::nonParametricWithoutDataGivesAMessage() {
    MainWindow w;
    Messages m;
    QVERIFY(!w.analyseNonParametric());
    QCOMPARE(m.texts.size(), 1);
    QVERIFY(m.texts[0].contains(u("Нет данных")));
    QVERIFY(!w.nonParamWindow()->isVisible());
}

void MainWindowTest::expandShowsAllCausesAndTheMedianLine() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(calculated(w));
    QVERIFY(w.expand());
    QWidget* e = w.expandWindow();
    QVERIFY(e->isVisible());
    // 215 documented failures are fewer than half of the reduced fleet.
    QCOMPARE(child<QLabel>(e, "Label2")->text(), u("- данных недостаточно для оценки"));
    QCOMPARE(child<QLabel>(e, "Label3")->text(), QString());
    QVERIFY(child<QLabel>(e, "Label1")
                ->text()
                .endsWith(u(" шт.,") + QString::number(w.state().KolOtk) + u(" отказов)")));
    FlowChart* chart = w.expandWindow()->chart();
    int causes = 0;
    for (int c = 1; c <= 18; ++c)
        causes += w.state().Sum_PrichRow[c] > 0;
    QCOMPARE(chart->seriesCount(), 8 + causes + (w.state().SumNund > 0 ? 1 : 0));
    QCOMPARE(chart->seriesTitles()[7], u("Накопление отказов, % от машин"));
    const QString png = dir_.filePath("expand.png");
    QVERIFY(chart->savePng(png));
    QVERIFY(hasManyColours(QImage(png)));
    // The printout: heading and chart on white, without the Print button.
    QWidget* printed = w.expandWindow()->printedPart();
    QVERIFY(!printed->isAncestorOf(child<QWidget>(e, "Button2")));
    QVERIFY(printed->isAncestorOf(child<QLabel>(e, "Label1")) && printed->isAncestorOf(chart));
    const QImage image = printed->grab().toImage();
    for (const QPoint corner : {QPoint(0, 0), QPoint(image.width() - 1, image.height() - 1)})
        QCOMPARE(image.pixelColor(corner), QColor(Qt::white));
}

void MainWindowTest::commandLineRendersEachWindowAndTheNonParametricTexts() {
    const struct {
        const char* window;
        QSize size;
    } windows[] = {{"results", {1436, 794}}, {"expanded", {1184, 769}}, {"nonparam", {1008, 700}}};
    for (const auto& w : windows) {
        const QString out = dir_.filePath(QString(w.window) + ".png");
        QProcess p;
        p.start(RELAN_CLI_PATH, {"chart", kSample, "--window", w.window, "--out", out});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(p.readAllStandardError().isEmpty(), w.window);
        const QImage img(out);
        QCOMPARE(img.size(), w.size);
        QVERIFY2(hasManyColours(img), w.window);
    }
    QProcess bad;
    bad.start(RELAN_CLI_PATH, {"chart", dir_.filePath("missing.rel"), "--out", dir_.filePath("x.png")});
    QVERIFY(bad.waitForFinished(60000));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY(!QFile::exists(dir_.filePath("x.png")));

    QProcess np;
    np.start(RELAN_CLI_PATH, {"nonparam", kSample});
    QVERIFY(np.waitForFinished(60000));
    QCOMPARE(np.exitCode(), 0);
    const QJsonObject j = QJsonDocument::fromJson(np.readAllStandardOutput()).object();
    MainWindow win;
    QVERIFY(win.loadFailureFile(kSample));
    QVERIFY(analysed(win));
    const QJsonObject labels = j["labels"].toObject();
    for (const char* l : {"Label2", "Label3", "Label5", "Label6", "Label7", "Label8", "Label10"})
        QCOMPARE(labels[l].toString(), child<QLabel>(win.nonParamWindow(), l)->text());
    QCOMPARE(j["points"].toArray().size(), static_cast<int>(win.state().Hist_Arr.size()));
}

void MainWindowTest::likelihoodModelHasItsColumnCurvesAndProbabilityPlot() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    auto* probability = child<QAbstractButton>(w.resultsWindow(), "ButtonProbability");
    QVERIFY(calculated(w));
    QVERIFY(!probability->isEnabled());
    child<QCheckBox>(&w, "BoxML")->setChecked(true);
    QVERIFY(calculated(w));
    // Spiral, then the likelihood model, then the operating data.
    ResultsWindow* r = w.resultsWindow();
    QCOMPARE(r->cellText(0, 2), u("Макс. правдоподобия"));
    QCOMPARE(r->cellText(0, 3), u("Данные эксплуатации"));
    const QRegularExpression withInterval(u("^\\d+\\.\\d{3} \\(\\d+\\.\\d{3}…\\d+\\.\\d{3}\\)$"));
    QVERIFY2(withInterval.match(r->cellText(2, 2)).hasMatch(), qPrintable(r->cellText(2, 2)));
    QVERIFY(w.state().models[relan::ModelId::Likelihood].Executed && w.state().likelihoodFit);
    const QString memo = child<QPlainTextEdit>(&w, "Memo2")->toPlainText();
    QVERIFY2(memo.contains(u("Модель МП: время расчета")), qPrintable(memo));
    QVERIFY(child<FlowChart>(r, "Chart1")->seriesTitles().contains(u("Модель МП с учетом цензурирования")));
    // The same figures as the command line.
    const QJsonObject j = cliAnalyze({kSample, "--models", "spiral,ml"});
    const QJsonArray models = j["models"].toArray();
    const QJsonObject ml = models.last().toObject();
    QCOMPARE(ml["name"].toString(), QString("ml"));
    QCOMPARE(ml["K_powtor"].toDouble(), w.state().models[relan::ModelId::Likelihood].K_powtor);
    QCOMPARE(j["table"].toArray()[2].toArray()[2].toString().trimmed(), r->cellText(2, 2));

    QVERIFY(probability->isEnabled());
    QVERIFY(w.showProbabilityPlot());
    QVERIFY(w.probabilityPlotWindow()->isVisible());
    const QChart* chart = w.probabilityPlotWindow()->view()->chart();
    QCOMPARE(chart->series().size(), 4);
    for (const QAbstractSeries* s : chart->series())
        QVERIFY2(static_cast<const QXYSeries*>(s)->count() > 3, qPrintable(s->name()));
    // With the censoring law searched the sample's warnings are many; the
    // log they go to is exported in Windows-1251 and must lose nothing.
    for (const char* box : {"Sred_flag", "SKO_Flag"})
        child<QCheckBox>(&w, box)->setChecked(true);
    QVERIFY(calculated(w));
    QVERIFY(!w.state().likelihoodFit->warnings.empty());
    const QString log = dir_.filePath("ml-log.txt");
    QVERIFY(w.exportLog(log));
    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString back = QString::fromStdString(relan::cp1251::toUtf8(f.readAll().toStdString()));
    QCOMPARE(back, child<QPlainTextEdit>(&w, "Memo2")->toPlainText().replace('\n', "\r\n") + "\r\n");
}

void MainWindowTest::geneticRunEndsWithTheGeneticColumn() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    child<QLineEdit>(&w, "Edit3")->setText("60");
    child<QLineEdit>(&w, "NPokoleny")->setText("8");
    QSignalSpy finished(&w, &MainWindow::geneticRunFinished);
    Messages m;
    QVERIFY(w.startGeneticRun());
    // While it runs nothing may rebuild the state it reads.
    QVERIFY(!child<QAbstractButton>(&w, "ToolBRunGenOptim")->isEnabled());
    QVERIFY(!child<QLineEdit>(&w, "Edit3")->isEnabled());
    QVERIFY(!child<QAbstractButton>(&w, "bbRaschet")->isEnabled());
    QVERIFY(!child<QAbstractButton>(&w, "OpenFileStart")->isEnabled());
    QVERIFY(!w.calculate());
    QCOMPARE(m.texts.size(), 1);
    m.texts.clear();
    QVERIFY(finished.wait(60000));
    QVERIFY2(m.texts.isEmpty(), qPrintable(m.texts.join("; ")));
    QVERIFY(child<QAbstractButton>(&w, "ToolBRunGenOptim")->isEnabled());
    QVERIFY(child<QAbstractButton>(&w, "bbRaschet")->isEnabled());
    QVERIFY(w.resultsWindow()->isVisible());
    QCOMPARE(w.resultsWindow()->cellText(0, 1), u("Генетическая"));
    QVERIFY(w.state().models[relan::ModelId::Genetic].Executed);
    QCOMPARE(child<QProgressBar>(&w, "ProgressBar2")->value(), 100);
    const QString memo = child<QPlainTextEdit>(&w, "Memo2")->toPlainText();
    QVERIFY2(memo.contains(u(" ЦФ=")), qPrintable(memo));
    // The genetic column stays beside the next calculation's models.
    QVERIFY(calculated(w));
    QCOMPARE(w.resultsWindow()->cellText(0, 2), u("Генетическая"));
}

void MainWindowTest::geneticRunStopsWhenTheWindowGoes() {
    bool eventsProcessed = false;
    {
        MainWindow w;
        QVERIFY(w.loadFailureFile(kSample));
        child<QLineEdit>(&w, "Edit3")->setText("200");
        child<QLineEdit>(&w, "NPokoleny")->setText("1000000");
        child<QCheckBox>(&w, "CheckBoxProm")->setChecked(true); // the run posts to the window all the time
        QVERIFY(w.startGeneticRun());
        QTRY_VERIFY_WITH_TIMEOUT(text(&w, "NPokoleny") != "1000000", 30000);
        QVERIFY(w.geneticRunning());
        // Anything the window's thread got to while the window went would run this.
        QMetaObject::invokeMethod(
            qApp, [&] { eventsProcessed = true; }, Qt::QueuedConnection);
    }
    // The destructor returned without handling a single event: the run never
    // waits for the window, and it took the request within its generation (a
    // million of them would outlast the test's time limit).
    QVERIFY(!eventsProcessed);
    QCoreApplication::processEvents();
    QVERIFY(eventsProcessed);
}

void MainWindowTest::geneticRunFollowsASliderTheUserMoves() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    child<QLineEdit>(&w, "Edit3")->setText("60");
    child<QLineEdit>(&w, "NPokoleny")->setText("1000000");
    auto* slider = child<QSlider>(&w, "TrackBar1");
    QSignalSpy finished(&w, &MainWindow::geneticRunFinished);
    QVERIFY(w.startGeneticRun());
    // Once the schedule has taken the slider (38 at this count of generations),
    // the detailed log counts the crossovers of each generation.
    QTRY_VERIFY_WITH_TIMEOUT(slider->value() != 55, 30000);
    const int scheduled = slider->value();
    auto* memo = child<QPlainTextEdit>(&w, "Memo2");
    const int before = memo->blockCount();
    child<QCheckBox>(&w, "CheckBoxProm")->setChecked(true);
    slider->setValue(90);
    // The run takes the setting for one generation, then moves the slider
    // back to its schedule.
    QTRY_VERIFY_WITH_TIMEOUT(slider->value() != 90, 30000);
    child<QAbstractButton>(&w, "StopBtn")->click();
    QVERIFY(finished.wait(60000));
    // Back on the schedule, which drifts slowly over a million generations.
    QVERIFY2(std::abs(slider->value() - scheduled) <= 2, qPrintable(QString::number(slider->value())));
    // Crossovers per generation: Round(60 * p) with p = 90 / 101 for the
    // user's generation and about 0.38 on the schedule.
    QList<int> perGeneration;
    const QStringList lines = memo->toPlainText().split('\n').mid(before);
    for (const QString& l : lines) {
        if (l.startsWith(u("Создано генов")))
            perGeneration << 0;
        else if (l.startsWith(u("F= ")) && !perGeneration.isEmpty())
            ++perGeneration.back();
    }
    QVERIFY2(perGeneration.contains(53), qPrintable(lines.join('\n')));
    QVERIFY2(perGeneration.count(53) == 1, qPrintable(lines.join('\n')));
}

void MainWindowTest::stopButtonEndsTheRunAndSaysWhere() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    child<QLineEdit>(&w, "Edit3")->setText("60");
    child<QLineEdit>(&w, "NPokoleny")->setText("1000000");
    auto* bar = child<QProgressBar>(&w, "ProgressBar2");
    bar->setValue(100); // as a finished run leaves it
    QSignalSpy finished(&w, &MainWindow::geneticRunFinished);
    Messages m;
    QVERIFY(w.startGeneticRun());
    QCOMPARE(bar->value(), 0);
    // The run clears a stop pressed before its start: "Stop" once it has begun.
    QTRY_VERIFY_WITH_TIMEOUT(text(&w, "NPokoleny") != "1000000", 30000);
    child<QAbstractButton>(&w, "StopBtn")->click();
    QVERIFY(finished.wait(60000));
    QVERIFY2(m.texts.isEmpty(), qPrintable(m.texts.join("; ")));
    const QStringList memo = child<QPlainTextEdit>(&w, "Memo2")->toPlainText().split('\n');
    QVERIFY(memo.size() >= 2);
    static const QRegularExpression stopped(
        u("^Расчет остановлен пользователем на поколении (\\d+) из 1000000$"));
    const QRegularExpressionMatch line = stopped.match(memo[memo.size() - 2]);
    QVERIFY2(line.hasMatch(), qPrintable(memo.join('\n')));
    QVERIFY(line.captured(1).toInt() >= 1);
    QVERIFY(memo.back().startsWith(u("Доверительный 95% интервал модели ")));
    // Well under 1 % of the way is still shown as begun, and nothing resets it.
    QCOMPARE(bar->value(), 1);
    QVERIFY(w.resultsWindow()->isVisible());
    QVERIFY(w.state().models[relan::ModelId::Genetic].Executed);
}

void MainWindowTest::geneticRunRefusesABadPopulationField() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    child<QLineEdit>(&w, "Edit3")->setText("12.5");
    Messages m;
    QVERIFY(!w.startGeneticRun());
    QVERIFY(!w.geneticRunning());
    QCOMPARE(m.texts.size(), 1);
    QVERIFY2(m.texts[0].contains(u("Размер популяции")), qPrintable(m.texts[0]));
    QVERIFY(!w.state().models[relan::ModelId::Genetic].Executed);
    QVERIFY(child<QAbstractButton>(&w, "ToolBRunGenOptim")->isEnabled());
}

void MainWindowTest::hostileFilesChangeNothing() {
    struct Case {
        bool warranty;
        QByteArray bytes;
        QString says;
    };
    const QByteArray header = "К\r\n4380\r\n900\r\n100\r\n10\r\n1\r\nнасос\r\n";
    const std::vector<Case> cases = {
        {false, "", u("пуст")},
        {false, "К\r\n4380\r\n", u("обрывается в заголовке: нет строки 3")},
        {false, "К\r\n-1800\r\n900\r\n100\r\n10\r\n0\r\n1\tа\r\n", u("в строке 2")},
        {false, header + "-5\tнасос\r\n", u("наработка должна быть больше 0 ч")},
        {false, header + QByteArray("1\0\tа\r\n", 6), u("наработка «1\\x00» не является числом")},
        {false, "К\r\n4380\r\n900\r\n100\r\n1\r\n0\r\n1\tа\r\n2\tб\r\n",
         u("меньше числа строк отказов в файле (2)")},
        {false, "\xFF\xFE" + QByteArray("K\0\r", 3), u("UTF-16")},
        {true, "", u("пуст")},
        {true, "К\r\n1000\r\n-20\r\n", u("гарантийный срок не может быть отрицательным")},
        {true, "К\r\n1000\r\n1500,5\r\n", u("десятичный разделитель — «.», а не «,»")},
    };
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(calculated(w));
    QFile link(dir_.filePath("linkRel.txt"));
    QVERIFY(link.open(QIODevice::ReadOnly));
    const QByteArray linkBefore = link.readAll();
    link.close();
    const QStringList before = snapshot(w);
    const QString resultsBefore = w.resultsWindow()->cellText(2, 1);
    const double modelBefore = w.state().models[relan::ModelId::Spiral].A;
    for (const Case& c : cases) {
        const QString path = dir_.filePath(c.warranty ? "gar_bad.txt" : "bad.rel");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.bytes);
        f.close();
        Messages m;
        QVERIFY(!(c.warranty ? w.loadWarrantyFile(path) : w.loadFailureFile(path)));
        QCOMPARE(m.texts.size(), 1);
        QVERIFY2(m.texts[0].contains(c.says), qPrintable(m.texts[0]));
        QVERIFY2(m.texts[0].contains(path), qPrintable(m.texts[0]));
        QCOMPARE(snapshot(w), before);
        QVERIFY(link.open(QIODevice::ReadOnly));
        QCOMPARE(link.readAll(), linkBefore);
        link.close();
        QVERIFY(w.resultsWindow()->isVisible());
        QCOMPARE(w.resultsWindow()->cellText(2, 1), resultsBefore);
        QCOMPARE(w.state().models[relan::ModelId::Spiral].A, modelBefore);
    }
}

void MainWindowTest::calculationWithoutDataSaysSo() {
    MainWindow w;
    Messages m;
    QVERIFY(!w.calculate());
    QCOMPARE(m.texts,
             QStringList{u("Нет данных об отказах: сначала загрузите файл исходных данных (кнопка «Путь»)")});
    QVERIFY(!w.resultsWindow()->isVisible());
}

void MainWindowTest::enterInThePathFieldLoadsTheTypedFile() {
    MainWindow w;
    auto* path = child<QLineEdit>(&w, "FilePath");
    path->setText(kSmall);
    QTest::keyClick(path, Qt::Key_Return);
    QCOMPARE(w.state().NPrich, 2);
    QCOMPARE(text(&w, "meKolAll"), QString::number(w.state().Kol_Izd_All));
    QVERIFY(calculated(w));
}

void MainWindowTest::computationsRefuseAPathOtherThanTheLoadedFile() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(calculated(w));
    auto* path = child<QLineEdit>(&w, "FilePath");
    path->setText(kSmall); // typed, but not loaded
    Messages m;
    QVERIFY(!w.calculate());
    QVERIFY(!w.analyseNonParametric());
    QVERIFY(!w.startGeneticRun());
    QCOMPARE(m.texts.size(), 3);
    for (const QString& t : m.texts)
        QVERIFY2(t.contains(kSmall) && t.contains(kSample), qPrintable(t));
    QCOMPARE(w.state().NPrich, 5);
    // The same file written differently is the same file.
    path->setText(QFileInfo(kSample).absolutePath() + "/./" + QFileInfo(kSample).fileName());
    QVERIFY(calculated(w));
    QCOMPARE(m.texts.size(), 3);
}

void MainWindowTest::anotherFileAfterAGeneticRunCalculates() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    child<QLineEdit>(&w, "Edit3")->setText("60");
    child<QLineEdit>(&w, "NPokoleny")->setText("5");
    QSignalSpy finished(&w, &MainWindow::geneticRunFinished);
    QVERIFY(w.startGeneticRun());
    QVERIFY(finished.wait(60000));
    QVERIFY(w.state().models[relan::ModelId::Genetic].Executed);
    // The genetic model belongs to the data it was fitted to.
    QVERIFY(w.loadFailureFile(kSmall));
    QVERIFY(!w.state().models[relan::ModelId::Genetic].Executed);
    Messages m;
    QVERIFY(calculated(w));
    QVERIFY2(m.texts.isEmpty(), qPrintable(m.texts.join("; ")));
    for (int c = 0; c < 6; ++c)
        QVERIFY(w.resultsWindow()->cellText(0, c) != u("Генетическая"));
}

void MainWindowTest::modelOnASearchLimitIsMarkedInTheTable() {
    relan::DiagramsResult r;
    relan::ResultTable& t = r.table;
    t.widths.fill(-1);
    t.cells[0][1] = "Пирсона/Ньютона";
    t.cells[1][1] = "1000,00, / 0,50000";
    t.padded[1][1] = true;
    t.cells[0][2] = "Данные эксплуатации";
    t.dataColumn = 2;
    t.notes[1] = "A = 0,001: нижняя граница поиска модели 1.2";
    ResultsWindow f2;
    f2.fill(r);
    auto* grid = child<QTableWidget>(&f2, "Result_Grid");
    QCOMPARE(f2.cellText(0, 1), u("Пирсона/Ньютона ⚠"));
    QCOMPARE(f2.cellText(1, 1), u("1000,00, / 0,50000"));
    for (int row = 0; row < relan::kTableRows; ++row)
        QCOMPARE(grid->item(row, 1)->toolTip(), u("A = 0,001: нижняя граница поиска модели 1.2"));
    QCOMPARE(f2.cellText(0, 2), u("Данные эксплуатации"));
    QVERIFY(grid->item(0, 2)->toolTip().isEmpty());
    // The next filling with the model inside its range takes the mark away.
    t.notes[1].clear();
    f2.fill(r);
    QCOMPARE(f2.cellText(0, 1), u("Пирсона/Ньютона"));
    QVERIFY(grid->item(0, 1)->toolTip().isEmpty());
    QVERIFY(grid->item(1, 1)->toolTip().isEmpty());
}

void MainWindowTest::calculationLeavesTheWindowResponsive() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    child<QLineEdit>(&w, "Edit1")->setText(QString::number(kSlowKdiv, 'g', 10));
    auto* bar = child<QProgressBar>(&w, "CalcProgress");
    QVERIFY(bar->isHidden());
    bool timerSawTheRun = false;
    Messages m;
    QVERIFY(w.calculate());
    QVERIFY(w.workRunning());
    QTimer::singleShot(10, [&] { timerSawTheRun = w.workRunning(); });
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 10000);
    QVERIFY(w.workRunning());
    QVERIFY(timerSawTheRun);
    QVERIFY(!bar->isHidden());
    const long long passes = relan::fitPasses(relan::FitKind::Spiral, false, false, kSlowKdiv);
    QCOMPARE(bar->maximum(), static_cast<int>(passes));
    static const QRegularExpression label(u("^Модель 1\\.1: проход (\\d+) из (\\d+)$"));
    const QRegularExpressionMatch match = label.match(child<QLabel>(&w, "CalcProgressLabel")->text());
    QVERIFY2(match.hasMatch(), qPrintable(child<QLabel>(&w, "CalcProgressLabel")->text()));
    QCOMPARE(match.captured(2).toLongLong(), passes);
    // Nothing that would change its data can start meanwhile.
    for (const char* name :
         {"bbRaschet", "OpenFileStart", "SpeedButton1", "ToolBRunGenOptim", "Button1", "SpirSpusk"})
        QVERIFY2(!child<QWidget>(&w, name)->isEnabled(), name);
    for (const char* name : {"FilePath", "meSred", "meSKO", "LabeledEdit2", "Edit1", "Edit6", "Edit5"})
        QVERIFY2(!child<QWidget>(&w, name)->isEnabled(), name);
    QVERIFY(!w.analyseNonParametric());
    QVERIFY(!w.expand());
    QCOMPARE(m.texts.size(), 2);
    QVERIFY2(m.texts[0].contains(u("«Стоп»")), qPrintable(m.texts[0]));
    child<QAbstractButton>(&w, "bbStop")->click();
    QVERIFY(!w.waitForWork());
    QVERIFY(child<QWidget>(&w, "bbRaschet")->isEnabled());
    QVERIFY(child<QWidget>(&w, "Edit1")->isEnabled());
    QVERIFY(bar->isHidden());
}

void MainWindowTest::stoppedCalculationChangesNothing() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(calculated(w));
    const QString cell = w.resultsWindow()->cellText(2, 1);
    const QStringList model = modelSnapshot(w.state());
    child<QLineEdit>(&w, "Edit1")->setText(QString::number(kSlowKdiv, 'g', 10));
    // The fit would replace the censoring mean of the state on its way.
    child<QCheckBox>(&w, "Sred_flag")->setChecked(true);
    child<QCheckBox>(&w, "BoxNewton")->setChecked(true);
    const QStringList fields = snapshot(w);
    QSignalSpy finished(&w, &MainWindow::workFinished);
    Messages m;
    QVERIFY(w.calculate());
    QTRY_VERIFY_WITH_TIMEOUT(child<QProgressBar>(&w, "CalcProgress")->value() > 0, 10000);
    child<QAbstractButton>(&w, "bbStop")->click();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toBool(), false);
    QVERIFY2(m.texts.isEmpty(), qPrintable(m.texts.join("; ")));
    QCOMPARE(modelSnapshot(w.state()), model);
    // The log says where it stopped; everything else is as it was.
    QStringList after = snapshot(w);
    QStringList expected = fields;
    const QString memo = after.takeLast(), memoBefore = expected.takeLast();
    QCOMPARE(after, expected);
    QVERIFY2(memo.startsWith(memoBefore + u("\nРасчет остановлен пользователем (Модель 1.1: проход ")),
             qPrintable(memo));
    QCOMPARE(memo.count('\n'), memoBefore.count('\n') + 1);
    QVERIFY(w.resultsWindow()->isVisible());
    QCOMPARE(w.resultsWindow()->cellText(2, 1), cell);
    QVERIFY(child<QCheckBox>(&w, "Sred_flag")->isChecked());
}

void MainWindowTest::closingDuringACalculationStopsItsFit() {
    MainWindow w;
    w.show();
    QVERIFY(w.loadFailureFile(kSample));
    child<QLineEdit>(&w, "Edit1")->setText(QString::number(kSlowKdiv, 'g', 10));
    child<QCheckBox>(&w, "BoxML")->setChecked(true);
    const QString memo = child<QPlainTextEdit>(&w, "Memo2")->toPlainText();
    QSignalSpy finished(&w, &MainWindow::workFinished);
    QVERIFY(w.calculate());
    auto* bar = child<QProgressBar>(&w, "CalcProgress");
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 10000);
    // The pace of the fit on this machine, as loaded as it is now.
    QElapsedTimer t;
    t.start();
    const int first = bar->value();
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() > first, 10000);
    const double passesPerMs = double(bar->value() - first) / double(std::max<qint64>(1, t.elapsed()));
    const double leftMs = double(bar->maximum() - bar->value()) / passesPerMs;
    QVERIFY2(leftMs > 1000, qPrintable(QString::number(leftMs) + " ms left"));
    t.restart();
    QVERIFY(w.close());
    const qint64 ms = t.elapsed();
    // A close that waited for the fit would take as long as the passes left
    // at that pace; one that stops it takes a step of its search. Half the
    // time left is a deadline no loaded machine misses for a stop.
    QVERIFY2(ms < leftMs / 2, qPrintable(QString::number(ms) + " ms of " + QString::number(leftMs)));
    QVERIFY(!w.workRunning());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toBool(), false);
    // The end the worker had posted applies nothing.
    QTest::qWait(200);
    QVERIFY(!w.resultsWindow()->isVisible());
    QVERIFY(!w.state().models[relan::ModelId::Spiral].Executed &&
            !w.state().models[relan::ModelId::Likelihood].Executed);
    QCOMPARE(child<QPlainTextEdit>(&w, "Memo2")->toPlainText(), memo);
}

void MainWindowTest::fitFailingInTheWorkerShowsItsMessageAndKeepsTheResults() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    QVERIFY(calculated(w));
    const QString cell = w.resultsWindow()->cellText(2, 1);
    const QStringList model = modelSnapshot(w.state());
    const QString memo = child<QPlainTextEdit>(&w, "Memo2")->toPlainText();
    // Numbers the fields accept, a law the fit refuses: every warranty ends
    // within hours.
    child<QLineEdit>(&w, "meSred")->setText("1");
    child<QLineEdit>(&w, "meSKO")->setText("1");
    Messages m;
    QVERIFY(w.calculate());
    QVERIFY(!w.waitForWork());
    QCOMPARE(m.texts.size(), 1);
    QVERIFY2(
        m.texts[0].startsWith(u("Модель 1.1 (по Пирсону, метод спирального спуска) не может быть подобрана")),
        qPrintable(m.texts[0]));
    QVERIFY(w.resultsWindow()->isVisible());
    QCOMPARE(w.resultsWindow()->cellText(2, 1), cell);
    QCOMPARE(modelSnapshot(w.state()), model);
    QCOMPARE(child<QPlainTextEdit>(&w, "Memo2")->toPlainText(), memo);
}

void MainWindowTest::reportIsWrittenFromTheResultsWindow() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    const QString pdf = dir_.filePath("report.pdf");
    {
        // Before a calculation there is nothing to report, and no file.
        Messages m;
        QVERIFY(!w.saveReport(pdf));
        QVERIFY(w.analyseNonParametric() && w.waitForWork());
        QVERIFY(!w.saveReport(pdf));
        QVERIFY(!w.workRunning());
        QCOMPARE(m.texts, (QStringList{u(relan::kNoReportResults), u(relan::kNoReportResults)}));
        QVERIFY(!QFileInfo::exists(pdf));
    }
    child<QCheckBox>(&w, "BoxML")->setChecked(true);
    QVERIFY(calculated(w));
    QVERIFY(child<QAbstractButton>(w.resultsWindow(), "ButtonReport")->isEnabled());
    const QStringList model = modelSnapshot(w.state());
    QVERIFY(w.saveReport(pdf));
    QVERIFY(w.workRunning()); // the report is made off the window's thread
    QVERIFY(w.waitForWork());
    QCOMPARE(modelSnapshot(w.state()), model);
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(5) == "%PDF-");
    f.close();
    QProcess text;
    text.start("pdftotext", {"-raw", pdf, "-"});
    QVERIFY(text.waitForFinished(30000));
    const QString t = QString::fromUtf8(text.readAllStandardOutput());
    for (const char* heading :
         {relan::kReportSectionResults, relan::kReportSectionLikelihood, relan::kReportSectionLog})
        QVERIFY2(t.contains(u(heading)), heading);
    QVERIFY(t.contains(u("mtz82_2018.rel")));
    QVERIFY(t.contains(u("Модель МП: время расчета"))); // the window's log
    // A file that cannot be written is refused before any work starts.
    Messages m;
    QVERIFY(!w.saveReport(dir_.filePath("missing/report.pdf")));
    QVERIFY(!w.workRunning());
    QCOMPARE(m.texts.size(), 1);
    QVERIFY2(m.texts[0].endsWith(u("папка не существует")), qPrintable(m.texts[0]));
}

void MainWindowTest::tablesAreSavedForASpreadsheet() {
    MainWindow w(nullptr, MainWindow::LinkFile::Ignore, relan::NumberFormat{','});
    QVERIFY(w.loadFailureFile(kSample));
    child<QCheckBox>(&w, "BoxNewton")->setChecked(true);
    QVERIFY(calculated(w));
    auto read = [](const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) qFatal("no file %s", qPrintable(path));
        return relan::test::readCsv(f.readAll().toStdString());
    };
    // The results table as the window shows it.
    const QString results = dir_.filePath("results.csv");
    QVERIFY(w.resultsWindow()->saveCsv(results));
    const auto table = read(results);
    QCOMPARE(int(table.size()), relan::kTableRows);
    for (int r = 0; r < relan::kTableRows; ++r)
        for (int c = 0; c < int(table[r].size()); ++c)
            // The title of a model on a search limit is marked in the window only.
            QCOMPARE(QString::fromStdString(table[r][c]).trimmed(),
                     w.resultsWindow()->cellText(r, c).remove(u(" ⚠")));
    QVERIFY(QString::fromStdString(table[2][1]).contains(QLatin1Char(','))); // the user's decimal comma
    // The failure list as its rows show it, first to last.
    const QString list = dir_.filePath("list.csv");
    QVERIFY(w.saveFailureListCsv(list));
    const auto rows = read(list);
    const QAbstractItemModel* m = child<QTableView>(&w, "Mass_List")->model();
    QCOMPARE(int(rows.size()), m->rowCount() + 1);
    for (int r : {0, m->rowCount() / 2, m->rowCount() - 1})
        for (int c = 0; c < m->columnCount(); ++c)
            QCOMPARE(QString::fromStdString(rows[r + 1][c]), m->index(r, c).data().toString());
    // A refused file is a message and nothing written.
    Messages msg;
    QVERIFY(!w.saveFailureListCsv(dir_.filePath("missing/list.csv")));
    QCOMPARE(msg.texts.size(), 1);
}

void MainWindowTest::loadedCensoringLawReachesTheCalculationWhole() {
    // The fields read back, in the user's decimal separator, as the law the
    // file gave; and the calculation works with that law.
    for (const relan::NumberFormat fmt : {relan::NumberFormat{'.'}, relan::NumberFormat{','}}) {
        MainWindow w(nullptr, MainWindow::LinkFile::Ignore, fmt);
        QVERIFY(w.loadFailureFile(kSample));
        const auto readBack = [&](const char* field) {
            const std::optional<double> v = relan::parseReal(text(&w, field).toStdString(), fmt.decimal);
            if (!v) qFatal("%s does not read back: %s", field, qPrintable(text(&w, field)));
            return *v;
        };
        const auto close = [](double a, double b) { return std::abs(a - b) <= 1e-9 * std::abs(b); };
        QVERIFY(close(readBack("meSred"), w.state().Sred));
        QVERIFY(close(readBack("meSKO"), w.state().SKO));
        QVERIFY(w.loadWarrantyFile(RELAN_SAMPLES_DIR "/gar2018.txt"));
        const double mean = w.state().Sred, sd = w.state().SKO;
        // The warranty terms of the sample are not round: three digits would
        // have given 1820 h and 422 h.
        QVERIFY(std::abs(mean - 1820) > 1 && std::abs(sd - 422) > 0.4);
        QVERIFY2(close(readBack("meSred"), mean), qPrintable(text(&w, "meSred")));
        QVERIFY2(close(readBack("meSKO"), sd), qPrintable(text(&w, "meSKO")));
        QVERIFY(text(&w, "meSred").contains(QLatin1Char(fmt.decimal)));
        QVERIFY(calculated(w));
        QVERIFY(close(w.state().Sred, mean));
        QVERIFY(close(w.state().SKO, sd));
        // A rounder value is the user's to type.
        child<QLineEdit>(&w, "meSred")->setText("1800");
        QVERIFY(calculated(w));
        QCOMPARE(w.state().Sred, 1800.0);
    }
}

void MainWindowTest::resultTablesTakeNoTyping() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    child<QCheckBox>(&w, "BoxNewton")->setChecked(true);
    QVERIFY(calculated(w));
    ResultsWindow* r = w.resultsWindow();
    QVERIFY(QTest::qWaitForWindowExposed(r));
    auto* grid = child<relan::gui::FrozenColumnsTable>(r, "Result_Grid");
    const QString before = grid->item(2, 1)->text();
    // A double click, a key typed and a programmatic edit on a scrolled and
    // on a frozen column alike.
    for (int column : {1, 0, r->findChild<QTableWidget*>("Result_Grid")->columnCount() - 1}) {
        const QAbstractItemView* view = grid->viewShowing(column);
        QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(!(grid->item(2, column)->flags() & Qt::ItemIsEditable));
    }
    const QRect cell = grid->visualItemRect(grid->item(2, 1));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClicks(grid->viewport(), "999");
    QTest::keyClick(grid->viewport(), Qt::Key_Return);
    grid->editItem(grid->item(2, 1));
    QCoreApplication::processEvents();
    for (const QLineEdit* editor : grid->viewport()->findChildren<QLineEdit*>())
        QVERIFY(!editor->isVisible());
    QCOMPARE(grid->item(2, 1)->text(), before);
    QVERIFY(!child<QTableView>(&w, "Mass_List")
                 ->model()
                 ->flags(child<QTableView>(&w, "Mass_List")->model()->index(0, 0))
                 .testFlag(Qt::ItemIsEditable));
}

void MainWindowTest::printedTableIsSplitIntoPagesThatHoldEveryCell() {
    using relan::gui::tablePages;
    const struct {
        std::vector<double> widths;
        int rows;
        double rowHeight;
        QSizeF room;
        int pages;
    } cases[] = {
        {{100, 60, 60, 60}, 5, 10, {400, 100}, 1},             // all on one page
        {{100, 60, 60, 60, 60, 60, 60}, 5, 10, {250, 100}, 3}, // columns two by two beside the titles
        {{100, 60, 60}, 12, 10, {400, 50}, 3},                 // four rows under the headings a page
        {{100, 60, 60, 60}, 12, 10, {230, 50}, 6},             // both
        {{100, 300, 60}, 3, 10, {250, 100}, 2},                // a column wider than a page has its own
        {{100}, 3, 10, {250, 100}, 1},                         // only the titles
        {{100, 60}, 1, 10, {250, 5}, 1},                       // only the headings, on too short a page
    };
    for (const auto& c : cases) {
        const auto pages = tablePages(c.widths, c.rows, c.rowHeight, c.room);
        QCOMPARE(int(pages.size()), c.pages);
        QMap<QPair<int, int>, int> seen;
        for (const auto& p : pages) {
            QCOMPARE(p.rows.front(), 0);
            QCOMPARE(p.columns.front(), 0);
            double width = 0;
            for (int col : p.columns)
                width += c.widths[col];
            QVERIFY(p.columns.size() == 2 || width <= c.room.width());
            QVERIFY(p.rows.size() == 2 || p.rows.size() * c.rowHeight <= c.room.height() || c.rows == 1);
            for (int r : p.rows)
                for (int col : p.columns)
                    ++seen[qMakePair(r, col)];
        }
        for (int r = 0; r < c.rows; ++r)
            for (int col = 0; col < int(c.widths.size()); ++col) {
                const bool title = r == 0 || col == 0;
                const int times = seen[qMakePair(r, col)];
                QVERIFY2(title ? times >= 1 : times == 1, qPrintable(QString("%1,%2").arg(r).arg(col)));
            }
    }
}

void MainWindowTest::printoutHoldsEveryColumnAndRowAndTheCharts() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    for (const char* box : {"BoxNewton", "BoxSmirnow", "BoxML"})
        child<QCheckBox>(&w, box)->setChecked(true);
    QVERIFY(calculated(w));
    ResultsWindow* r = w.resultsWindow();
    QVERIFY(QTest::qWaitForWindowExposed(r));
    const relan::gui::PrintedTable table = r->printedTable();
    QCOMPARE(int(table.rows.size()), relan::kTableRows);
    // Four models, the row titles and the operating data.
    QCOMPARE(int(table.rows.front().size()), 6);
    QCOMPARE(table.rows[0][5], u("Данные эксплуатации"));
    // On a narrow page too, every heading and every figure reaches paper.
    for (const auto& [size, orientation] : {std::pair{QPageSize::A4, QPageLayout::Landscape},
                                            std::pair{QPageSize::A6, QPageLayout::Portrait}}) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = dir_.filePath("printout.pdf");
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(size));
        printer.setPageOrientation(orientation);
        QVERIFY(
            relan::gui::printPages(printer, [r](QPagedPaintDevice& d, int dpi) { return r->print(d, dpi); }));
        QProcess text;
        text.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY(text.waitForFinished(30000));
        const QString printed = QString::fromUtf8(text.readAllStandardOutput());
        const QString flat = printed.simplified();
        for (const QStringList& row : table.rows)
            for (const QString& cell : row)
                QVERIFY2(flat.contains(cell.simplified()),
                         qPrintable(cell + " missing on " + QString::number(size)));
        // The charts come after the table: their titles are on paper.
        for (const char* chart : {"Chart1", "Chart2", "Chart3"}) {
            const QString title = child<FlowChart>(r, chart)->chart()->title();
            QVERIFY2(
                flat.contains(QTextDocumentFragment::fromHtml(title).toPlainText().simplified().left(24)),
                chart);
        }
        const int pages = printed.count(QLatin1Char('\f'));
        if (orientation == QPageLayout::Landscape)
            QCOMPARE(pages, 2); // the table, then the charts
        else
            QVERIFY2(pages > 2, qPrintable(QString::number(pages)));
    }
}

void MainWindowTest::saveDialogsStartInTheFolderOfTheirKindOrOfTheData() {
    using relan::gui::saveDialogFolder;
    QTemporaryDir other;
    const QString data = QFileInfo(kSmall).absoluteFilePath();
    const QString dataFolder = QFileInfo(kSmall).absolutePath();
    const struct {
        QString last, data, expected;
    } cases[] = {
        {other.path(), data, other.path()},                     // the last of its kind first
        {{}, data, dataFolder},                                 // else the data's folder
        {dir_.filePath("removed"), data, dataFolder},           // a folder gone is no start
        {{}, {}, QDir::homePath()},                             // nothing known
        {{}, dir_.filePath("gone/data.rel"), QDir::homePath()}, // the data's folder gone too
    };
    for (const auto& c : cases)
        QCOMPARE(saveDialogFolder(c.last, c.data), c.expected);
    // The windows' dialogs: a kind never written starts with the data.
    MainWindow w(nullptr, MainWindow::LinkFile::Ignore);
    QVERIFY(w.loadFailureFile(kSmall));
    QCOMPARE(relan::gui::lastFolderOf("test-kind"), dataFolder);
    relan::gui::rememberFolderOf("test-kind", other.filePath("report.pdf"));
    QCOMPARE(relan::gui::lastFolderOf("test-kind"), other.path());
}

void MainWindowTest::closingDuringAGeneticRunAsksFirst() {
    MainWindow w;
    QVERIFY(w.loadFailureFile(kSample));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    child<QLineEdit>(&w, "Edit3")->setText("60");
    child<QLineEdit>(&w, "NPokoleny")->setText("1000000");
    QSignalSpy finished(&w, &MainWindow::geneticRunFinished);
    QVERIFY(w.startGeneticRun());
    QStringList asked;
    // Answers the question the close brings up.
    const auto answer = [&](QMessageBox::StandardButton button) {
        QTimer::singleShot(50, [&, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            asked << box->text();
            QCOMPARE(box->button(QMessageBox::Yes)->text(), u("Да"));
            QCOMPARE(box->button(QMessageBox::No)->text(), u("Нет"));
            box->button(button)->click();
        });
    };
    answer(QMessageBox::No);
    QVERIFY(!w.close());
    QCOMPARE(asked,
             QStringList{u("Генетический алгоритм ещё работает. Остановить его и закрыть программу?")});
    QVERIFY(w.isVisible());
    QVERIFY(w.geneticRunning());
    QCOMPARE(finished.count(), 0);
    answer(QMessageBox::Yes);
    w.close();
    QCOMPARE(asked.size(), 2);
    // The run ends after its generation, and the window goes with it.
    QVERIFY(finished.wait(30000));
    QVERIFY(!w.geneticRunning());
    QTRY_VERIFY(!w.isVisible());
}

void MainWindowTest::logWrapsLongLines() {
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* log = child<QPlainTextEdit>(&w, "Memo2");
    QCOMPARE(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    const QString line =
        u("Модель 1.2: поиск параметра A остановился на нижней границе диапазона, ") + QString(40, 'x');
    w.appendLog(line);
    QCoreApplication::processEvents();
    // The line takes several rows of the log and nothing lies beyond its
    // right edge.
    QVERIFY(log->horizontalScrollBar()->maximum() == 0);
    const QTextBlock last = log->document()->lastBlock();
    QVERIFY(last.layout()->lineCount() > 1);
    QCOMPARE(last.text(), line);
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
