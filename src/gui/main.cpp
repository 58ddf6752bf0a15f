#include "main_window.hpp"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8("Анализ надежности 4.0 (2018)"));
    relan::gui::MainWindow w;
    w.move(20, 20);
    w.show();
    // A data file named on the command line is loaded at once.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) w.loadFailureFile(args.at(1));
    return app.exec();
}
