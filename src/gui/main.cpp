#include "app_setup.hpp"
#include "main_window.hpp"

#include "relan/version.hpp"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Answered before QApplication exists: that needs a display, and the
    // version and the help are asked by scripts and package tools (the
    // manual page is made from the help) that have none. The help has the
    // layout of relan-cli's.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("relan %s\n", relan::kVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs("relan: анализ надежности в эксплуатации\n"
                       "Usage: relan [OPTIONS] [file]\n"
                       "\n"
                       "Positionals:\n"
                       "  file                        failure-data file (.rel, Windows-1251 or UTF-8) loaded "
                       "at start\n"
                       "\n"
                       "Options:\n"
                       "  -h,--help                   Print this help message and exit\n"
                       "  --version                   Print the version and exit\n"
                       "\n"
                       "Qt's own options, such as -platform and -style, are taken as well.\n",
                       stdout);
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
