#include "nonparam_window.hpp"

#include "flow_chart.hpp"
#include "heading_label.hpp"
#include "printing.hpp"
#include "qt_text.hpp"
#include "widgets.hpp"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace relan::gui {

void fillNonParamChart(FlowChart* chart, const NonParamResult& r, const NumberFormat& fmt) {
    std::vector<std::string> pointLabels;
    for (const auto& p : r.points)
        pointLabels.push_back(p.label);
    ChartLook look;
    look.bottomAxisTitle = qs(kNonParamBottomAxisTitle);
    look.rightRange = std::make_pair(0.0, 100.0);
    look.rightLabelFormat = "%.0f%%";
    chart->fill(nonParamChart(r, fmt), pointLabels, look);
}

NonParamWindow::NonParamWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Form3");
    setWindowTitle(
        titleWithVersion("Результат непараметрического анализа. Анализ надежности в эксплуатации. v."));

    heading_ = new HeadingLabel("Label10");
    heading_->setFont(headingFont());
    labels_[10] = heading_;

    chart_ = new FlowChart("Chart3", nullptr);
    chart_->setDesignedMinimumSize(QSize(scaledPx(600), scaledPx(320)));

    // Under the chart: the counts, the half-fleet times and the censoring
    // law in three columns, the print button at the right.
    auto* figures = new QGridLayout;
    figures->setHorizontalSpacing(scaledPx(16));
    const struct {
        int n, row, column;
        bool bold;
    } places[] = {
        {7, 1, 0, false}, {8, 2, 0, false}, {1, 0, 1, true},  {2, 1, 1, false},
        {3, 2, 1, false}, {4, 0, 2, true},  {5, 1, 2, false}, {6, 2, 2, false},
    };
    for (const auto& p : places) {
        auto* l = namedLabel(qPrintable(QString("Label%1").arg(p.n)), {});
        QFont f = l->font();
        f.setBold(p.bold);
        l->setFont(f);
        labels_[p.n] = l;
        figures->addWidget(l, p.row, p.column);
    }
    labels_[1]->setText(qs(kNonParamMedianHeading));
    labels_[4]->setText(qs(kNonParamCensoringHeading));
    // The headings wrap where a large font leaves no room.
    for (int n : {1, 4}) {
        labels_[n]->setWordWrap(true);
        labels_[n]->setMinimumWidth(labels_[n]->fontMetrics().horizontalAdvance(labels_[n]->text()) / 2);
    }

    auto* print = namedButton("Button1", qs(kNonParamPrintButton));
    print->setMinimumHeight(print->sizeHint().height() * 3 / 2);
    connect(print, &QPushButton::clicked, this, [this] {
        printWindowInteractively(
            this, printName(labels_[10]->text(), QString::fromUtf8("непараметрический анализ")));
    });
    // Spare room goes to the texts, so that the headings wrap only where
    // the window is narrow.
    for (int c = 0; c < 3; ++c)
        figures->setColumnStretch(c, 1);
    figures->addWidget(print, 0, 4, 3, 1, Qt::AlignRight | Qt::AlignVCenter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addWidget(heading_);
    layout->addWidget(chart_, 1);
    layout->addLayout(figures);
    resizeToFitScreen(this, QSize(1008, 700));
}

void NonParamWindow::fill(const NonParamResult& r, const NumberFormat& fmt) {
    heading_->setHeading(qs(r.comment));
    labels_[2]->setText(qs(r.medianLine));
    labels_[3]->setText(qs(r.censoredMedianLine));
    labels_[5]->setText(qs(r.censoringMeanLine));
    labels_[6]->setText(qs(r.censoringSdLine));
    labels_[7]->setText(qs(r.productsLine));
    labels_[8]->setText(qs(r.failuresLine));
    fillNonParamChart(chart_, r, fmt);
}

} // namespace relan::gui
