#include "frozen_table.hpp"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>

namespace relan::gui {
namespace {
bool contains(const std::vector<int>& v, int x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}
} // namespace

QTableView* FrozenColumnsTable::makeSideView(const char* name) {
    auto* v = new QTableView(this);
    v->setObjectName(QString::fromLatin1(name));
    v->setModel(model());
    v->setSelectionModel(selectionModel());
    v->horizontalHeader()->hide();
    v->verticalHeader()->hide();
    v->setFrameShape(QFrame::NoFrame);
    v->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    v->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    v->setWordWrap(false);
    v->setEditTriggers(editTriggers());
    v->hide();
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, v->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(v->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    return v;
}

FrozenColumnsTable::FrozenColumnsTable(int rows, int columns, QWidget* parent)
    : QTableWidget(rows, columns, parent) {
    setHorizontalScrollMode(ScrollPerPixel);
    left_ = makeSideView("FrozenLeft");
    right_ = makeSideView("FrozenRight");
    connect(verticalHeader(), &QHeaderView::sectionResized, this, [this](int row, int, int size) {
        left_->setRowHeight(row, size);
        right_->setRowHeight(row, size);
    });
    // The right column follows the last scrolled one while there is room.
    connect(horizontalHeader(), &QHeaderView::geometriesChanged, this, [this] { placeFrozenViews(); });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { placeFrozenViews(); });
}

void FrozenColumnsTable::setFrozenColumns(const std::vector<int>& left, const std::vector<int>& right) {
    for (int c = 0; c < columnCount(); ++c)
        setColumnHidden(c, false);
    leftColumns_ = left;
    rightColumns_ = right;
    leftWidth_ = rightWidth_ = 0;
    for (auto [view, cols, width] :
         {std::tuple{left_, &leftColumns_, &leftWidth_}, std::tuple{right_, &rightColumns_, &rightWidth_}}) {
        view->setFont(font());
        view->setTextElideMode(textElideMode());
        view->setEditTriggers(editTriggers());
        view->setShowGrid(showGrid());
        for (int c = 0; c < columnCount(); ++c) {
            view->setColumnHidden(c, !contains(*cols, c));
            view->setColumnWidth(c, columnWidth(c));
        }
        for (int r = 0; r < rowCount(); ++r)
            view->setRowHeight(r, rowHeight(r));
        for (int c : *cols)
            *width += columnWidth(c);
        view->setVisible(!cols->empty());
    }
    for (int c : leftColumns_)
        setColumnHidden(c, true);
    for (int c : rightColumns_)
        setColumnHidden(c, true);
    updateGeometries();
    horizontalScrollBar()->setValue(0);
    placeFrozenViews();
}

void FrozenColumnsTable::hideScrolledColumn(int column) {
    setColumnHidden(column, true);
    updateGeometries();
    placeFrozenViews();
}

const QAbstractItemView* FrozenColumnsTable::viewShowing(int column) const {
    if (contains(leftColumns_, column)) return left_;
    if (contains(rightColumns_, column)) return right_;
    return this;
}

void FrozenColumnsTable::placeFrozenViews() {
    if (!left_ || !right_) return; // still being built
    const QRect vp = viewport()->geometry();
    left_->setGeometry(vp.left() - leftWidth_, vp.top(), leftWidth_, vp.height());
    const int scrolled = horizontalHeader()->length();
    right_->setGeometry(vp.left() + std::min(scrolled, vp.width()), vp.top(), rightWidth_, vp.height());
}

void FrozenColumnsTable::updateGeometries() {
    // The table sets the margins for its headers; the frozen columns stand
    // beside them.
    QTableWidget::updateGeometries();
    const int header = verticalHeader()->isHidden() ? 0 : verticalHeader()->width();
    const int top = horizontalHeader()->isHidden() ? 0 : horizontalHeader()->height();
    const QMargins wanted(header + leftWidth_, top, rightWidth_, 0);
    if (viewportMargins() != wanted) setViewportMargins(wanted);
    placeFrozenViews();
}

bool FrozenColumnsTable::viewportEvent(QEvent* e) {
    // The viewport moves when a scroll bar appears or goes.
    if (e->type() == QEvent::Resize) placeFrozenViews();
    return QTableWidget::viewportEvent(e);
}

} // namespace relan::gui
