#include "app_setup.hpp"
#include "main_window.hpp"

#include "relan/version.hpp"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Answered before QApplication exists: that needs a display, and the
    // version is asked by scripts and package tools that have none.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("relan %s\n", relan::kVersion);
            return 0;
        }
    }
    QApplication app(argc, argv);
    relan::gui::setUpApplication(app);
    relan::gui::MainWindow w;
    w.show();
    // A data file named on the command line is loaded at once.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) w.loadFailureFile(args.at(1));
    return app.exec();
}
