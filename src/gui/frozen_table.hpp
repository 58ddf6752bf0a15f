#pragma once

// A grid whose row titles stay at its left edge and whose reference column
// stays at its right while the columns between them scroll sideways, so that
// a row's title and its reference value are always beside the figures read.

#include <QTableWidget>

#include <vector>

class QTableView;

namespace relan::gui {

class FrozenColumnsTable : public QTableWidget {
    Q_OBJECT
  public:
    FrozenColumnsTable(int rows, int columns, QWidget* parent = nullptr);

    // Columns (by their index in the table) shown at the left and at the
    // right edge, outside the scrolled part; none in either by default.
    // The widths of the columns as they are now go with them.
    void setFrozenColumns(const std::vector<int>& left, const std::vector<int>& right);
    // Every column back in the scrolled part, so that its width can be set.
    void unfreeze() { setFrozenColumns({}, {}); }

    // A column of the scrolled part out of sight until the next freezing.
    void hideScrolledColumn(int column);

    // The view that shows a frozen column, or the table itself.
    const QAbstractItemView* viewShowing(int column) const;

  protected:
    bool viewportEvent(QEvent* e) override;
    void updateGeometries() override;

  private:
    void placeFrozenViews();
    QTableView* makeSideView(const char* name);

    QTableView* left_ = nullptr;
    QTableView* right_ = nullptr;
    std::vector<int> leftColumns_, rightColumns_;
    int leftWidth_ = 0, rightWidth_ = 0;
};

} // namespace relan::gui
