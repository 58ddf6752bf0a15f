#include "nonparam_window.hpp"

#include "flow_chart.hpp"
#include "printing.hpp"
#include "qt_text.hpp"

#include <QLabel>
#include <QPushButton>

namespace relan::gui {

NonParamWindow::NonParamWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Form3");
    setWindowTitle(qs(kNonParamCaption));
    setFixedSize(1008, 700);

    auto* l10 = new QLabel(this);
    l10->setObjectName("Label10");
    l10->setFont(headingFont());
    l10->setGeometry(8, 2, 990, 28);
    labels_[10] = l10;

    chart_ = new FlowChart("Chart3", this);
    chart_->setGeometry(0, 30, 1008, 608);

    const struct {
        int n, x, y, w;
        bool bold;
    } places[] = {
        {7, 4, 652, 250, false}, {8, 4, 672, 250, false}, {1, 256, 642, 350, true}, {2, 256, 661, 350, false},
        {3, 256, 680, 350, false}, {4, 608, 642, 274, true}, {5, 608, 661, 274, false}, {6, 608, 680, 274, false},
    };
    for (const auto& p : places) {
        auto* l = new QLabel(this);
        l->setObjectName(QString("Label%1").arg(p.n));
        l->setGeometry(p.x, p.y, p.w, 18);
        QFont f = l->font();
        f.setPixelSize(11);
        f.setBold(p.bold);
        l->setFont(f);
        labels_[p.n] = l;
    }
    labels_[1]->setText(qs(kNonParamLabel1));
    labels_[4]->setText(qs(kNonParamLabel4));

    auto* print = new QPushButton(qs(kNonParamPrintButton), this);
    print->setObjectName("Button1");
    print->setGeometry(884, 648, 116, 40);
    connect(print, &QPushButton::clicked, this, [this] { printWindowInteractively(this); });
}

void NonParamWindow::fill(const NonParamResult& r, const NumberFormat& fmt) {
    labels_[10]->setText(qs(r.Label10));
    labels_[2]->setText(qs(r.Label2));
    labels_[3]->setText(qs(r.Label3));
    labels_[5]->setText(qs(r.Label5));
    labels_[6]->setText(qs(r.Label6));
    labels_[7]->setText(qs(r.Label7));
    labels_[8]->setText(qs(r.Label8));
    std::vector<std::string> pointLabels;
    for (const auto& p : r.points) pointLabels.push_back(p.label);
    ChartLook look;
    look.bottomAxisTitle = qs(kNonParamBottomAxisTitle);
    look.rightRange = std::make_pair(0.0, 100.0);
    look.rightLabelFormat = "%.0f%%";
    chart_->fill(nonParamChart(r, fmt), pointLabels, look);
}

} // namespace relan::gui
