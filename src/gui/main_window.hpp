#pragma once

#include "relan/numtext.hpp"
#include "relan/state.hpp"

#include <QMainWindow>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

namespace relan::gui {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    AnalysisState& state() { return state_; }
    // Loads a failure-data file as the "Путь" button does once a file is chosen.
    bool loadFailureFile(const QString& path);

private:
    AnalysisState state_;
    NumberFormat fmt_;
    QLabel* label10_ = nullptr;
    QLineEdit* filePath_ = nullptr;
    QTableWidget* massList_ = nullptr;
    QPlainTextEdit* memo2_ = nullptr;
};

} // namespace relan::gui
