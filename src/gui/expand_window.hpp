#pragma once

// ExpandForm: the failure flow of the results window's first chart, large,
// for all 18 causes, with the cumulative share of failed products and the
// two median times.

#include "relan/results.hpp"

#include <QWidget>

class QLabel;

namespace relan::gui {

class FlowChart;
class HeadingLabel;

class ExpandWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ExpandWindow(QWidget* parent = nullptr);
    void fill(const ExpandResult& r);
    FlowChart* chart() const { return chart_; }

    // The heading and the chart without the window's button: what is printed.
    QWidget* printedPart() const { return content_; }

  private:
    QWidget* content_ = nullptr;
    FlowChart* chart_ = nullptr;
    HeadingLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label3_ = nullptr;
    QLabel* label4_ = nullptr;
};

} // namespace relan::gui
