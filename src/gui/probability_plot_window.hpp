#pragma once

// The likelihood model on Weibull probability paper, opened from the
// results window.

#include "relan/numtext.hpp"
#include "relan/probability_plot.hpp"

#include <QWidget>

QT_FORWARD_DECLARE_CLASS(QChart)
QT_FORWARD_DECLARE_CLASS(QChartView)
class QLabel;

namespace relan::gui {

class HeadingLabel;

// The chart of the window, also drawn in reports; the caller owns it.
QChart* probabilityChart(const ProbabilityPlot& plot, const NumberFormat& fmt);

class ProbabilityPlotWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ProbabilityPlotWindow(QWidget* parent = nullptr);
    void fill(const ProbabilityPlot& plot, const QString& heading, const NumberFormat& fmt);
    QChartView* view() const { return view_; }

  protected:
    void contextMenuEvent(QContextMenuEvent* e) override;

  private:
    QWidget* content_ = nullptr;
    HeadingLabel* heading_ = nullptr;
    QChartView* view_ = nullptr;
    QLabel* legend_ = nullptr;
};

} // namespace relan::gui
