#include "app_setup.hpp"
#include "main_window.hpp"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    relan::gui::setUpApplication(app);
    relan::gui::MainWindow w;
    w.show();
    // A data file named on the command line is loaded at once.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) w.loadFailureFile(args.at(1));
    return app.exec();
}
