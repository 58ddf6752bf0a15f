#pragma once

// The failures of the loaded file as the main window's list shows them. The
// core makes a row's texts when the view asks for that row: a fleet of a
// million failures would otherwise hold several million texts, while a
// screen shows a few dozen rows.

#include "relan/input_files.hpp"
#include "relan/numtext.hpp"
#include "relan/state.hpp"

#include <QAbstractTableModel>

namespace relan::gui {

class FailureListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // `state` is read whenever a row is shown and must outlive the model;
    // only a load changes its failures, and each load is passed to showLoad.
    FailureListModel(const LoadedData& state, const NumberFormat& fmt, QObject* parent = nullptr);

    // The failures a load has just put into the state, with the remarks it
    // noted for the list.
    void showLoad(const ThresholdRemarks& remarks);

    // The list for a spreadsheet, as every row shows it.
    std::string csv() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    const LoadedData& state_;
    const NumberFormat fmt_;
    ThresholdRemarks remarks_;
    bool loaded_ = false;
};

} // namespace relan::gui
