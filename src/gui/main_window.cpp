#include "main_window.hpp"

#include "expand_window.hpp"
#include "failure_list_model.hpp"
#include "file_dialogs.hpp"
#include "heading_label.hpp"
#include "messages.hpp"
#include "nonparam_window.hpp"
#include "printing.hpp"
#include "probability_plot_window.hpp"
#include "qt_text.hpp"
#include "report_pdf.hpp"
#include "results_window.hpp"
#include "widgets.hpp"

#include "relan/analysis_report.hpp"
#include "relan/calculation.hpp"
#include "relan/error.hpp"
#include "relan/file_io.hpp"
#include "relan/genetic.hpp"
#include "relan/input_files.hpp"
#include "relan/nonparam.hpp"
#include "relan/warning_text.hpp"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <tuple>

namespace relan::gui {
namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

QLabel* label(const char* name, const char* text) {
    return namedLabel(name, u(text));
}

// A panel of the window: a framed group whose controls follow its layout.
QFrame* panel(const char* name) {
    auto* p = new QFrame;
    p->setObjectName(name);
    p->setFrameShape(QFrame::StyledPanel);
    return p;
}

// A label beside the field it names, for the keyboard and screen readers.
QLabel* buddy(const char* name, const char* text, QWidget* field) {
    QLabel* l = label(name, text);
    l->setBuddy(field);
    return l;
}

// A row of a grid: a caption and the field it names, as wide as `sample`.
QLineEdit* fieldRow(QGridLayout* grid, int row, const char* labelName, const char* caption, const char* name,
                    const char* value, const QString& sample) {
    QLineEdit* e = namedEdit(name, u(value));
    widthForText(e, sample);
    grid->addWidget(buddy(labelName, caption, e), row, 0);
    grid->addWidget(e, row, 1);
    return e;
}

} // namespace

// What the user may change on the genetic tab while a run goes on, as the
// window last saw it: the window writes it on its thread as the controls
// change, the run reads it on its own without waiting for the window.
struct GeneticSteering {
    std::atomic<int> crossoverPosition{0};
    std::atomic<int> mutationPosition{0};
    std::atomic<bool> detailedProgress{false};

    void setCopyBestCountText(std::string text) {
        std::lock_guard<std::mutex> g(lock_);
        copyBestCountText_ = std::move(text);
    }
    std::string copyBestCountText() const {
        std::lock_guard<std::mutex> g(lock_);
        return copyBestCountText_;
    }

  private:
    mutable std::mutex lock_;
    std::string copyBestCountText_;
};

// The run's calls to the window. The questions are answered from the
// steering; everything the run shows is posted to the window's thread and
// the run goes on at once, so a window that is busy, or waiting for the run
// to end, never holds it up. The posts arrive in the order made, and before
// the run's end, which is posted last.
class WindowGeneticHost : public GeneticHost {
  public:
    WindowGeneticHost(MainWindow& w, GeneticSteering& steering) : w_(w), steering_(steering) {}

    int crossoverPosition() override { return crossoverRead_ = steering_.crossoverPosition; }
    void setCrossoverPosition(int p) override {
        schedule(steering_.crossoverPosition, crossoverRead_, &MainWindow::trackBar1_, p);
    }
    int mutationPosition() override { return mutationRead_ = steering_.mutationPosition; }
    void setMutationPosition(int p) override {
        schedule(steering_.mutationPosition, mutationRead_, &MainWindow::trackBar2_, p);
    }
    std::string copyBestCountText() override { return steering_.copyBestCountText(); }
    void setGenerationsText(const std::string& t) override {
        post([t = qs(t)](MainWindow& w) { w.nPokoleny_->setText(t); });
    }
    bool detailedProgress() override { return steering_.detailedProgress; }
    void setProgress(int p) override {
        post([p](MainWindow& w) { w.progressBar2_->setValue(p); });
    }
    void appendLog(const std::string& line) override {
        post([line = qs(line)](MainWindow& w) { w.appendLog(line); });
    }
    void appendLogLines(const std::vector<std::string>& lines) override {
        QStringList all;
        for (const auto& l : lines)
            all << qs(l);
        post([text = all.join(QLatin1Char('\n'))](MainWindow& w) { w.appendLog(text); });
    }

  private:
    // The posts outlive this host when the window drops the run before
    // they arrive: they hold the window only, which takes them with it.
    template <class F> void post(F&& f) {
        MainWindow* w = &w_;
        QMetaObject::invokeMethod(
            w,
            [w, f = std::forward<F>(f)] {
                // A window closing once the run has ended shows nothing more.
                if (!w->closeWhenDone_) f(*w);
            },
            Qt::QueuedConnection);
    }
    // The run's next question sees the position at once; the slider follows
    // when the window gets to it. A setting of the user made since the run
    // read the position, or since this post, wins over the schedule.
    void schedule(std::atomic<int>& position, int read, QSlider* MainWindow::*slider, int p);

    MainWindow& w_;
    GeneticSteering& steering_;
    // The positions the run last read, on the run's thread.
    int crossoverRead_ = 0, mutationRead_ = 0;
};

struct GeneticRunData {
    explicit GeneticRunData(MainWindow& w) : host(w, steering) {}
    GeneticSteering steering;
    WindowGeneticHost host;
    GeneticControl control;
    std::unique_ptr<TGen> gen;
};

void WindowGeneticHost::schedule(std::atomic<int>& position, int read, QSlider* MainWindow::*slider, int p) {
    if (!position.compare_exchange_strong(read, p)) return;
    const GeneticSteering* steering = &steering_;
    post([steering, &position, slider, p](MainWindow& w) {
        // `position` lives as long as the run the window still holds.
        if (!w.run_ || &w.run_->steering != steering || position != p) return;
        w.positionFromRun_ = true;
        (w.*slider)->setValue(p);
        w.positionFromRun_ = false;
    });
}

// A calculation, a non-parametric analysis, a report or a genetic run on its
// worker thread. The worker writes the report under the lock and the outcome
// before it posts its end; this thread reads the outcome only after joining
// it.
struct BackgroundWork {
    quint64 serial = 0;
    MainWindow::WorkKind kind = MainWindow::WorkKind::Computation;
    QString what;
    std::function<void(bool)> ended;
    std::atomic<bool> cancel{false};
    std::thread thread;

    std::mutex lock;
    ProgressReport latest;

    std::function<void()> apply;
    std::exception_ptr failure;
    bool cancelled = false;

    ProgressReport progress() {
        std::lock_guard<std::mutex> g(lock);
        return latest;
    }
};

MainWindow::MainWindow(QWidget* parent, LinkFile linkFile, const NumberFormat& fmt)
    : QMainWindow(parent), fmt_(fmt), linkFile_(linkFile) {
    setObjectName("Form1");
    setWindowTitle(titleWithVersion("Анализ надежности в эксплуатации.  v."));

    // A long comment line wraps, and is cut with "…" rather than widen the window.
    label10_ = new HeadingLabel("Label10");
    label10_->setFont(headingFont());

    memo2_ = new QPlainTextEdit;
    memo2_->setObjectName("Memo2");
    // A warning of a fit is one long line: it wraps at the log's width, so
    // that its end is read without scrolling sideways.
    memo2_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo2_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    memo2_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo2_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo2_->setPlainText(u("Ход решения"));
    memo2_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 20);

    failures_ = new FailureListModel(state_, fmt_, this);
    massList_ = new QTableView;
    massList_->setModel(failures_);
    massList_->setObjectName("Mass_List");
    massList_->verticalHeader()->hide();
    massList_->horizontalHeader()->setDefaultSectionSize(100);
    massList_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    massList_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    massList_->horizontalHeader()->setStyleSheet(
        "QHeaderView::section { background-color: palette(tooltip-base); }");
    massList_->setToolTip(u("Данные из файла об отказах изделий"));
    massList_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    massList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    massList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(massList_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* csv = menu.addAction(u("Сохранить как CSV…"));
        csv->setEnabled(!state_.MasProbl.empty());
        if (menu.exec(massList_->viewport()->mapToGlobal(at)) != csv) return;
        saveAsInteractively(this, u("Сохранить как CSV"), csvFileName(label10_->text(), u("отказы")),
                            u("Таблица CSV (*.csv)"), "csv",
                            [this](const QString& path) { return saveFailureListCsv(path); });
    });

    // The left column holds the calculations and the warranty file; it
    // scrolls when a large font makes it taller than the screen.
    auto* left = new QWidget;
    left->setObjectName("LeftColumn");
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(buildPageControl());
    leftLayout->addWidget(buildPanel4());
    leftLayout->addStretch(1);
    QScrollArea* leftScroll = namedScroll("LeftColumnScroll", left);
    leftScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // As wide as the column's contents, with room for the scroll bar.
    leftScroll->setMinimumWidth(left->sizeHint().width() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                                2);

    // The user trades room between the data panel and the log, and between
    // them and the list of failures.
    auto* top = new QSplitter(Qt::Horizontal);
    top->setObjectName("TopSplitter");
    top->addWidget(buildPanel1());
    top->addWidget(memo2_);
    top->setStretchFactor(0, 0);
    top->setStretchFactor(1, 1);
    top->setChildrenCollapsible(false);
    topSplitter_ = top;

    auto* right = new QSplitter(Qt::Vertical);
    right->setObjectName("RightSplitter");
    right->addWidget(top);
    right->addWidget(massList_);
    right->setStretchFactor(0, 0);
    right->setStretchFactor(1, 1);
    right->setChildrenCollapsible(false);

    auto* columns = new QSplitter(Qt::Horizontal);
    columns->setObjectName("MainSplitter");
    columns->addWidget(leftScroll);
    columns->addWidget(right);
    columns->setStretchFactor(0, 0);
    columns->setStretchFactor(1, 1);
    columns->setChildrenCollapsible(false);

    auto* central = new QWidget(this);
    central->setObjectName("Form1Client");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addWidget(label10_);
    layout->addWidget(columns, 1);
    setCentralWidget(central);
    resizeToFitScreen(this, QSize(1206, 675));

    // A Linux user expects the remembered file, or the home folder, here.
    const auto remembered =
        linkFile_ == LinkFile::Use ? readLinkFile(QDir::currentPath().toStdString()) : std::nullopt;
    filePath_->setText(remembered ? qs(*remembered) : QDir::homePath());
    edit4_->setText(QDir::homePath());

    // The windows are created in this order and stay hidden until used.
    // The progress of a calculation or a non-parametric analysis, seen from
    // every tab; shown while one runs.
    workLabel_ = namedLabel("CalcProgressLabel", {});
    workProgress_ = new QProgressBar;
    workProgress_->setObjectName("CalcProgress");
    workProgress_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 30);
    bbStop_ = namedButton("bbStop", u("Стоп"));
    bbStop_->setToolTip(u("Остановить расчет; данные и окна останутся такими, какими были до него"));
    connect(bbStop_, &QPushButton::clicked, this, &MainWindow::bbStopClick);
    statusBar()->setObjectName("StatusBar");
    statusBar()->addWidget(workLabel_, 1);
    statusBar()->addPermanentWidget(workProgress_);
    statusBar()->addPermanentWidget(bbStop_);
    for (QWidget* w : std::initializer_list<QWidget*>{workLabel_, workProgress_, bbStop_})
        w->hide();
    // Reports come as often as a fit makes passes; the window looks at the
    // latest a few times a second.
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(100);
    connect(progressTimer_, &QTimer::timeout, this, &MainWindow::showWorkProgress);

    form2_ = new ResultsWindow(this);
    form3_ = new NonParamWindow(this);
    expandForm_ = new ExpandWindow(this);
    probabilityPlot_ = new ProbabilityPlotWindow(this);
    connect(form2_, &ResultsWindow::expandRequested, this, &MainWindow::expand);
    connect(form2_, &ResultsWindow::probabilityPlotRequested, this, &MainWindow::showProbabilityPlot);
    connect(form2_, &ResultsWindow::reportRequested, this, &MainWindow::ReportClick);
}

MainWindow::~MainWindow() {
    // A genetic run ends within its generation: it never waits for the window.
    abandonWork();
}

QWidget* MainWindow::buildPanel1() {
    QFrame* p = panel("Panel1");
    auto* grid = new QGridLayout(p);
    grid->setColumnStretch(0, 1);

    auto* open = namedButton("OpenFileStart", u("Путь"));
    open->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    open->setToolTip(
        u("Файл содержит строки комментария, среднего времени окончания гарантии, СКО гарантии, парка, "
          "числа всех отказов и массив времен отказов"));
    open->setDefault(true);
    open->setAutoDefault(true);
    connect(open, &QPushButton::clicked, this, &MainWindow::OpenFileStartClick);
    filePath_ = namedEdit("FilePath", {});
    filePath_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 20);
    // Enter in the path field loads the file typed there.
    connect(filePath_, &QLineEdit::returnPressed, this,
            [this] { loadFailureFile(filePath_->text().trimmed()); });
    grid->addWidget(buddy("Label1", "Файл исходных данных:", filePath_), 0, 0);
    grid->addWidget(open, 0, 1, Qt::AlignRight);
    grid->addWidget(filePath_, 1, 0, 1, 2);

    meKolAll_ = namedEdit("meKolAll", {});
    meKolOtk_ = namedEdit("meKolOtk", {});
    for (QLineEdit* e : {meKolAll_, meKolOtk_}) {
        widthForText(e, "0000000");
        e->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        e->setFixedWidth(e->minimumWidth());
    }
    // The two long captions wrap where a large font leaves no room.
    QLabel* kolAll = buddy("Label2", "Общее количество объектов в гарантийной эксплуатации", meKolAll_);
    QLabel* kolOtk = buddy("Label3", "Количество несвязных отказов 2-3 групп сложности", meKolOtk_);
    for (QLabel* l : {kolAll, kolOtk}) {
        l->setWordWrap(true);
        l->setMinimumWidth(fontMetrics().horizontalAdvance(l->text()) * 3 / 5);
    }
    grid->addWidget(kolAll, 2, 0);
    grid->addWidget(meKolAll_, 2, 1);
    grid->addWidget(kolOtk, 3, 0);
    grid->addWidget(meKolOtk_, 3, 1);

    // Three fields with their labels to the right.
    auto* fields = new QGridLayout;
    fields->setColumnStretch(1, 1);
    auto labelled = [&](const char* name, const char* caption, int row) {
        QLineEdit* e = namedEdit(name, {});
        widthForText(e, "00000,00000");
        QLabel* l = buddy(nullptr, caption, e);
        l->setObjectName(QString::fromLatin1(name) + "Label");
        fields->addWidget(e, row, 0);
        fields->addWidget(l, row, 1);
        return std::make_pair(e, l);
    };
    QLabel* hinted = nullptr;
    std::tie(meSred_, hinted) = labelled("meSred", " Среднее время гарантии", 0);
    hinted->setToolTip(u("Среднее время наблюдений"));
    meSKO_ = labelled("meSKO", " СКО времени гарантии", 1).first;
    std::tie(labeledEdit2_, hinted) = labelled("LabeledEdit2", " Период учета отказов на 1 изделие, ч", 2);
    hinted->setToolTip(u("Среднее время наблюдений"));
    grid->addLayout(fields, 4, 0, 1, 2);
    grid->setRowStretch(5, 1);
    return p;
}

QWidget* MainWindow::buildPageControl() {
    // Three tabs shown as buttons, one row each: their captions are too long
    // to share a row in a column this narrow.
    auto* pc = new QWidget;
    pc->setObjectName("PageControl");
    auto* layout = new QVBoxLayout(pc);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tabs_ = new QButtonGroup(pc);
    tabs_->setExclusive(true);
    const struct {
        const char* name;
        const char* caption;
    } tabDefs[] = {
        {"TabSheet1", "1. Подбор параметров распределения (основной)"},
        {"TabSheet2", "2. Генетический алгоритм"},
        {"TabSheet3", "3. Непараметрич. обработка"},
    };
    pages_ = new QStackedWidget;
    pages_->setObjectName("PageControlPages");
    for (int i = 0; i < 3; ++i) {
        auto* b = namedButton(tabDefs[i].name, u(tabDefs[i].caption));
        b->setCheckable(true);
        layout->addWidget(b);
        tabs_->addButton(b, i);
        auto* page = new QFrame;
        page->setFrameShape(QFrame::StyledPanel);
        page->setObjectName(i == 0 ? "Panel2" : i == 1 ? "Panel3" : "Panel5");
        pages_->addWidget(page);
    }
    layout->addSpacing(2);
    layout->addWidget(pages_);
    connect(tabs_, &QButtonGroup::idClicked, pages_, &QStackedWidget::setCurrentIndex);
    tabs_->button(0)->setChecked(true);
    pages_->setCurrentIndex(0);
    // Ctrl+Tab and Ctrl+Shift+Tab turn the pages as in any tabbed window.
    auto turn = [this](int step) {
        const int i = (pages_->currentIndex() + step + 3) % 3;
        tabs_->button(i)->setChecked(true);
        pages_->setCurrentIndex(i);
    };
    connect(new QShortcut(QKeySequence::NextChild, this), &QShortcut::activated, this, [turn] { turn(1); });
    connect(new QShortcut(QKeySequence::PreviousChild, this), &QShortcut::activated, this,
            [turn] { turn(-1); });

    buildPanel2(pages_->widget(0));
    buildPanel3(pages_->widget(1));
    QWidget* third = pages_->widget(2);
    auto* thirdLayout = new QVBoxLayout(third);
    button1_ = namedButton("Button1", u("Анализ непараметрический"));
    QFont bold = button1_->font();
    bold.setBold(true);
    button1_->setFont(bold);
    button1_->setMinimumHeight(button1_->sizeHint().height() * 3 / 2);
    connect(button1_, &QPushButton::clicked, this, &MainWindow::Button1Click);
    thirdLayout->addWidget(button1_);
    thirdLayout->addStretch(1);
    return pc;
}

void MainWindow::buildPanel2(QWidget* p) {
    auto* layout = new QVBoxLayout(p);
    layout->addWidget(label("Label4", "Особенности  расчета параметров модели"));

    const QString hint = u("Минимум попадпний в столбец гистограммы");
    auto* steps = new QGridLayout;
    steps->setColumnStretch(0, 1);
    const QString sample = "1,0000000";
    edit1_ = fieldRow(steps, 0, "Label5", "Коэф-т уменьшения шага модели 1.1", "Edit1", "1.00025", sample);
    edit1_->setPlaceholderText(hint);
    edit6_ = fieldRow(steps, 1, "Label17", "Коэф-т уменьшения шага модели 1.2", "Edit6", "1.00025", sample);
    edit6_->setPlaceholderText(hint);
    edit5_ = fieldRow(steps, 2, "Label16", "Коэф-т уменьшения шага модели 2", "Edit5", "1.0005", sample);
    layout->addLayout(steps);

    spirSpusk_ = namedCheck("SpirSpusk", u("Модель 1.1 по Пирсону, метод спирального спуска "), true);
    boxNewton_ = namedCheck("BoxNewton", u("Модель 1.2 по Пирсону, метод Ньютона "), false);
    boxSmirnow_ = namedCheck("BoxSmirnow", u("Модель 2 (по Смирнову)"), false);
    boxML_ = namedCheck("BoxML", qs(kLikelihoodBox), false);
    boxML_->setToolTip(
        u("Закон отказов по всем документированным отказам (не по гистограмме), с 95% интервалами "
          "профиля правдоподобия и предупреждениями о величинах, которые данные не определяют"));
    for (QCheckBox* c : {spirSpusk_, boxNewton_, boxSmirnow_, boxML_})
        layout->addWidget(c);
    sredFlag_ = namedCheck("Sred_flag", u("Подбор СВН"), false);
    skoFlag_ = namedCheck("SKO_Flag", u("Подбор СКО"), false);
    auto* flags = new QHBoxLayout;
    flags->addWidget(sredFlag_);
    flags->addWidget(skoFlag_);
    flags->addStretch(1);
    layout->addLayout(flags);

    auto* group = new QGroupBox(u("Критерии подбора закона распределения"));
    group->setObjectName("RadioGroup1");
    auto* items = new QHBoxLayout(group);
    const char* texts[3] = {"Стандарт", "Спец 1", "Спец 2"};
    for (int i = 0; i < 3; ++i) {
        criteria_[i] = new QRadioButton(u(texts[i]));
        criteria_[i]->setObjectName(QString("RadioGroup1Item%1").arg(i));
        items->addWidget(criteria_[i]);
    }
    items->addStretch(1);
    criteria_[1]->setChecked(true);
    layout->addWidget(group);

    bbRaschet_ = namedButton("bbRaschet", u("Расчет"));
    bbRaschet_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    QFont f = bbRaschet_->font();
    f.setBold(true);
    f.setPixelSize(scaledPx(16));
    bbRaschet_->setFont(f);
    bbRaschet_->setIconSize(QSize(f.pixelSize() * 3 / 2, f.pixelSize() * 3 / 2));
    bbRaschet_->setMinimumHeight(bbRaschet_->sizeHint().height() * 3 / 2);
    connect(bbRaschet_, &QPushButton::clicked, this, &MainWindow::bbRaschetClick);
    layout->addWidget(bbRaschet_);
    layout->addStretch(1);
}

void MainWindow::buildPanel3(QWidget* p) {
    auto* layout = new QVBoxLayout(p);
    auto* fields = new QGridLayout;
    fields->setColumnStretch(0, 1);
    const QString sample = "0,00000001";
    edit2_ = fieldRow(fields, 0, "Label6", "Точность подбора", "Edit2", "0.0000001", sample);
    edit3_ = fieldRow(fields, 1, "Label7", "Размер популяции", "Edit3", "3000", sample);
    nPokoleny_ = fieldRow(fields, 2, "Label8", "Число поколений", "NPokoleny", "1500", sample);
    layout->addLayout(fields);

    runGen_ = namedButton("ToolBRunGenOptim", u("Расчет (генетический алгоритм)"));
    connect(runGen_, &QPushButton::clicked, this, &MainWindow::ToolBRunGenOptimClick);
    stopBtn_ = namedButton("StopBtn", "Stop");
    connect(stopBtn_, &QPushButton::clicked, this, &MainWindow::StopBtnClick);
    auto* run = new QHBoxLayout;
    run->addWidget(runGen_, 1);
    run->addWidget(stopBtn_);
    layout->addLayout(run);

    progressBar2_ = new QProgressBar;
    progressBar2_->setObjectName("ProgressBar2");
    progressBar2_->setRange(0, 100);
    progressBar2_->setValue(0);
    layout->addWidget(buddy("Label18", "Ход расчета", progressBar2_));
    layout->addWidget(progressBar2_);

    auto track = [&](const char* name, const char* caption, const char* labelName, int pos) {
        auto* t = new QSlider(Qt::Horizontal);
        t->setObjectName(name);
        t->setRange(0, 100);
        t->setValue(pos);
        t->setTickInterval(5);
        t->setTickPosition(QSlider::TicksBelow);
        layout->addWidget(buddy(labelName, caption, t));
        layout->addWidget(t);
        return t;
    };
    trackBar1_ = track("TrackBar1", "Вероятность скрещивания", "Label19", 55);
    trackBar2_ = track("TrackBar2", "Вероятность мутаций", "Label20", 15);
    // A run in progress takes what the user sets from its next generation on.
    connect(trackBar1_, &QSlider::valueChanged, this, [this](int p) {
        if (run_ && !positionFromRun_) run_->steering.crossoverPosition = p;
    });
    connect(trackBar2_, &QSlider::valueChanged, this, [this](int p) {
        if (run_ && !positionFromRun_) run_->steering.mutationPosition = p;
    });

    copyBest_ = namedButton("btnCopyBest", u("Скопировать лучших"));
    connect(copyBest_, &QPushButton::clicked, this, &MainWindow::btnCopyBestClick);
    labeledEdit1_ = namedEdit("LabeledEdit1", "50");
    widthForText(labeledEdit1_, "00000");
    labeledEdit1_->setMaximumWidth(labeledEdit1_->minimumWidth() * 2);
    labeledEdit1_->setToolTip(u("Скопировать из популяции лучшие варианты и убрать столько же худших"));
    connect(labeledEdit1_, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (run_) run_->steering.setCopyBestCountText(ss(t));
    });
    auto* copy = new QHBoxLayout;
    copy->addWidget(copyBest_);
    copy->addWidget(labeledEdit1_);
    copy->addWidget(buddy("LabeledEdit1Label", "шт.", labeledEdit1_));
    copy->addStretch(1);
    layout->addLayout(copy);

    checkBoxProm_ = namedCheck("CheckBoxProm", u("Вывод хода расчета"), false);
    connect(checkBoxProm_, &QCheckBox::toggled, this, [this](bool on) {
        if (run_) run_->steering.detailedProgress = on;
    });
    layout->addWidget(checkBoxProm_);
    auto* save = namedButton("SaveFileBTN", u("Вывод в файл"));
    connect(save, &QPushButton::clicked, this, &MainWindow::SaveFileBTNClick);
    auto* saveRow = new QHBoxLayout;
    saveRow->addWidget(save);
    saveRow->addStretch(1);
    layout->addLayout(saveRow);
    layout->addStretch(1);
}

QWidget* MainWindow::buildPanel4() {
    QFrame* p = panel("Panel4");
    auto* grid = new QGridLayout(p);
    grid->setColumnStretch(0, 1);
    auto* file = namedButton("SpeedButton1", "File");
    connect(file, &QPushButton::clicked, this, &MainWindow::SpeedButton1Click);
    edit4_ = namedEdit("Edit4", {});
    grid->addWidget(buddy("Label9", "Файл данных по гарантийным срокам:", edit4_), 0, 0);
    grid->addWidget(file, 0, 1, Qt::AlignRight);
    grid->addWidget(edit4_, 1, 0, 1, 2);
    // The comment of a warranty file can be long.
    label15_ = new HeadingLabel("Label15");
    label15_->setHeading(u("Комментарий"));
    grid->addWidget(label15_, 2, 0, 1, 2);
    const QString sample = "00000,00";
    maskEdit1_ = fieldRow(grid, 3, "Label11", "Количество объектов для анализа", "MaskEdit1", "", sample);
    grid->addWidget(label("Label14", "Результат расчета параметров гарантийного срока"), 4, 0, 1, 2);
    maskEditSrednee_ =
        fieldRow(grid, 5, "Label12", "Среднее время гарантии, ч.", "MaskEditSrednee", "", sample);
    maskEditSKO_ = fieldRow(grid, 6, "Label13", "СКО времени гарантии, ч.", "MaskEditSKO", "", sample);
    return p;
}
void MainWindow::appendLog(const QString& line) {
    memo2_->appendPlainText(line);
    memo2_->verticalScrollBar()->setValue(memo2_->verticalScrollBar()->maximum());
}

QString MainWindow::dialogStart(FileKind kind) const {
    // A dialog starts at the last file of its own kind; failing that, in the
    // folder of the data file, never on a file of another kind.
    const QString last = kind == FileKind::FailureData     ? lastFailureFile_
                         : kind == FileKind::WarrantyTerms ? lastWarrantyFile_
                                                           : lastLogFile_;
    if (!last.isEmpty()) return last;
    QString data = loadedPath_;
    if (data.isEmpty() && QFileInfo(filePath_->text().trimmed()).isFile()) data = filePath_->text().trimmed();
    if (data.isEmpty()) return QDir::homePath();
    if (kind == FileKind::FailureData) return QFileInfo(data).absoluteFilePath();
    return QFileInfo(data).absolutePath();
}

QString MainWindow::chooseFile(FileKind kind, const QString& filter) {
    return QFileDialog::getOpenFileName(this, {}, dialogStart(kind), filter);
}

void MainWindow::OpenFileStartClick() {
    // Cancelling the dialog leaves everything as it was: re-reading the file
    // confirmed earlier would overwrite fields the user may have edited.
    const QString path =
        chooseFile(FileKind::FailureData, u("Файл данных по отказам (*.rel);;Все файлы (*)"));
    if (!path.isEmpty()) loadFailureFile(path);
}

void MainWindow::SpeedButton1Click() {
    const QString path =
        chooseFile(FileKind::WarrantyTerms, u("Файл времен гарантии (gar*.txt);;Все файлы (*)"));
    if (!path.isEmpty()) loadWarrantyFile(path);
}

bool MainWindow::loadFailureFile(const QString& path) {
    if (refusedWhileRunning()) return false;
    FailureLoad load;
    if (!guarded(this, [&] { load = loadFailureData(ss(path), fmt_, state_); })) return false;
    lastFailureFile_ = path;
    loadedPath_ = path;
    rememberDataFile(path);
    filePath_->setText(path);
    try {
        if (linkFile_ == LinkFile::Use) writeLinkFile(QDir::currentPath().toStdString(), ss(path));
    } catch (const Error&) {
        // Only a convenience for the next start; the data are loaded.
    }
    const FailureLoadFields& f = load.fields;
    label10_->setHeading(qs(f.comment));
    meSred_->setText(qs(f.censoringMeanText));
    meSKO_->setText(qs(f.censoringSdText));
    meKolAll_->setText(qs(f.fleetSizeText));
    meKolOtk_->setText(qs(f.failureCountText));
    labeledEdit2_->setText(qs(f.countingPeriodText));
    edit1_->setText(qs(f.spiralStepText));
    edit6_->setText(qs(f.newtonStepText));
    edit5_->setText(qs(f.smirnovStepText));
    edit2_->setText(qs(f.geneticPrecisionText));
    if (f.NPokoleny) nPokoleny_->setText(qs(*f.NPokoleny));
    form2_->setComment(qs(f.comment));
    for (const Warning& w : load.warnings)
        appendLog(qs(warningText(w, fmt_)));

    failures_->showLoad(load.remarks);
    const int widths[4] = {65, 90, 200, 1000};
    const QFontMetrics fm(massList_->horizontalHeader()->font());
    for (int c = 0; c < 4; ++c) {
        // The designed widths, or what the heading needs in this font.
        const QString heading = failures_->headerData(c, Qt::Horizontal).toString();
        massList_->setColumnWidth(c, std::max(widths[c], fm.horizontalAdvance(heading) + 14));
    }
    return true;
}

bool MainWindow::loadWarrantyFile(const QString& path) {
    if (refusedWhileRunning()) return false;
    WarrantyLoadFields f;
    if (!guarded(this, [&] { f = loadWarrantyTerms(ss(path), fmt_, state_); })) return false;
    lastWarrantyFile_ = path;
    edit4_->setText(qs(f.path));
    label15_->setHeading(qs(f.comment));
    maskEdit1_->setText(qs(f.termCountText));
    maskEditSrednee_->setText(qs(f.termMeanText));
    maskEditSKO_->setText(qs(f.termSdText));
    meSred_->setText(qs(f.censoringMeanText));
    meSKO_->setText(qs(f.censoringSdText));
    for (const Warning& w : f.warnings)
        appendLog(qs(warningText(w, fmt_)));
    return true;
}

void MainWindow::bbRaschetClick() {
    calculate();
}

bool MainWindow::refusedForAnotherPath() {
    const QString typed = filePath_->text().trimmed();
    // An empty field and a window without data have messages of their own.
    if (typed.isEmpty() || loadedPath_.isEmpty()) return false;
    if (QFileInfo(typed).absoluteFilePath() == QFileInfo(loadedPath_).absoluteFilePath()) return false;
    showError(this, {},
              u("Путь в поле «Файл исходных данных» (%1) не совпадает с загруженным файлом %2: нажмите Enter "
                "в поле "
                "пути, чтобы загрузить указанный файл, или кнопку «Путь»")
                  .arg(typed, loadedPath_));
    return true;
}

CalculationInputs MainWindow::calculationInputs() const {
    CalculationInputs f;
    f.dataPath = ss(filePath_->text());
    f.censoringMeanText = ss(meSred_->text());
    f.censoringSdText = ss(meSKO_->text());
    f.countingPeriodText = ss(labeledEdit2_->text());
    f.fit[ModelId::Spiral] = spirSpusk_->isChecked();
    f.fit[ModelId::Newton] = boxNewton_->isChecked();
    f.fit[ModelId::Smirnov] = boxSmirnow_->isChecked();
    f.fit[ModelId::Likelihood] = boxML_->isChecked();
    f.searchCensoringMean = sredFlag_->isChecked();
    f.searchCensoringSd = skoFlag_->isChecked();
    f.pearsonVariant = criteria_[0]->isChecked()   ? PearsonVariant::Standard
                       : criteria_[2]->isChecked() ? PearsonVariant::Spec2
                                                   : PearsonVariant::Spec1;
    f.spiralStepText = ss(edit1_->text());
    f.newtonStepText = ss(edit6_->text());
    f.smirnovStepText = ss(edit5_->text());
    return f;
}

bool MainWindow::calculate() {
    if (refusedWhileRunning() || refusedForAnotherPath()) return false;
    // The fields are refused here, at once; only the fits wait for the worker.
    PreparedCalculation prepared;
    if (!guarded(this, [&] { prepared = prepareCalculation(state_, calculationInputs(), fmt_); }))
        return false;
    // The results of the last calculation are not those being computed; a
    // calculation that fails or is stopped brings them back.
    const bool wasShown = form2_->isVisible();
    form2_->hide();
    startWork(
        WorkKind::Computation, u("Расчет"),
        [this, p = std::move(prepared), fmt = fmt_](const ProgressHooks& hooks) mutable -> ApplyResults {
            std::vector<std::string> lines;
            CalcOptions opt;
            opt.progress = hooks;
            CalcResult r = runPreparedCalculation(
                p, fmt, [&lines](const std::string& l) { lines.push_back(l); }, opt);
            return [this, state = std::move(p.state), r = std::move(r), lines = std::move(lines)]() mutable {
                state_ = std::move(state);
                for (const auto& l : lines)
                    appendLog(qs(l));
                form2_->fill(r.diagrams);
                form2_->show();
                form2_->raise();
                QApplication::beep();
            };
        },
        [this, wasShown](bool applied) {
            if (!applied && wasShown) form2_->show();
        });
    return true;
}

void MainWindow::Button1Click() {
    analyseNonParametric();
}

bool MainWindow::analyseNonParametric() {
    if (refusedWhileRunning() || refusedForAnotherPath()) return false;
    if (state_.MasProbl.empty()) {
        showError(this, {}, qs(kNoFailureData));
        return false;
    }
    startWork(WorkKind::Computation, u("Непараметрический анализ"),
              [this, state = state_, sred = ss(meSred_->text()), sko = ss(meSKO_->text()),
               fmt = fmt_](const ProgressHooks& hooks) mutable -> ApplyResults {
                  NonParamResult r = runNonParametric(state, sred, sko, fmt, hooks);
                  return [this, state = std::move(state), r = std::move(r)]() mutable {
                      state_ = std::move(state);
                      form3_->fill(r, fmt_);
                      form3_->show();
                      form3_->raise();
                  };
              });
    return true;
}

void MainWindow::startWork(WorkKind kind, const QString& what,
                           std::function<ApplyResults(const ProgressHooks&)> body,
                           std::function<void(bool)> ended) {
    work_ = std::make_unique<BackgroundWork>();
    BackgroundWork* w = work_.get();
    w->serial = ++workSerial_;
    w->kind = kind;
    w->what = what;
    w->ended = std::move(ended);
    setWorkLocks(true, kind);
    if (kind == WorkKind::Computation) {
        showWorkProgress();
        progressTimer_->start();
    }
    // The worker reads only what the body captured and writes only `w`.
    w->thread = std::thread([this, w, body = std::move(body)] {
        ProgressHooks hooks;
        hooks.cancel = &w->cancel;
        hooks.report = [w](const ProgressReport& r) {
            std::lock_guard<std::mutex> g(w->lock);
            w->latest = r;
        };
        try {
            w->apply = body(hooks);
        } catch (const Cancelled&) {
            w->cancelled = true;
        } catch (...) {
            w->failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this, [this, serial = w->serial] { workEnded(serial); }, Qt::QueuedConnection);
    });
}

void MainWindow::workEnded(quint64 serial) {
    // An end posted by work the closing window gave up.
    if (!work_ || work_->serial != serial) return;
    work_->thread.join();
    const std::unique_ptr<BackgroundWork> w = std::move(work_);
    progressTimer_->stop();
    setWorkLocks(false, w->kind);
    bool applied = false;
    if (w->cancelled)
        appendLog(w->what + u(" остановлен пользователем (") + qs(progressText(w->progress())) + u(")"));
    else if (w->failure)
        guarded(this, [&] { std::rethrow_exception(w->failure); });
    else
        applied = guarded(this, [&] { w->apply(); });
    if (w->ended) w->ended(applied);
    // A genetic run's end is told by its own signal, from `ended`.
    if (w->kind == WorkKind::GeneticRun) return;
    lastWorkApplied_ = applied;
    emit workFinished(applied);
}

void MainWindow::abandonWork() {
    if (!work_) return;
    // Every fit takes the request within a step of its search, and a genetic
    // run within its generation, so the join is short; the end the worker
    // posted finds no work and does nothing, and so does whatever else it
    // posted, which goes with the window or is dropped (closeWhenDone_).
    work_->cancel = true;
    if (run_) run_->control.abandon = true;
    work_->thread.join();
    const WorkKind kind = work_->kind;
    work_.reset();
    progressTimer_->stop();
    setWorkLocks(false, kind);
    if (kind == WorkKind::GeneticRun) {
        run_.reset();
        emit geneticRunFinished();
        return;
    }
    lastWorkApplied_ = false;
    emit workFinished(false);
}

bool MainWindow::waitForWork() {
    if (work_) {
        QEventLoop loop;
        connect(this, &MainWindow::workFinished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return lastWorkApplied_;
}

void MainWindow::bbStopClick() {
    if (work_) work_->cancel = true;
}

void MainWindow::showWorkProgress() {
    if (!work_) return;
    const ProgressReport r = work_->progress();
    if (r.stage.empty()) {
        workLabel_->setText(work_->what);
        workProgress_->setRange(0, 0); // nothing counted yet: a busy bar
        return;
    }
    workLabel_->setText(qs(progressText(r)));
    // A total past the bar's range cannot occur (a fit's passes are bounded),
    // but the bar is never handed a wrapped number.
    const auto clamp = [](long long v) {
        return static_cast<int>(std::clamp<long long>(v, 0, std::numeric_limits<int>::max()));
    };
    workProgress_->setRange(0, clamp(r.total));
    workProgress_->setValue(clamp(r.done));
}

void MainWindow::ReportClick() {
    saveAsInteractively(form2_, u("Отчёт"), pdfFileName(printName(label10_->text(), u("отчёт"))),
                        u("Документ PDF (*.pdf)"), "pdf",
                        [this](const QString& path) { return saveReport(path); });
}

bool MainWindow::saveReport(const QString& path) {
    if (refusedWhileRunning()) return false;
    // Nothing to report, or a file that cannot be written, is told before
    // anything is computed.
    if (!guarded(this, [&] {
            if (!hasReportResults(state_)) throw Error(kNoReportResults);
            checkWritable(ss(path));
        }))
        return false;
    std::vector<std::string> log;
    for (const QString& l : memo2_->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        log.push_back(ss(l));
    startWork(
        WorkKind::Computation, u("Отчёт"),
        [this, state = state_, sred = ss(meSred_->text()), sko = ss(meSKO_->text()), log = std::move(log),
         fmt = fmt_, path, file = loadedPath_](const ProgressHooks& hooks) mutable -> ApplyResults {
            Analysis filled = state;
            const DiagramsResult d = Diagrams(filled, fmt);
            const NonParamResult np = runNonParametric(state, sred, sko, fmt, hooks);
            auto report = std::make_shared<const AnalysisReport>(analysisReport(filled, d, np, log, fmt));
            // The charts are widgets: they are drawn on the window's thread.
            return [report, path, file] {
                BusyCursor busy;
                writeReportPdf(*report, reportPages(file), path);
            };
        });
    return true;
}

bool MainWindow::saveFailureListCsv(const QString& path) {
    BusyCursor busy;
    return guarded(this, [&] { writeFileSafely(ss(path), failures_->csv()); });
}

bool MainWindow::expand() {
    if (refusedWhileRunning()) return false;
    BusyCursor busy;
    return guarded(this, [&] {
        const ExpandResult r = ExpandDia_1(state_, fmt_);
        expandForm_->fill(r);
        expandForm_->showMaximized();
        expandForm_->raise();
    });
}

bool MainWindow::showProbabilityPlot() {
    if (refusedWhileRunning()) return false;
    BusyCursor busy;
    return guarded(this, [&] {
        const ProbabilityPlot plot = probabilityPlot(state_);
        probabilityPlot_->fill(plot, label10_->text(), fmt_);
        probabilityPlot_->show();
        probabilityPlot_->raise();
    });
}

void MainWindow::SaveFileBTNClick() {
    const QString path = QFileDialog::getSaveFileName(this, u("Вывод в файл"), dialogStart(FileKind::Log));
    if (!path.isEmpty() && exportLog(path)) lastLogFile_ = path;
}

bool MainWindow::exportLog(const QString& path) {
    QStringList lines = memo2_->toPlainText().split(QLatin1Char('\n'));
    // A memo ending with a line break has no further line.
    if (lines.size() > 1 && lines.back().isEmpty()) lines.removeLast();
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(lines.size()));
    for (const QString& l : lines)
        out.push_back(ss(l));
    return guarded(this, [&] { writeLogFile(ss(path), out); });
}

void MainWindow::ToolBRunGenOptimClick() {
    startGeneticRun();
}

bool MainWindow::refusedWhileRunning() {
    // The buttons are disabled during a run; this covers scripts and the
    // results window's "Expand", which would rewrite what the run reads or
    // show what the work is about to replace.
    if (workRunning()) {
        showError(this, {}, work_->what + u(" еще идет: дождитесь его окончания или нажмите «Стоп»"));
        return true;
    }
    if (!geneticRunning()) return false;
    showError(this, {}, u("Идет расчет генетическим алгоритмом: дождитесь его окончания или нажмите «Stop»"));
    return true;
}

bool MainWindow::workRunning() const {
    return work_ && work_->kind == WorkKind::Computation;
}

bool MainWindow::geneticRunning() const {
    return work_ && work_->kind == WorkKind::GeneticRun;
}

bool MainWindow::startGeneticRun() {
    if (refusedWhileRunning() || refusedForAnotherPath()) return false;
    form2_->hide();
    GeneticFields f;
    f.precisionText = ss(edit2_->text());
    f.populationSizeText = ss(edit3_->text());
    f.generationsText = ss(nPokoleny_->text());
    f.copyBestCountText = ss(labeledEdit1_->text());
    auto run = std::make_shared<GeneticRunData>(*this);
    GeneticOptions options;
    options.fmt = fmt_;
    // The run gets its copy of the state as startGenetic leaves it.
    if (!guarded(this, [&] {
            const GeneticSettings settings = startGenetic(state_, f, fmt_);
            run->gen = std::make_unique<TGen>(state_, settings, run->host, run->control, options);
        }))
        return false;
    run->steering.crossoverPosition = trackBar1_->value();
    run->steering.mutationPosition = trackBar2_->value();
    run->steering.setCopyBestCountText(ss(labeledEdit1_->text()));
    run->steering.detailedProgress = checkBoxProm_->isChecked();
    run_ = run;
    // The bar keeps where the last run ended, stopped or not, until a new one starts.
    progressBar2_->setValue(0);
    startWork(
        WorkKind::GeneticRun, u("Генетический алгоритм"),
        [this, run](const ProgressHooks&) -> ApplyResults {
            std::string error;
            try {
                run->gen->Execute();
            } catch (const std::exception& e) {
                error = e.what();
            }
            return [this, result = run->gen->result(), error] {
                // What the run carries over into the next one is kept even
                // when it found no usable law.
                applyGeneticResult(state_, result);
                if (closeWhenDone_) return;
                if (!error.empty()) {
                    showError(this, {}, qs(error));
                    return;
                }
                guarded(this, [this] {
                    form2_->fill(Diagrams(state_, fmt_));
                    form2_->show();
                    form2_->raise();
                });
            };
        },
        [this](bool) {
            run_.reset();
            emit geneticRunFinished();
            if (closeWhenDone_) close();
        });
    return true;
}

void MainWindow::setRunLocks(bool running) {
    // Everything that would rebuild or replace the state the run reads.
    for (QWidget* w :
         std::initializer_list<QWidget*>{runGen_, edit3_, edit2_, bbRaschet_, button1_, sredFlag_, skoFlag_})
        w->setEnabled(!running);
    for (const char* name : {"OpenFileStart", "SpeedButton1"})
        if (auto* b = findChild<QPushButton*>(name)) b->setEnabled(!running);
}

void MainWindow::setWorkLocks(bool running, WorkKind kind) {
    setRunLocks(running);
    // A genetic run has its own tab's progress bar and Stop.
    if (kind == WorkKind::GeneticRun) return;
    // The fields the work was started with: it has its own copy, but what
    // the window shows afterwards must be what was computed.
    for (QWidget* w : std::initializer_list<QWidget*>{filePath_, meSred_, meSKO_, labeledEdit2_, edit1_,
                                                      edit6_, edit5_, spirSpusk_, boxNewton_, boxSmirnow_,
                                                      boxML_, criteria_[0], criteria_[1], criteria_[2]})
        w->setEnabled(!running);
    for (QWidget* w : std::initializer_list<QWidget*>{workLabel_, workProgress_, bbStop_})
        w->setVisible(running);
}

void MainWindow::StopBtnClick() {
    if (run_) run_->control.Stop_Gen = true;
}

void MainWindow::btnCopyBestClick() {
    if (run_) run_->control.bCopyBest = true;
}

void MainWindow::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (sized_) return;
    sized_ = true;
    // The data panel as wide as its captions need on one line, where the
    // window has the room; the log takes the rest.
    const int captions =
        fontMetrics().horizontalAdvance(u("Общее количество объектов в гарантийной эксплуатации"));
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    const int panel = captions + meKolAll_->width() + 6 * margin;
    const int room = topSplitter_->width() - memo2_->minimumWidth() - topSplitter_->handleWidth();
    topSplitter_->setSizes({std::min(panel, room), topSplitter_->width()});
}

void MainWindow::closeEvent(QCloseEvent* e) {
    // A genetic run may have taken hours: it is lost only when the user says
    // so. The run goes on while the question is open and may end meanwhile.
    if (geneticRunning() && !closeWhenDone_ &&
        !askYesNo(this, {}, u("Генетический алгоритм ещё работает. Остановить его и закрыть программу?"))) {
        e->ignore();
        return;
    }
    if (geneticRunning()) {
        // Closed once the run has finished its generation; nothing more is shown.
        closeWhenDone_ = true;
        run_->control.abandon = true;
        e->ignore();
        return;
    }
    abandonWork();
    QMainWindow::closeEvent(e);
}

} // namespace relan::gui
