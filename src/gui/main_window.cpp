#include "main_window.hpp"

#include "qt_text.hpp"

#include "relan/error.hpp"
#include "relan/input_files.hpp"

#include <QDir>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QVBoxLayout>

namespace relan::gui {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), fmt_(systemNumberFormat()) {
    setObjectName("Form1");
    setWindowTitle(QString::fromUtf8("Анализ надежности в эксплуатации.  v.4.1"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    label10_ = new QLabel(central);
    label10_->setObjectName("Label10");
    QFont heading("Arial Black");
    heading.setPixelSize(17);
    heading.setWeight(QFont::Black);
    label10_->setFont(heading);
    layout->addWidget(label10_);

    filePath_ = new QLineEdit(central);
    filePath_->setObjectName("FilePath");
    // A Linux user expects the remembered file, or the home folder, here.
    auto remembered = readLinkFile(QDir::currentPath().toStdString());
    filePath_->setText(remembered ? qs(*remembered) : QDir::homePath());
    layout->addWidget(filePath_);

    memo2_ = new QPlainTextEdit(central);
    memo2_->setObjectName("Memo2");
    memo2_->setPlainText(QString::fromUtf8("Ход решения"));
    memo2_->setMaximumHeight(120);
    layout->addWidget(memo2_);

    massList_ = new QTableWidget(25, 4, central);
    massList_->setObjectName("Mass_List");
    massList_->verticalHeader()->hide();
    layout->addWidget(massList_, 1);

    setCentralWidget(central);
    resize(1206, 675);
}

bool MainWindow::loadFailureFile(const QString& path) {
    FailureLoad load;
    try {
        load = loadFailureData(ss(path), fmt_, state_);
    } catch (const Error& e) {
        QMessageBox::critical(this, e.caption().empty() ? windowTitle() : qs(e.caption()), qs(e.what()));
        return false;
    }
    filePath_->setText(path);
    try {
        writeLinkFile(QDir::currentPath().toStdString(), ss(path));
    } catch (const Error&) {
        // Only a convenience for the next start; the data are loaded.
    }
    label10_->setText(qs(load.fields.Label10));
    const int widths[4] = {65, 90, 200, 1000};
    massList_->setRowCount(static_cast<int>(load.grid.size()) - 1);
    for (int c = 0; c < 4; ++c) {
        massList_->setColumnWidth(c, widths[c]);
        massList_->setHorizontalHeaderItem(c, new QTableWidgetItem(qs(load.grid[0][c])));
    }
    for (std::size_t r = 1; r < load.grid.size(); ++r)
        for (int c = 0; c < 4; ++c)
            massList_->setItem(static_cast<int>(r) - 1, c, new QTableWidgetItem(qs(load.grid[r][c])));
    return true;
}

} // namespace relan::gui
