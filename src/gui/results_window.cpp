#include "results_window.hpp"

#include "file_dialogs.hpp"
#include "flow_chart.hpp"
#include "frozen_table.hpp"
#include "heading_label.hpp"
#include "messages.hpp"
#include "printing.hpp"
#include "qt_text.hpp"
#include "widgets.hpp"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "relan/csv.hpp"
#include "relan/file_io.hpp"

#include <algorithm>

namespace relan::gui {

ChartLook accumulatedFlowLook() {
    ChartLook look;
    look.legend = false;
    look.rightRange = std::make_pair(0.0, 100.0);
    return look;
}

ResultsWindow::ResultsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Form2");
    setWindowTitle(titleWithVersion(
        "Количественный анализ закона распределения отказов. Анализ надежности в эксплуатации.  v."));

    label10_ = new HeadingLabel("Label10");
    label10_->setHeading(QString::fromUtf8("Комментарий"));
    label10_->setFont(headingFont());

    QPushButton* expand = namedButton("Button2", "Expand");
    QPushButton* print = namedButton("Button1", QString::fromUtf8("Печать"));
    QPushButton* cont = namedButton("Prodolgenie", QString::fromUtf8("Продолж."));
    connect(expand, &QPushButton::clicked, this, &ResultsWindow::expandRequested);
    connect(print, &QPushButton::clicked, this, [this] {
        printInteractively(
            this, printName(label10_->text(), QString::fromUtf8("результаты")),
            [this](QPagedPaintDevice& device, int resolution) { return this->print(device, resolution); });
    });
    connect(cont, &QPushButton::clicked, this, &QWidget::hide);
    probability_ = namedButton("ButtonProbability", QString::fromUtf8("Вероятностная бумага"));
    probability_->setToolTip(
        QString::fromUtf8("Модель МП и отказы с учетом цензурирования на вероятностной бумаге Вейбулла"));
    probability_->setEnabled(false);
    connect(probability_, &QPushButton::clicked, this, &ResultsWindow::probabilityPlotRequested);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* report = namedButton("ButtonReport", QString::fromUtf8("Отчёт…"));
    report->setToolTip(QString::fromUtf8(
        "Отчёт в PDF: данные, гистограмма, результаты всех моделей, графики и ход решения"));
    connect(report, &QPushButton::clicked, this, &ResultsWindow::reportRequested);
    for (QPushButton* b : {probability_, report, expand, print, cont}) {
        b->setMinimumHeight(b->sizeHint().height() * 3 / 2);
        buttons->addWidget(b);
    }

    grid_ = new FrozenColumnsTable(kTableRows, kTableColumns);
    grid_->setObjectName("Result_Grid");
    grid_->setToolTip(QString::fromUtf8("Правая кнопка мыши — «Сохранить как CSV…»"));
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setDefaultSectionSize(170);
    const int rowHeight = grid_->fontMetrics().height() + 6;
    grid_->verticalHeader()->setDefaultSectionSize(rowHeight);
    grid_->verticalHeader()->setMinimumSectionSize(rowHeight);
    grid_->setFrameShape(QFrame::NoFrame);
    // The padding spaces run to the column's edge; they must not turn into "…".
    grid_->setTextElideMode(Qt::ElideNone);
    grid_->setWordWrap(false);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Every row in view, the scroll bar under them.
    const int height = kTableRows * rowHeight + grid_->horizontalScrollBar()->sizeHint().height() + 2;
    grid_->setMinimumHeight(height);
    grid_->setMaximumHeight(height);
    // The figures are the models' and are printed and saved as computed:
    // no cell takes typing, in the grid or in its frozen columns.
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < kTableRows; ++r)
        for (int c = 0; c < kTableColumns; ++c) {
            auto* it = new QTableWidgetItem;
            it->setFlags(it->flags() & ~Qt::ItemIsEditable);
            grid_->setItem(r, c, it);
        }
    // Row 0 is the fixed heading row.
    for (int c = 0; c < kTableColumns; ++c)
        grid_->item(0, c)->setBackground(palette().button());
    grid_->setFrozenColumns({0}, {});

    chart2_ = new FlowChart("Chart2", nullptr);
    chart1_ = new FlowChart("Chart1", nullptr);
    chart3_ = new FlowChart("Chart3", nullptr);
    for (FlowChart* c : {chart1_, chart2_, chart3_})
        c->setDesignedMinimumSize(QSize(scaledPx(300), scaledPx(160)));

    // The charts of the flow on the left, the table and the chart of the
    // causes on the right; the user trades room between them.
    auto* leftCharts = new QSplitter(Qt::Vertical);
    leftCharts->setObjectName("LeftCharts");
    leftCharts->addWidget(chart2_);
    leftCharts->addWidget(chart1_);
    leftCharts->setChildrenCollapsible(false);

    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(label10_);
    rightLayout->addLayout(buttons);
    rightLayout->addWidget(grid_);
    rightLayout->addWidget(chart3_, 1);

    auto* columns = new QSplitter(Qt::Horizontal);
    columns->setObjectName("ResultsSplitter");
    columns->addWidget(leftCharts);
    columns->addWidget(right);
    columns->setStretchFactor(0, 45);
    columns->setStretchFactor(1, 55);
    columns->setChildrenCollapsible(false);

    // On a small screen or with a large font the charts keep a plot that
    // can be read and the window scrolls, rather than squeezing them.
    QScrollArea* scroll = namedScroll("ResultsScroll", columns);
    columns_ = columns;
    leftCharts_ = leftCharts;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(scroll);
    resizeToFitScreen(this, QSize(1436, 794));
    shareRoom();
}

void ResultsWindow::shareRoom() {
    // The designed shares: 45 % of the width to the flow charts, the rest to
    // the table and the chart of the causes; the charts on the left 46:54.
    const int w = std::max(columns_->width(), width() - 8);
    const int h = std::max(columns_->height(), height() - 8);
    columns_->setSizes({w * 45 / 100, w * 55 / 100});
    leftCharts_->setSizes({h * 46 / 100, h * 54 / 100});
}

void ResultsWindow::setComment(const QString& text) {
    label10_->setHeading(text);
}

void ResultsWindow::padCell(int row, int column, const QString& text) {
    // One space in from the left, then spaces until the text fills the
    // column less 7 pixels, measured in the grid's own font.
    const QFontMetrics fm(grid_->font());
    const int W = grid_->columnWidth(column) - 7;
    QString t = QLatin1Char(' ') + text;
    while (fm.horizontalAdvance(t) < W)
        t += QLatin1Char(' ');
    grid_->item(row, column)->setText(t);
}

void ResultsWindow::fill(const DiagramsResult& r) {
    label10_->setHeading(qs(r.comment));
    table_ = r.table;
    const ResultTable& t = r.table;
    // The designed widths suit the narrow font the table was drawn for; a
    // column whose texts need more in this font gets more, so that nothing
    // is cut. Column 0, never set by a filling, fits its row titles.
    grid_->unfreeze();
    const QFontMetrics fm(grid_->font());
    const QString mark = QString::fromUtf8(" ⚠");
    auto needed = [&](int c) {
        int w = 0;
        for (int row = 0; row < kTableRows; ++row) {
            const QString shown = qs(t.cells[row][c]) + (row == 0 && !t.notes[c].empty() ? mark : QString());
            w = std::max(w, fm.horizontalAdvance(QLatin1Char(' ') + shown) + 12);
        }
        return w;
    };
    grid_->setColumnWidth(0, std::max(170, needed(0)));
    for (int c = 1; c < kTableColumns; ++c)
        if (t.widths[c] >= 0) grid_->setColumnWidth(c, std::max(t.widths[c], needed(c)));
    for (int row = 0; row < kTableRows; ++row)
        for (int c = 0; c < kTableColumns; ++c) {
            const QString text = qs(t.cells[row][c]);
            if (t.padded[row][c])
                padCell(row, c, text);
            else
                grid_->item(row, c)->setText(text);
        }
    // A model whose fit stopped on a limit of its search range: its title is
    // marked and every cell of its column tells which limit.
    for (int c = 0; c < kTableColumns; ++c) {
        const QString note = qs(t.notes[c]);
        if (!note.isEmpty()) grid_->item(0, c)->setText(qs(t.cells[0][c]) + mark);
        for (int row = 0; row < kTableRows; ++row)
            grid_->item(row, c)->setToolTip(note);
    }

    bool likelihood = false;
    for (int c = 1; c < kTableColumns; ++c)
        likelihood = likelihood || t.cells[0][c] == kLikelihoodColumn;
    probability_->setEnabled(likelihood);
    // The row titles and the operating data stay in view beside the models.
    grid_->setFrozenColumns({0}, {t.dataColumn});
    // Nothing stands after the operating data; columns a filling with more
    // models used stay empty and out of the way.
    for (int c = t.dataColumn + 1; c < kTableColumns; ++c)
        grid_->hideScrolledColumn(c);

    chart1_->fill(r.charts.chart1, r.charts.labels, ChartLook{});
    chart2_->fill(r.charts.chart2, r.charts.labels, accumulatedFlowLook());
    chart3_->fill(r.charts.chart3, r.charts.labels, ChartLook{});
    showWholeTable();
}

void ResultsWindow::showWholeTable() {
    // Every model's column in view where the flow charts can spare the
    // width; they keep at least what they need to be read.
    int table = 0;
    for (int c = 0; c <= table_.dataColumn; ++c)
        table += grid_->columnWidth(c);
    table += 2 * grid_->frameWidth() + 8;
    const QList<int> sizes = columns_->sizes();
    if (sizes.size() != 2) return;
    const int total = sizes[0] + sizes[1];
    const int wanted = std::min(table, total - leftCharts_->minimumSizeHint().width());
    if (sizes[1] < wanted) columns_->setSizes({total - wanted, wanted});
}

QString ResultsWindow::cellText(int row, int column) const {
    const QTableWidgetItem* it = grid_->item(row, column);
    return it ? it->text().trimmed() : QString();
}

PrintedTable ResultsWindow::printedTable() const {
    PrintedTable out;
    for (int row = 0; row < kTableRows; ++row) {
        QStringList cells;
        for (int c = 0; c <= table_.dataColumn; ++c)
            cells << cellText(row, c);
        out.rows.push_back(cells);
    }
    // The window tells in a tooltip why a model is marked; paper has none.
    for (int c = 0; c <= table_.dataColumn; ++c)
        if (!table_.notes[c].empty())
            out.notes << QString::fromUtf8("⚠ %1: %2")
                             .arg(qs(table_.cells[0][c]), qs(table_.notes[c]).replace('\n', "; "));
    return out;
}

bool ResultsWindow::print(QPagedPaintDevice& device, int resolution) {
    return paintTableAndFigures(device, resolution,
                                printName(label10_->text(), QString::fromUtf8("результаты")), printedTable(),
                                grid_->font(), {chart2_, chart1_, chart3_});
}

bool ResultsWindow::saveCsv(const QString& path) {
    return guarded(this, [&] {
        const std::string csv = resultTableCsv(table_);
        writeFileSafely(ss(path), csv);
    });
}

void ResultsWindow::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    QAction* csv = menu.addAction(QString::fromUtf8("Сохранить как CSV…"));
    QAction* report = menu.addAction(QString::fromUtf8("Отчёт…"));
    QAction* chosen = menu.exec(e->globalPos());
    if (chosen == report) emit reportRequested();
    if (chosen != csv) return;
    saveAsInteractively(this, QString::fromUtf8("Сохранить как CSV"),
                        csvFileName(label10_->text(), QString::fromUtf8("результаты")),
                        QString::fromUtf8("Таблица CSV (*.csv)"), "csv",
                        [this](const QString& path) { return saveCsv(path); });
}

} // namespace relan::gui
