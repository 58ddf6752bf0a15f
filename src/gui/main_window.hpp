#pragma once

// Form1: the data file and censoring settings, the three tabs of the
// calculations, the warranty-term panel, the progress log and the list of
// failures. Owns the analysis state and the secondary windows.

#include "qt_text.hpp"

#include "relan/calculation.hpp"
#include "relan/numtext.hpp"
#include "relan/progress.hpp"
#include "relan/state.hpp"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QSplitter;
class QStackedWidget;
class QTableView;
class QTimer;

namespace relan::gui {

class FailureListModel;
class HeadingLabel;
class ResultsWindow;
class NonParamWindow;
class ExpandWindow;
class ProbabilityPlotWindow;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Use: the link file of the current folder offers the data file loaded
    // last at start and remembers every one loaded. Ignore: neither, so that
    // a command-line run leaves the caller's folder alone.
    enum class LinkFile { Use, Ignore };
    // `fmt`: the decimal separator of every number the windows show or read;
    // a command-line run names its own instead of the desktop's.
    explicit MainWindow(QWidget* parent = nullptr, LinkFile linkFile = LinkFile::Use,
                        const NumberFormat& fmt = systemNumberFormat());
    ~MainWindow() override;

    Analysis& state() { return state_; }
    const NumberFormat& numberFormat() const { return fmt_; }
    ResultsWindow* resultsWindow() const { return form2_; }
    NonParamWindow* nonParamWindow() const { return form3_; }
    ExpandWindow* expandWindow() const { return expandForm_; }
    ProbabilityPlotWindow* probabilityPlotWindow() const { return probabilityPlot_; }

    // The handlers once their dialog has given a file; false when refused.
    bool loadFailureFile(const QString& path);
    bool loadWarrantyFile(const QString& path);
    bool exportLog(const QString& path);
    // "Расчет" and "Анализ непараметрический": false when refused at once,
    // with a message saying why. Otherwise the work goes on in a worker
    // thread on a copy of the state and the fields; its results are applied
    // when it ends, and workFinished tells that it has.
    bool calculate();
    bool analyseNonParametric();
    bool workRunning() const;
    // Runs the event loop until the work started last has ended: true when
    // its results were applied. For scripts and the command line's pictures.
    bool waitForWork();
    // The results window's "Отчёт…": the report of the last calculation as
    // a PDF file. False when refused at once (another work under way, a file
    // that cannot be written); otherwise it is made in the worker thread and
    // written when it ends.
    bool saveReport(const QString& path);
    // The failure list's "Сохранить как CSV…"; false, with a message, when
    // the file was refused.
    bool saveFailureListCsv(const QString& path);
    // The results window's "Expand".
    bool expand();
    // The results window's "Вероятностная бумага".
    bool showProbabilityPlot();

    void appendLog(const QString& line);

    // Where the file dialog of a kind of file starts: a file to offer, or a
    // folder.
    enum class FileKind { FailureData, WarrantyTerms, Log };
    QString dialogStart(FileKind kind) const;

    // "Расчет (генетический алгоритм)": false when the fields were refused
    // and nothing started. The run goes on in the worker the calculation
    // uses, on a copy of the state; its result is applied when it ends, and
    // geneticRunFinished tells that it has.
    bool startGeneticRun();
    bool geneticRunning() const;

    // What the window's one worker runs: a calculation, a non-parametric
    // analysis or a report (the status bar's progress and «Стоп»), or a
    // genetic run (the genetic tab's).
    enum class WorkKind { Computation, GeneticRun };

  public slots:
    void OpenFileStartClick();
    void SpeedButton1Click();
    void bbRaschetClick();
    void SaveFileBTNClick();
    void Button1Click();
    void ToolBRunGenOptimClick();
    void StopBtnClick();
    void btnCopyBestClick();
    void bbStopClick();
    void ReportClick();

  signals:
    // The run has ended and the controls are enabled again.
    void geneticRunFinished();
    // The calculation or the non-parametric analysis has ended (or was given
    // up as the window closed) and the controls are enabled again; `applied`
    // when its results are in the state and the windows.
    void workFinished(bool applied);

  protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

  private:
    QWidget* buildPanel1();
    QWidget* buildPageControl();
    void buildPanel2(QWidget* page);
    void buildPanel3(QWidget* page);
    QWidget* buildPanel4();
    QString chooseFile(FileKind kind, const QString& filter);
    void setRunLocks(bool running);
    CalculationInputs calculationInputs() const;
    // What the worker hands back on success, run on this thread.
    using ApplyResults = std::function<void()>;
    // `body` runs on the worker with the hooks of the stop button and the
    // progress bar; `ended` runs on this thread after the results were
    // applied or not. `what` names the work in the log line of a stop.
    void startWork(WorkKind kind, const QString& what, std::function<ApplyResults(const ProgressHooks&)> body,
                   std::function<void(bool applied)> ended = {});
    void workEnded(quint64 serial);
    // The window is going: stop the work, wait for its thread, apply nothing.
    void abandonWork();
    void setWorkLocks(bool running, WorkKind kind);
    void showWorkProgress();
    bool refusedWhileRunning();
    // The computations never run on data other than the file the path field
    // names: true (with a message) when the field names another file.
    bool refusedForAnotherPath();
    friend class WindowGeneticHost;

    Analysis state_;
    NumberFormat fmt_;
    // The last file of each kind, where its dialog starts next time.
    QString lastFailureFile_, lastWarrantyFile_, lastLogFile_;
    // The failure-data file the state holds; empty before the first load.
    QString loadedPath_;
    const LinkFile linkFile_;

    HeadingLabel* label10_ = nullptr;
    QLineEdit* filePath_ = nullptr;
    QLineEdit* meKolAll_ = nullptr;
    QLineEdit* meKolOtk_ = nullptr;
    QLineEdit* meSred_ = nullptr;
    QLineEdit* meSKO_ = nullptr;
    QLineEdit* labeledEdit2_ = nullptr;

    QStackedWidget* pages_ = nullptr;
    QButtonGroup* tabs_ = nullptr;
    QLineEdit* edit1_ = nullptr;
    QLineEdit* edit6_ = nullptr;
    QLineEdit* edit5_ = nullptr;
    QCheckBox* spirSpusk_ = nullptr;
    QCheckBox* boxNewton_ = nullptr;
    QCheckBox* boxSmirnow_ = nullptr;
    QCheckBox* boxML_ = nullptr;
    QCheckBox* sredFlag_ = nullptr;
    QCheckBox* skoFlag_ = nullptr;
    QRadioButton* criteria_[3] = {};
    QPushButton* bbRaschet_ = nullptr;

    QLineEdit* edit2_ = nullptr;
    QLineEdit* edit3_ = nullptr;
    QLineEdit* nPokoleny_ = nullptr;
    QPushButton* runGen_ = nullptr;
    QPushButton* stopBtn_ = nullptr;
    QProgressBar* progressBar2_ = nullptr;
    QSlider* trackBar1_ = nullptr;
    QSlider* trackBar2_ = nullptr;
    QPushButton* copyBest_ = nullptr;
    QLineEdit* labeledEdit1_ = nullptr;
    QCheckBox* checkBoxProm_ = nullptr;
    QPushButton* button1_ = nullptr;

    QLineEdit* edit4_ = nullptr;
    HeadingLabel* label15_ = nullptr;
    QLineEdit* maskEdit1_ = nullptr;
    QLineEdit* maskEditSrednee_ = nullptr;
    QLineEdit* maskEditSKO_ = nullptr;

    QPlainTextEdit* memo2_ = nullptr;
    QSplitter* topSplitter_ = nullptr;
    bool sized_ = false;
    QTableView* massList_ = nullptr;
    FailureListModel* failures_ = nullptr;

    // The genetic run under way (it runs as the work below): what the user
    // steers it with, its requests, and whether the window closes when it
    // ends (nothing more is shown then).
    std::shared_ptr<struct GeneticRunData> run_;
    bool closeWhenDone_ = false;
    // The run is moving a slider: not a setting of the user.
    bool positionFromRun_ = false;

    // The calculation, the non-parametric analysis, the report or the
    // genetic run under way; the number of the last one started tells a
    // stale end from the current one's.
    std::unique_ptr<struct BackgroundWork> work_;
    quint64 workSerial_ = 0;
    bool lastWorkApplied_ = false;
    QTimer* progressTimer_ = nullptr;
    QLabel* workLabel_ = nullptr;
    QProgressBar* workProgress_ = nullptr;
    QPushButton* bbStop_ = nullptr;

    ResultsWindow* form2_ = nullptr;
    NonParamWindow* form3_ = nullptr;
    ExpandWindow* expandForm_ = nullptr;
    ProbabilityPlotWindow* probabilityPlot_ = nullptr;
};

} // namespace relan::gui
