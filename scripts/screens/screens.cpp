// Shows one window of the program on the sample data as a user would see
// it, for the screenshots of the documentation: relan-screens WINDOW FILE.
// WINDOW is main, genetic, results, expanded, probability, nonparam or
// calculating (a calculation long enough to be seen under way). The program
// stays open until it is killed, so that the screen can be captured.

#include "app_setup.hpp"
#include "expand_window.hpp"
#include "main_window.hpp"
#include "nonparam_window.hpp"
#include "results_window.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    relan::gui::setUpApplication(app);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(
            stderr,
            "usage: relan-screens main|genetic|results|expanded|probability|nonparam|calculating FILE.rel\n");
        return 2;
    }
    const QString window = args.at(1);
    relan::gui::MainWindow w(nullptr, relan::gui::MainWindow::LinkFile::Ignore);
    w.show();
    if (!w.loadFailureFile(args.at(2))) return 1;
    if (window == "genetic") {
        w.findChild<QAbstractButton*>("TabSheet2")->click();
    } else if (window == "results" || window == "expanded" || window == "probability") {
        for (const char* box : {"BoxNewton", "BoxSmirnow", "BoxML"})
            w.findChild<QCheckBox*>(box)->setChecked(true);
        if (!w.calculate() || !w.waitForWork()) return 1;
        if (window == "probability" && !w.showProbabilityPlot()) return 1;
        if (window == "expanded") {
            if (!w.expand()) return 1;
            // Maximised, as a window manager would have it.
            w.expandWindow()->setGeometry(w.expandWindow()->screen()->availableGeometry());
        }
    } else if (window == "nonparam") {
        if (!w.analyseNonParametric() || !w.waitForWork()) return 1;
    } else if (window == "calculating") {
        // Nine million passes of the spiral descent: seconds of progress.
        w.findChild<QLineEdit*>("Edit1")->setText("1.000001");
        if (!w.calculate()) return 1;
    } else if (window != "main") {
        return 2;
    }
    return app.exec();
}
