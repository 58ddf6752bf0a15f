#pragma once

// Form3: the observed failure flow without a fitted law.

#include "relan/nonparam.hpp"

#include <QWidget>

class QLabel;

namespace relan::gui {

class FlowChart;
class HeadingLabel;

// The window's chart of a non-parametric analysis, also drawn in reports.
void fillNonParamChart(FlowChart* chart, const NonParamResult& r, const NumberFormat& fmt);

class NonParamWindow : public QWidget {
    Q_OBJECT
  public:
    explicit NonParamWindow(QWidget* parent = nullptr);
    void fill(const NonParamResult& r, const NumberFormat& fmt);
    FlowChart* chart() const { return chart_; }

  private:
    FlowChart* chart_ = nullptr;
    QLabel* labels_[11] = {};         // Label0 unused; Label1..failuresLine, Label10
    HeadingLabel* heading_ = nullptr; // Label10
};

} // namespace relan::gui
