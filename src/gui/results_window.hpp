#pragma once

// Form2: the table of reliability figures per model and the three
// failure-flow charts of one calculation.

#include "flow_chart.hpp"
#include "printing.hpp"

#include "relan/results.hpp"

#include <QWidget>

class QLabel;
class QPushButton;
class QSplitter;
class QTableWidget;

namespace relan::gui {

class FrozenColumnsTable;
class HeadingLabel;

// The look of the accumulated-flow chart (Chart2): no legend of its own,
// the share out of warranty on a right axis of 0..100 %. The other two
// charts have the default look.
ChartLook accumulatedFlowLook();

class ResultsWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ResultsWindow(QWidget* parent = nullptr);

    // Fills the comment, the table and the charts from one filling; the
    // window is shown by the caller.
    void fill(const DiagramsResult& r);
    // The comment line, which a failure-data load sets too.
    void setComment(const QString& text);

    // Cell text with the padding spaces that centre it removed.
    QString cellText(int row, int column) const;

    // What "Печать" puts on paper: every column the window shows, scrolled
    // into view or not, and every row, then the three charts.
    PrintedTable printedTable() const;
    bool print(QPagedPaintDevice& device, int resolution);

    // "Сохранить как CSV…": the table of the last filling for a spreadsheet.
    // False, with a message, when the file was refused.
    bool saveCsv(const QString& path);

  signals:
    void expandRequested();
    void probabilityPlotRequested();
    void reportRequested();

  protected:
    void contextMenuEvent(QContextMenuEvent* e) override;

  private:
    void padCell(int row, int column, const QString& text);
    void shareRoom();
    void showWholeTable();

    ResultTable table_{};
    HeadingLabel* label10_ = nullptr;
    QPushButton* probability_ = nullptr;
    FrozenColumnsTable* grid_ = nullptr;
    FlowChart* chart1_ = nullptr;
    FlowChart* chart2_ = nullptr;
    FlowChart* chart3_ = nullptr;
    QSplitter* columns_ = nullptr;
    QSplitter* leftCharts_ = nullptr;
};

} // namespace relan::gui
