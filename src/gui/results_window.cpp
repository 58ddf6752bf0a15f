#include "results_window.hpp"

#include "flow_chart.hpp"
#include "printing.hpp"
#include "qt_text.hpp"

#include <QFontMetrics>
#include <algorithm>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace relan::gui {

ResultsWindow::ResultsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Form2");
    setWindowTitle(
        QString::fromUtf8("Количественный анализ закона распределения отказов. Анализ надежности в эксплуатации.  v.4.1"));
    setFixedSize(1436, 794);

    label10_ = new QLabel(QString::fromUtf8("Комментарий"), this);
    label10_->setObjectName("Label10");
    label10_->setFont(headingFont());
    label10_->setGeometry(656, 6, 776, 30);

    auto button = [this](const char* name, const char* text, int x, int w) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(name);
        b->setGeometry(x, 40, w, 40);
        return b;
    };
    QPushButton* expand = button("Button2", "Expand", 1128, 81);
    QPushButton* print = button("Button1", "Печать", 1232, 73);
    QPushButton* cont = button("Prodolgenie", "Продолж.", 1333, 75);
    connect(expand, &QPushButton::clicked, this, &ResultsWindow::expandRequested);
    connect(print, &QPushButton::clicked, this, [this] { printWindowInteractively(this); });
    connect(cont, &QPushButton::clicked, this, &QWidget::hide);

    grid_ = new QTableWidget(kTableRows, kTableColumns, this);
    grid_->setObjectName("Result_Grid");
    grid_->setGeometry(656, 95, 777, 267);
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setDefaultSectionSize(170);
    grid_->verticalHeader()->setDefaultSectionSize(20);
    grid_->verticalHeader()->setMinimumSectionSize(16);
    grid_->setFrameShape(QFrame::NoFrame);
    // The padding spaces run to the column's edge; they must not turn into "…".
    grid_->setTextElideMode(Qt::ElideNone);
    grid_->setWordWrap(false);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont gridFont = grid_->font();
    gridFont.setPixelSize(11);
    grid_->setFont(gridFont);
    for (int r = 0; r < kTableRows; ++r)
        for (int c = 0; c < kTableColumns; ++c) grid_->setItem(r, c, new QTableWidgetItem);
    // Row 0 is the fixed heading row.
    for (int c = 0; c < kTableColumns; ++c) {
        QTableWidgetItem* it = grid_->item(0, c);
        it->setFlags(it->flags() & ~Qt::ItemIsEditable);
        it->setBackground(palette().button());
    }

    chart2_ = new FlowChart("Chart2", this);
    chart2_->setGeometry(3, 3, 650, 362);
    chart1_ = new FlowChart("Chart1", this);
    chart1_->setGeometry(1, 368, 649, 423);
    chart3_ = new FlowChart("Chart3", this);
    chart3_->setGeometry(643, 361, 790, 430);
    chart2_->lower();
}

void ResultsWindow::setComment(const QString& text) { label10_->setText(text); }

void ResultsWindow::padCell(int row, int column, const QString& text) {
    // One space in from the left, then spaces until the text fills the
    // column less 7 pixels, measured in the grid's own font.
    const QFontMetrics fm(grid_->font());
    const int W = grid_->columnWidth(column) - 7;
    QString t = QLatin1Char(' ') + text;
    while (fm.horizontalAdvance(t) < W) t += QLatin1Char(' ');
    grid_->item(row, column)->setText(t);
}

void ResultsWindow::fill(const DiagramsResult& r) {
    label10_->setText(qs(r.label10));
    const ResultTable& t = r.table;
    // The designed widths suit the narrow font the table was drawn for; a
    // column whose texts need more in this font gets more, so that nothing
    // is cut. Column 0, never set by a filling, fits its row titles.
    const QFontMetrics fm(grid_->font());
    auto needed = [&](int c) {
        int w = 0;
        for (int row = 0; row < kTableRows; ++row)
            w = std::max(w, fm.horizontalAdvance(QLatin1Char(' ') + qs(t.cells[row][c])) + 12);
        return w;
    };
    grid_->setColumnWidth(0, std::max(170, needed(0)));
    for (int c = 1; c < kTableColumns; ++c)
        if (t.widths[c] >= 0) grid_->setColumnWidth(c, std::max(t.widths[c], needed(c)));
    for (int row = 0; row < kTableRows; ++row)
        for (int c = 0; c < kTableColumns; ++c) {
            const QString text = qs(t.cells[row][c]);
            if (t.padded[row][c]) padCell(row, c, text);
            else grid_->item(row, c)->setText(text);
        }

    chart1_->fill(r.charts.chart1, r.charts.labels, ChartLook{});
    ChartLook look2;
    look2.legend = false;
    look2.rightRange = std::make_pair(0.0, 100.0);
    chart2_->fill(r.charts.chart2, r.charts.labels, look2);
    chart3_->fill(r.charts.chart3, r.charts.labels, ChartLook{});
}

QString ResultsWindow::cellText(int row, int column) const {
    const QTableWidgetItem* it = grid_->item(row, column);
    return it ? it->text().trimmed() : QString();
}

} // namespace relan::gui
