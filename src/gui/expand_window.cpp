#include "expand_window.hpp"

#include "flow_chart.hpp"
#include "heading_label.hpp"
#include "printing.hpp"
#include "qt_text.hpp"
#include "widgets.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace relan::gui {
namespace {

QLabel* textLabel(const char* name, const QString& family, int px, bool bold) {
    auto* l = new QLabel;
    l->setObjectName(name);
    l->setFont(scaledPixelFont(family, px, bold));
    return l;
}

ChartLook expandLook() {
    ChartLook look;
    look.titlePx = 19;
    look.axisTitlePx = 19;
    look.axisLabelsPx = 16;
    look.legendPx = 13;
    return look;
}

} // namespace

ExpandWindow::ExpandWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("ExpandForm");
    setWindowTitle(titleWithVersion("v "));

    auto* print = namedButton("Button2", "Print");
    connect(print, &QPushButton::clicked, this, [this] {
        printWindowInteractively(content_, printName(label1_->text(), QString::fromUtf8("поток отказов")));
    });

    // What is printed: the heading and the chart, on white, without the
    // window's buttons.
    content_ = new QWidget;
    content_->setObjectName("ExpandFormContent");
    content_->setAutoFillBackground(true);
    QPalette white = content_->palette();
    white.setColor(QPalette::Window, Qt::white);
    content_->setPalette(white);

    label1_ = new HeadingLabel("Label1");
    label1_->setFont(scaledPixelFont("Arial", 21, true));
    label1_->setAlignment(Qt::AlignHCenter);
    chart_ = new FlowChart("Chart1", nullptr);

    // The median times, on one line under the plot.
    auto* medians = new QWidget;
    medians->setObjectName("MedianLine");
    auto* line = new QHBoxLayout(medians);
    line->setContentsMargins(scaledPx(60), 2, 8, 2);
    label4_ = textLabel("Label4", "Tahoma", 13, false);
    label4_->setText(QString::fromUtf8("50%-я наработка на отказ по документированным случаям:"));
    label2_ = textLabel("Label2", "Tahoma", 13, false);
    label3_ = textLabel("Label3", "Tahoma", 13, false);
    line->addWidget(label4_);
    line->addSpacing(scaledPx(12));
    line->addWidget(label2_);
    line->addSpacing(scaledPx(12));
    line->addWidget(label3_);
    line->addStretch(1);
    chart_->setFooter(medians);

    auto* contentLayout = new QVBoxLayout(content_);
    contentLayout->setContentsMargins(4, 4, 4, 4);
    contentLayout->addWidget(label1_);
    contentLayout->addWidget(chart_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(print);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    // A large font on a small screen scrolls the chart rather than cutting
    // its titles.
    layout->addWidget(namedScroll("ExpandScroll", content_), 1);
    chart_->setDesignedMinimumSize(QSize(scaledPx(600), scaledPx(360)));
    resizeToFitScreen(this, QSize(1184, 769));
}

void ExpandWindow::fill(const ExpandResult& r) {
    label1_->setHeading(qs(r.heading));
    label2_->setText(qs(r.medianLine));
    // With no median there is nothing to say with the censoring either.
    label3_->setText(qs(r.censoredMedianLine));
    chart_->fill(r.chart, r.labels, expandLook());
}

} // namespace relan::gui
