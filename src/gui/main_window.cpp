#include "main_window.hpp"

#include "expand_window.hpp"
#include "messages.hpp"
#include "nonparam_window.hpp"
#include "qt_text.hpp"
#include "results_window.hpp"

#include "relan/calculation.hpp"
#include "relan/error.hpp"
#include "relan/genetic.hpp"
#include "relan/input_files.hpp"
#include "relan/nonparam.hpp"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QTableWidget>

#include <algorithm>
#include <chrono>

namespace relan::gui {
namespace {

QString u(const char* text) { return QString::fromUtf8(text); }

// The busy cursor, restored however the action ends.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

QLabel* label(QWidget* parent, const char* name, const char* text, int x, int y, int w, int h = 18) {
    auto* l = new QLabel(u(text), parent);
    l->setObjectName(name);
    l->setGeometry(x, y, w, h);
    return l;
}

QLineEdit* edit(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    e->setGeometry(x, y, w, 22);
    return e;
}

// An edit field with its label to the right, named "<edit>Label".
QLineEdit* labelledEdit(QWidget* parent, const char* name, const char* caption, int x, int y, int w,
                        int labelWidth) {
    QLineEdit* e = edit(parent, name, {}, x, y, w);
    auto* l = new QLabel(u(caption), parent);
    l->setObjectName(QString::fromLatin1(name) + "Label");
    l->setGeometry(x + w + 2, y + 2, labelWidth, 18);
    l->setBuddy(e);
    return e;
}

QPushButton* button(QWidget* parent, const char* name, const char* text, int x, int y, int w, int h) {
    auto* b = new QPushButton(u(text), parent);
    b->setObjectName(name);
    b->setGeometry(x, y, w, h);
    return b;
}

QCheckBox* check(QWidget* parent, const char* name, const char* text, bool on, int x, int y, int w) {
    auto* c = new QCheckBox(u(text), parent);
    c->setObjectName(name);
    c->setChecked(on);
    c->setGeometry(x, y, w, 22);
    return c;
}

QWidget* panel(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* p = new QFrame(parent);
    p->setObjectName(name);
    p->setFrameShape(QFrame::StyledPanel);
    p->setGeometry(x, y, w, h);
    return p;
}

} // namespace

// The run's calls to the window, each made on the user-interface thread with
// the run waiting for it. Once the window is going away they return at once.
class WindowGeneticHost : public GeneticHost {
public:
    explicit WindowGeneticHost(MainWindow& w) : w_(w) {}

    int trackBar1Position() override { return value([this] { return w_.trackBar1_->value(); }, 0); }
    void setTrackBar1Position(int p) override { ui([&] { w_.trackBar1_->setValue(p); }); }
    int trackBar2Position() override { return value([this] { return w_.trackBar2_->value(); }, 0); }
    void setTrackBar2Position(int p) override { ui([&] { w_.trackBar2_->setValue(p); }); }
    std::string copyBestCountText() override {
        return value([this] { return ss(w_.labeledEdit1_->text()); }, std::string("0"));
    }
    void setGenerationsText(const std::string& t) override { ui([&] { w_.nPokoleny_->setText(qs(t)); }); }
    bool detailedProgress() override { return value([this] { return w_.checkBoxProm_->isChecked(); }, false); }
    void setProgress(int p) override { ui([&] { w_.progressBar2_->setValue(p); }); }
    void appendLog(const std::string& line) override { ui([&] { w_.appendLog(qs(line)); }); }
    void appendLogLines(const std::vector<std::string>& lines) override {
        ui([&] {
            QStringList all;
            for (const auto& l : lines) all << qs(l);
            w_.appendLog(all.join(QLatin1Char('\n')));
        });
    }
    void showResults() override {
        ui([this] {
            guarded(&w_, [this] {
                w_.form2_->fill(Diagrams(w_.state_, w_.fmt_));
                w_.form2_->show();
                w_.form2_->raise();
            });
        });
    }

private:
    template <class F>
    void ui(F&& f) {
        if (w_.closing_) return;
        QMetaObject::invokeMethod(&w_, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }
    template <class F, class T>
    T value(F&& f, T whenClosing) {
        T r = whenClosing;
        ui([&] { r = f(); });
        return r;
    }

    MainWindow& w_;
};

struct GeneticRunData {
    explicit GeneticRunData(MainWindow& w) : host(w) {}
    WindowGeneticHost host;
    GeneticControl control;
    std::unique_ptr<TGen> gen;
    std::string error;
};

MainWindow::MainWindow(QWidget* parent, LinkFile linkFile, const NumberFormat& fmt)
    : QMainWindow(parent), fmt_(fmt), linkFile_(linkFile) {
    setObjectName("Form1");
    setWindowTitle(u("Анализ надежности в эксплуатации.  v.4.1"));
    auto* central = new QWidget(this);
    central->setObjectName("Form1Client");
    setCentralWidget(central);
    // The layout is in pixels, drawn for a compact 11 px system font.
    QFont compact = font();
    compact.setPixelSize(11);
    central->setFont(compact);
    setFixedSize(1206, 675);

    label10_ = new QLabel(central);
    label10_->setObjectName("Label10");
    label10_->setFont(headingFont());
    label10_->setGeometry(6, 0, 720, 34);

    buildPageControl(central);
    buildPanel1(central);
    buildPanel4(central);

    memo2_ = new QPlainTextEdit(central);
    memo2_->setObjectName("Memo2");
    memo2_->setGeometry(731, 0, 468, 203);
    memo2_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo2_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo2_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo2_->setPlainText(u("Ход решения"));

    massList_ = new QTableWidget(24, 4, central);
    massList_->setObjectName("Mass_List");
    massList_->setGeometry(326, 200, 877, 475);
    massList_->verticalHeader()->hide();
    massList_->horizontalHeader()->setDefaultSectionSize(100);
    massList_->verticalHeader()->setDefaultSectionSize(20);
    massList_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    massList_->horizontalHeader()->setStyleSheet("QHeaderView::section { background-color: palette(tooltip-base); }");
    massList_->setToolTip(u("Данные из файла об отказах изделий"));
    massList_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    for (int c = 0; c < 4; ++c) massList_->setHorizontalHeaderItem(c, new QTableWidgetItem);

    // A Linux user expects the remembered file, or the home folder, here.
    const auto remembered =
        linkFile_ == LinkFile::Use ? readLinkFile(QDir::currentPath().toStdString()) : std::nullopt;
    filePath_->setText(remembered ? qs(*remembered) : QDir::homePath());
    edit4_->setText(QDir::homePath());

    // The windows are created in this order and stay hidden until used.
    form2_ = new ResultsWindow(this);
    form3_ = new NonParamWindow(this);
    expandForm_ = new ExpandWindow(this);
    connect(form2_, &ResultsWindow::expandRequested, this, &MainWindow::expand);
}

MainWindow::~MainWindow() {
    if (!worker_.joinable()) return;
    // The run ends after its current generation; its calls to the window are
    // answered until then, so it cannot wait for a window that is gone.
    closing_ = true;
    run_->control.Stop_Gen = true;
    while (worker_.joinable()) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void MainWindow::buildPanel1(QWidget* parent) {
    QWidget* p = panel(parent, "Panel1", 320, 33, 413, 170);
    label(p, "Label1", "Файл исходных данных:", 8, 6, 300);
    auto* open = button(p, "OpenFileStart", "Путь", 318, 2, 88, 24);
    open->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    open->setToolTip(u("Файл содержит строки комментария, среднего времени окончания гарантии, СКО гарантии, парка, "
                       "числа всех отказов и массив времен отказов"));
    open->setDefault(true);
    open->setAutoDefault(true);
    connect(open, &QPushButton::clicked, this, &MainWindow::OpenFileStartClick);
    filePath_ = edit(p, "FilePath", {}, 8, 28, 398);
    // Enter in the path field loads the file typed there.
    connect(filePath_, &QLineEdit::returnPressed, this, [this] { loadFailureFile(filePath_->text().trimmed()); });

    label(p, "Label2", "Общее количество объектов в гарантийной эксплуатации", 6, 54, 346);
    meKolAll_ = edit(p, "meKolAll", {}, 352, 52, 56);
    label(p, "Label3", "Количество несвязных отказов 2-3 групп сложности", 6, 77, 346);
    meKolOtk_ = edit(p, "meKolOtk", {}, 352, 75, 56);

    meSred_ = labelledEdit(p, "meSred", " Среднее время гарантии", 8, 99, 90, 300);
    p->findChild<QLabel*>("meSredLabel")->setToolTip(u("Среднее время наблюдений"));
    meSKO_ = labelledEdit(p, "meSKO", " СКО времени гарантии", 8, 122, 90, 300);
    labeledEdit2_ = labelledEdit(p, "LabeledEdit2", " Период учета отказов на 1 изделие, ч", 8, 145, 90, 300);
    p->findChild<QLabel*>("LabeledEdit2Label")->setToolTip(u("Среднее время наблюдений"));
}

void MainWindow::buildPageControl(QWidget* parent) {
    // Three tabs shown as buttons, one row each: their captions are too long
    // to share a row in this width.
    auto* pc = new QWidget(parent);
    pc->setObjectName("PageControl");
    pc->setGeometry(2, 38, 318, 455);
    tabs_ = new QButtonGroup(pc);
    tabs_->setExclusive(true);
    const struct {
        const char* name;
        const char* caption;
        QRect place;
    } tabDefs[] = {
        {"TabSheet1", "1. Подбор параметров распределения (основной)", {0, 0, 318, 24}},
        {"TabSheet2", "2. Генетический алгоритм", {0, 24, 318, 24}},
        {"TabSheet3", "3. Непараметрич. обработка", {0, 48, 318, 24}},
    };
    pages_ = new QStackedWidget(pc);
    pages_->setObjectName("PageControlPages");
    pages_->setGeometry(0, 74, 318, 381);
    for (int i = 0; i < 3; ++i) {
        auto* b = button(pc, tabDefs[i].name, tabDefs[i].caption, tabDefs[i].place.x(), tabDefs[i].place.y(),
                         tabDefs[i].place.width(), tabDefs[i].place.height());
        b->setCheckable(true);
        b->setAutoDefault(false);
        tabs_->addButton(b, i);
        auto* page = new QFrame;
        page->setFrameShape(QFrame::StyledPanel);
        page->setObjectName(i == 0 ? "Panel2" : i == 1 ? "Panel3" : "Panel5");
        pages_->addWidget(page);
    }
    connect(tabs_, &QButtonGroup::idClicked, pages_, &QStackedWidget::setCurrentIndex);
    tabs_->button(0)->setChecked(true);
    pages_->setCurrentIndex(0);

    buildPanel2(pages_->widget(0));
    buildPanel3(pages_->widget(1));
    QWidget* third = pages_->widget(2);
    button1_ = button(third, "Button1", "Анализ непараметрический", 20, 20, 276, 40);
    QFont bold = button1_->font();
    bold.setBold(true);
    button1_->setFont(bold);
    button1_->setAutoDefault(false);
    connect(button1_, &QPushButton::clicked, this, &MainWindow::Button1Click);
}

void MainWindow::buildPanel2(QWidget* p) {
    label(p, "Label4", "Особенности  расчета параметров модели", 8, 6, 300);
    const QString hint = u("Минимум попадпний в столбец гистограммы");
    label(p, "Label5", "Коэф-т уменьшения шага модели 1.1", 8, 34, 220);
    edit1_ = edit(p, "Edit1", "1.00025", 228, 32, 80);
    edit1_->setPlaceholderText(hint);
    label(p, "Label17", "Коэф-т уменьшения шага модели 1.2", 8, 60, 220);
    edit6_ = edit(p, "Edit6", "1.00025", 228, 58, 80);
    edit6_->setPlaceholderText(hint);
    label(p, "Label16", "Коэф-т уменьшения шага модели 2", 8, 86, 220);
    edit5_ = edit(p, "Edit5", "1.0005", 228, 84, 80);

    const QString tight = "QCheckBox { spacing: 3px; }";
    spirSpusk_ = check(p, "SpirSpusk", "Модель 1.1 по Пирсону, метод спирального спуска ", true, 4, 114, 312);
    boxNewton_ = check(p, "BoxNewton", "Модель 1.2 по Пирсону, метод Ньютона ", false, 4, 138, 312);
    boxSmirnow_ = check(p, "BoxSmirnow", "Модель 2 (по Смирнову)", false, 4, 162, 312);
    sredFlag_ = check(p, "Sred_flag", "Подбор СВН", false, 8, 190, 140);
    skoFlag_ = check(p, "SKO_Flag", "Подбор СКО", false, 160, 190, 140);
    for (QCheckBox* c : {spirSpusk_, boxNewton_, boxSmirnow_}) c->setStyleSheet(tight);

    auto* group = new QGroupBox(u("Критерии подбора закона распределения"), p);
    group->setObjectName("RadioGroup1");
    group->setGeometry(8, 218, 300, 96);
    const char* items[3] = {"Стандарт", "Спец 1", "Спец 2"};
    for (int i = 0; i < 3; ++i) {
        criteria_[i] = new QRadioButton(u(items[i]), group);
        criteria_[i]->setObjectName(QString("RadioGroup1Item%1").arg(i));
        criteria_[i]->setGeometry(12, 22 + 23 * i, 270, 22);
    }
    criteria_[1]->setChecked(true);

    bbRaschet_ = button(p, "bbRaschet", "Расчет", 8, 320, 300, 52);
    bbRaschet_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    bbRaschet_->setIconSize(QSize(24, 24));
    QFont f = bbRaschet_->font();
    f.setBold(true);
    f.setPixelSize(16);
    bbRaschet_->setFont(f);
    bbRaschet_->setAutoDefault(false);
    connect(bbRaschet_, &QPushButton::clicked, this, &MainWindow::bbRaschetClick);
}

void MainWindow::buildPanel3(QWidget* p) {
    label(p, "Label6", "Точность подбора", 8, 10, 190);
    edit2_ = edit(p, "Edit2", "0.0000001", 200, 8, 108);
    label(p, "Label7", "Размер популяции", 8, 36, 190);
    edit3_ = edit(p, "Edit3", "3000", 200, 34, 108);
    label(p, "Label8", "Число поколений", 8, 62, 190);
    nPokoleny_ = edit(p, "NPokoleny", "1500", 200, 60, 108);

    runGen_ = button(p, "ToolBRunGenOptim", "Расчет (генетический алгоритм)", 8, 90, 226, 30);
    runGen_->setAutoDefault(false);
    connect(runGen_, &QPushButton::clicked, this, &MainWindow::ToolBRunGenOptimClick);
    stopBtn_ = button(p, "StopBtn", "Stop", 240, 90, 68, 30);
    stopBtn_->setAutoDefault(false);
    connect(stopBtn_, &QPushButton::clicked, this, &MainWindow::StopBtnClick);

    label(p, "Label18", "Ход расчета", 8, 126, 300);
    progressBar2_ = new QProgressBar(p);
    progressBar2_->setObjectName("ProgressBar2");
    progressBar2_->setRange(0, 100);
    progressBar2_->setValue(0);
    progressBar2_->setGeometry(8, 144, 300, 18);

    auto track = [p](const char* name, const char* caption, const char* labelName, int pos, int y) {
        label(p, labelName, caption, 8, y, 300);
        auto* t = new QSlider(Qt::Horizontal, p);
        t->setObjectName(name);
        t->setRange(0, 100);
        t->setValue(pos);
        t->setTickInterval(5);
        t->setTickPosition(QSlider::TicksBelow);
        t->setGeometry(8, y + 18, 300, 28);
        return t;
    };
    trackBar1_ = track("TrackBar1", "Вероятность скрещивания", "Label19", 55, 168);
    trackBar2_ = track("TrackBar2", "Вероятность мутаций", "Label20", 15, 218);

    copyBest_ = button(p, "btnCopyBest", "Скопировать лучших", 8, 274, 180, 26);
    copyBest_->setAutoDefault(false);
    connect(copyBest_, &QPushButton::clicked, this, &MainWindow::btnCopyBestClick);
    labeledEdit1_ = edit(p, "LabeledEdit1", "50", 196, 276, 60);
    labeledEdit1_->setToolTip(u("Скопировать из популяции лучшие варианты и убрать столько же худших"));
    label(p, "LabeledEdit1Label", "шт.", 262, 278, 40);
    checkBoxProm_ = check(p, "CheckBoxProm", "Вывод хода расчета", false, 8, 308, 300);
    auto* save = button(p, "SaveFileBTN", "Вывод в файл", 8, 340, 150, 28);
    save->setAutoDefault(false);
    connect(save, &QPushButton::clicked, this, &MainWindow::SaveFileBTNClick);
}

void MainWindow::buildPanel4(QWidget* parent) {
    QWidget* p = panel(parent, "Panel4", 0, 492, 320, 180);
    label(p, "Label9", "Файл данных по гарантийным срокам:", 6, 5, 240);
    auto* file = button(p, "SpeedButton1", "File", 250, 2, 64, 24);
    file->setAutoDefault(false);
    connect(file, &QPushButton::clicked, this, &MainWindow::SpeedButton1Click);
    edit4_ = edit(p, "Edit4", {}, 6, 28, 308);
    label15_ = label(p, "Label15", "Комментарий", 6, 53, 308);
    label(p, "Label11", "Количество объектов для анализа", 6, 76, 214);
    maskEdit1_ = edit(p, "MaskEdit1", {}, 224, 74, 90);
    label(p, "Label14", "Результат расчета параметров гарантийного срока", 6, 100, 308);
    label(p, "Label12", "Среднее время гарантии, ч.", 6, 124, 214);
    maskEditSrednee_ = edit(p, "MaskEditSrednee", {}, 224, 122, 90);
    label(p, "Label13", "СКО времени гарантии, ч.", 6, 150, 214);
    maskEditSKO_ = edit(p, "MaskEditSKO", {}, 224, 148, 90);
}

void MainWindow::appendLog(const QString& line) {
    memo2_->appendPlainText(line);
    memo2_->verticalScrollBar()->setValue(memo2_->verticalScrollBar()->maximum());
}

QString MainWindow::chooseFile(const QString& filter) {
    QString start = lastConfirmed_;
    if (start.isEmpty()) {
        const QFileInfo typed(filePath_->text());
        start = typed.exists() ? typed.absoluteFilePath() : QDir::homePath();
    }
    const QString chosen = QFileDialog::getOpenFileName(this, {}, start, filter);
    if (!chosen.isEmpty()) lastConfirmed_ = chosen;
    return chosen;
}

void MainWindow::OpenFileStartClick() {
    // Cancelling the dialog leaves everything as it was: re-reading the file
    // confirmed earlier would overwrite fields the user may have edited.
    const QString path = chooseFile(u("Файл данных по отказам (*.rel);;Все файлы (*)"));
    if (!path.isEmpty()) loadFailureFile(path);
}

void MainWindow::SpeedButton1Click() {
    const QString path = chooseFile(u("Файл времен гарантии (gar*.txt);;Все файлы (*)"));
    if (!path.isEmpty()) loadWarrantyFile(path);
}

bool MainWindow::loadFailureFile(const QString& path) {
    if (refusedWhileRunning()) return false;
    FailureLoad load;
    if (!guarded(this, [&] { load = loadFailureData(ss(path), fmt_, state_); })) return false;
    lastConfirmed_ = path;
    loadedPath_ = path;
    filePath_->setText(path);
    try {
        if (linkFile_ == LinkFile::Use) writeLinkFile(QDir::currentPath().toStdString(), ss(path));
    } catch (const Error&) {
        // Only a convenience for the next start; the data are loaded.
    }
    const FailureLoadFields& f = load.fields;
    label10_->setText(qs(f.Label10));
    meSred_->setText(qs(f.meSred));
    meSKO_->setText(qs(f.meSKO));
    meKolAll_->setText(qs(f.meKolAll));
    meKolOtk_->setText(qs(f.meKolOtk));
    labeledEdit2_->setText(qs(f.LabeledEdit2));
    edit1_->setText(qs(f.Edit1));
    edit6_->setText(qs(f.Edit6));
    edit5_->setText(qs(f.Edit5));
    edit2_->setText(qs(f.Edit2));
    if (f.NPokoleny) nPokoleny_->setText(qs(*f.NPokoleny));
    form2_->setComment(qs(f.Label10));

    const int widths[4] = {65, 90, 200, 1000};
    massList_->clearContents();
    massList_->setRowCount(std::max(1, static_cast<int>(load.grid.size()) - 1));
    const QFontMetrics fm(massList_->horizontalHeader()->font());
    for (int c = 0; c < 4; ++c) {
        const QString heading = qs(load.grid[0][c]);
        // The designed widths, or what the heading needs in this font.
        massList_->setColumnWidth(c, std::max(widths[c], fm.horizontalAdvance(heading) + 14));
        massList_->horizontalHeaderItem(c)->setText(heading);
    }
    for (std::size_t r = 1; r < load.grid.size(); ++r)
        for (int c = 0; c < 4; ++c)
            massList_->setItem(static_cast<int>(r) - 1, c, new QTableWidgetItem(qs(load.grid[r][c])));
    return true;
}

bool MainWindow::loadWarrantyFile(const QString& path) {
    if (refusedWhileRunning()) return false;
    WarrantyLoadFields f;
    if (!guarded(this, [&] { f = loadWarrantyTerms(ss(path), fmt_, state_); })) return false;
    lastConfirmed_ = path;
    edit4_->setText(qs(f.Edit4));
    label15_->setText(qs(f.Label15));
    maskEdit1_->setText(qs(f.MaskEdit1));
    maskEditSrednee_->setText(qs(f.MaskEditSrednee));
    maskEditSKO_->setText(qs(f.MaskEditSKO));
    meSred_->setText(qs(f.meSred));
    meSKO_->setText(qs(f.meSKO));
    return true;
}

void MainWindow::bbRaschetClick() { calculate(); }

bool MainWindow::refusedForAnotherPath() {
    const QString typed = filePath_->text().trimmed();
    // An empty field and a window without data have messages of their own.
    if (typed.isEmpty() || loadedPath_.isEmpty()) return false;
    if (QFileInfo(typed).absoluteFilePath() == QFileInfo(loadedPath_).absoluteFilePath()) return false;
    showError(this, {},
              u("Путь в поле «Файл исходных данных» (%1) не совпадает с загруженным файлом %2: нажмите Enter в поле "
                "пути, чтобы загрузить указанный файл, или кнопку «Путь»")
                  .arg(typed, loadedPath_));
    return true;
}

bool MainWindow::calculate() {
    if (refusedWhileRunning() || refusedForAnotherPath()) return false;
    // A refused calculation brings back the results it had closed.
    const bool wasShown = form2_->isVisible();
    form2_->hide();
    CalcFields f;
    f.FilePath = ss(filePath_->text());
    f.meSred = ss(meSred_->text());
    f.meSKO = ss(meSKO_->text());
    f.LabeledEdit2 = ss(labeledEdit2_->text());
    f.SpirSpusk = spirSpusk_->isChecked();
    f.BoxNewton = boxNewton_->isChecked();
    f.BoxSmirnow = boxSmirnow_->isChecked();
    f.Sred_flag = sredFlag_->isChecked();
    f.SKO_Flag = skoFlag_->isChecked();
    f.RadioGroup1 = criteria_[0]->isChecked()   ? PearsonVariant::Standard
                    : criteria_[2]->isChecked() ? PearsonVariant::Spec2
                                                : PearsonVariant::Spec1;
    f.Edit1 = ss(edit1_->text());
    f.Edit6 = ss(edit6_->text());
    f.Edit5 = ss(edit5_->text());

    std::optional<CalcResult> result;
    {
        BusyCursor busy;
        const LogSink log = [this](const std::string& line) { appendLog(qs(line)); };
        if (!guarded(this, [&] {
                result = runCalculation(state_, f, fmt_, log);
                if (result) form2_->fill(result->diagrams);
            })) {
            if (wasShown) form2_->show();
            return false;
        }
    }
    if (!result) return false;
    form2_->show();
    form2_->raise();
    QApplication::beep();
    return true;
}

void MainWindow::Button1Click() { analyseNonParametric(); }

bool MainWindow::analyseNonParametric() {
    if (refusedWhileRunning() || refusedForAnotherPath()) return false;
    if (state_.MasProbl.empty()) {
        showError(this, {}, qs(kNoFailureData));
        return false;
    }
    BusyCursor busy;
    return guarded(this, [&] {
        const NonParamResult r = runNonParametric(state_, ss(meSred_->text()), ss(meSKO_->text()), fmt_);
        form3_->fill(r, fmt_);
        form3_->show();
        form3_->raise();
    });
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

void MainWindow::SaveFileBTNClick() {
    const QString path = QFileDialog::getSaveFileName(this, u("Вывод в файл"), QDir::homePath());
    if (!path.isEmpty()) exportLog(path);
}

bool MainWindow::exportLog(const QString& path) {
    QStringList lines = memo2_->toPlainText().split(QLatin1Char('\n'));
    // A memo ending with a line break has no further line.
    if (lines.size() > 1 && lines.back().isEmpty()) lines.removeLast();
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(lines.size()));
    for (const QString& l : lines) out.push_back(ss(l));
    return guarded(this, [&] { writeLogFile(ss(path), out); });
}

void MainWindow::ToolBRunGenOptimClick() { startGeneticRun(); }

bool MainWindow::refusedWhileRunning() {
    // The buttons are disabled during a run; this covers scripts and the
    // results window's "Expand", which would rewrite what the run reads.
    if (!geneticRunning()) return false;
    showError(this, {}, u("Идет расчет генетическим алгоритмом: дождитесь его окончания или нажмите «Stop»"));
    return true;
}

bool MainWindow::startGeneticRun() {
    if (geneticRunning() || refusedForAnotherPath()) return false;
    form2_->hide();
    GeneticFields f;
    f.Edit2 = ss(edit2_->text());
    f.Edit3 = ss(edit3_->text());
    f.NPokoleny = ss(nPokoleny_->text());
    f.LabeledEdit1 = ss(labeledEdit1_->text());
    auto data = std::make_unique<GeneticRunData>(*this);
    GeneticOptions options;
    options.fmt = fmt_;
    if (!guarded(this, [&] {
            const GeneticSettings settings = startGenetic(state_, f, fmt_);
            data->gen = std::make_unique<TGen>(state_, settings, data->host, data->control, options);
        }))
        return false;
    run_ = std::move(data);
    setRunLocks(true);
    // The bar keeps where the last run ended, stopped or not, until a new one starts.
    progressBar2_->setValue(0);
    GeneticRunData* run = run_.get();
    worker_ = std::thread([this, run] {
        try {
            run->gen->Execute();
        } catch (const std::exception& e) {
            run->error = e.what();
        }
        QMetaObject::invokeMethod(this, [this] { ThreadTerminated(); }, Qt::QueuedConnection);
    });
    return true;
}

void MainWindow::ThreadTerminated() {
    if (worker_.joinable()) worker_.join();
    const std::string error = run_ ? run_->error : std::string();
    run_.reset();
    setRunLocks(false);
    if (!closing_ && !error.empty()) showError(this, {}, qs(error));
    emit geneticRunFinished();
    if (closeWhenDone_) close();
}

void MainWindow::setRunLocks(bool running) {
    // Everything that would rebuild or replace the state the run reads.
    for (QWidget* w : std::initializer_list<QWidget*>{runGen_, edit3_, edit2_, bbRaschet_, button1_, sredFlag_, skoFlag_})
        w->setEnabled(!running);
    for (const char* name : {"OpenFileStart", "SpeedButton1"})
        if (auto* b = findChild<QPushButton*>(name)) b->setEnabled(!running);
}

void MainWindow::StopBtnClick() {
    if (run_) run_->control.Stop_Gen = true;
}

void MainWindow::btnCopyBestClick() {
    if (run_) run_->control.bCopyBest = true;
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (geneticRunning()) {
        // Closed once the run has finished its generation; nothing more is shown.
        closing_ = true;
        closeWhenDone_ = true;
        run_->control.Stop_Gen = true;
        e->ignore();
        return;
    }
    QMainWindow::closeEvent(e);
}

} // namespace relan::gui
