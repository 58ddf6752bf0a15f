#include "expand_window.hpp"

#include "flow_chart.hpp"
#include "printing.hpp"
#include "qt_text.hpp"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace relan::gui {
namespace {

QLabel* overlayLabel(QWidget* parent, const char* name, const QString& family, int px, bool bold) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    QFont f(family);
    f.setPixelSize(px);
    f.setBold(bold);
    l->setFont(f);
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
    return l;
}

ChartLook expandLook() {
    ChartLook look;
    look.titlePx = 19;
    look.axisTitlePx = 19;
    look.axisLabelsPx = 16;
    look.legendPx = 13;
    look.bottomMargin = 30; // the median line sits under the plot
    look.titleGapLines = 1; // and the heading between the title and the plot
    return look;
}

} // namespace

ExpandWindow::ExpandWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("ExpandForm");
    setWindowTitle("v 4.1");
    resize(1184, 769);
    chart_ = new FlowChart("Chart1", this);
    chart_->setGeometry(0, 8, 1188, 764);
    label1_ = overlayLabel(this, "Label1", "Arial", 21, true);
    label1_->setAlignment(Qt::AlignHCenter);
    label4_ = overlayLabel(this, "Label4", "Tahoma", 13, false);
    label4_->setText(QString::fromUtf8("50%-я наработка на отказ по документированным случаям:"));
    label2_ = overlayLabel(this, "Label2", "Tahoma", 13, false);
    label3_ = overlayLabel(this, "Label3", "Tahoma", 13, false);
    auto* print = new QPushButton("Print", this);
    print->setObjectName("Button2");
    print->setGeometry(9, 10, 49, 25);
    connect(print, &QPushButton::clicked, this, [this] { printWindowInteractively(this); });
    placeLabels();
}

void ExpandWindow::fill(const ExpandResult& r) {
    label1_->setText(qs(r.Label1));
    label2_->setText(qs(r.Label2));
    // With no median there is nothing to say with the censoring either.
    label3_->setText(qs(r.Label3));
    chart_->fill(r.chart, r.labels, expandLook());
    placeLabels();
}

void ExpandWindow::placeLabels() {
    // The chart keeps its designed size; the heading runs across its top
    // under the title, the median line just above the legend.
    label1_->setGeometry(60, 8 + 30, chart_->width() - 120, 28);
    const int y = 8 + chart_->legendTop() - 26;
    // At their designed places, moved right only as far as the text before
    // them needs in this font.
    auto widthOf = [](QLabel* l) { return l->fontMetrics().horizontalAdvance(l->text()) + 10; };
    const int x2 = std::max(536, 129 + widthOf(label4_));
    const int x3 = std::max(920, x2 + widthOf(label2_));
    label4_->setGeometry(129, y, x2 - 129, 20);
    label2_->setGeometry(x2, y, x3 - x2, 20);
    label3_->setGeometry(x3, y, std::max(100, chart_->width() - x3), 20);
    for (QLabel* l : {label1_, label2_, label3_, label4_}) l->raise();
}

void ExpandWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    placeLabels();
}

} // namespace relan::gui
