#include "failure_list_model.hpp"

#include "qt_text.hpp"

#include "relan/csv.hpp"

#include <algorithm>
#include <sstream>

namespace relan::gui {
namespace {

// Blank rows of an empty window, so that it reads as a table to fill.
constexpr int kRowsBeforeALoad = 24;

} // namespace

FailureListModel::FailureListModel(const LoadedData& state, const NumberFormat& fmt, QObject* parent)
    : QAbstractTableModel(parent), state_(state), fmt_(fmt) {}

void FailureListModel::showLoad(const ThresholdRemarks& remarks) {
    beginResetModel();
    remarks_ = remarks;
    loaded_ = true;
    endResetModel();
}

int FailureListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    if (!loaded_) return kRowsBeforeALoad;
    // A file without failure lines still shows one blank row under the headings.
    return std::max<int>(1, static_cast<int>(state_.MasProbl.size()));
}

int FailureListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kFailureListHeadings.size());
}

QVariant FailureListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !loaded_ || !index.isValid()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= state_.MasProbl.size()) return {};
    return qs(failureListRow(state_, remarks_, row, fmt_)[static_cast<std::size_t>(index.column())]);
}

QVariant FailureListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (!loaded_ || section < 0 || section >= columnCount()) return QString();
    return QString::fromUtf8(kFailureListHeadings[static_cast<std::size_t>(section)]);
}

Qt::ItemFlags FailureListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

std::string FailureListModel::csv() const {
    std::ostringstream out;
    writeFailureListCsv(out, state_, remarks_, fmt_);
    return std::move(out).str();
}

} // namespace relan::gui
