#include "chart_command.hpp"

#include "expand_window.hpp"
#include "flow_chart.hpp"
#include "main_window.hpp"
#include "messages.hpp"
#include "nonparam_window.hpp"
#include "results_window.hpp"

#include "relan/error.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPixmap>
#include <QStringList>

#include <iostream>

int runChartCommand(const ChartCommand& c) {
    // No display is needed: the windows are drawn into memory.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's notes about the offscreen platform are not the user's business.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << msg.toStdString() << "\n";
    });
    int argc = 1;
    char name[] = "relan-cli";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    QString failure;
    relan::gui::setMessageHook([&failure](const QString&, const QString& text) {
        if (failure.isEmpty()) failure = text;
    });
    auto refuse = [&](const QString& why) {
        std::cerr << "relan-cli: " << why.simplified().toStdString() << "\n";
        return 2;
    };

    // The desktop program's link file is neither offered nor written: the
    // caller's folder is left as it was.
    relan::gui::MainWindow w(nullptr, relan::gui::MainWindow::LinkFile::Ignore,
                             relan::NumberFormat{c.decimal});
    if (!w.loadFailureFile(QString::fromStdString(c.file))) return refuse(failure);
    if (!c.warranty.empty() && !w.loadWarrantyFile(QString::fromStdString(c.warranty))) return refuse(failure);

    const QStringList models = QString::fromStdString(c.models).split(',', Qt::SkipEmptyParts);
    for (const QString& m : models)
        if (m != "spiral" && m != "newton" && m != "smirnov")
            return refuse("--models: неизвестная модель «" + m + "» (допустимы spiral, newton, smirnov)");
    w.findChild<QCheckBox*>("SpirSpusk")->setChecked(models.contains("spiral"));
    w.findChild<QCheckBox*>("BoxNewton")->setChecked(models.contains("newton"));
    w.findChild<QCheckBox*>("BoxSmirnow")->setChecked(models.contains("smirnov"));

    QPixmap image;
    if (c.window == "results" || c.window == "expanded") {
        if (!w.calculate()) return refuse(failure.isEmpty() ? QString("расчет не выполнен") : failure);
        if (c.window == "results") {
            image = w.resultsWindow()->grab();
        } else {
            if (!w.expand()) return refuse(failure);
            relan::gui::ExpandWindow* e = w.expandWindow();
            e->showNormal();
            e->resize(1190, 775);
            image = e->grab();
        }
    } else if (c.window == "nonparam") {
        if (!w.analyseNonParametric()) return refuse(failure);
        image = w.nonParamWindow()->grab();
    } else {
        return refuse("--window: допустимы results, expanded, nonparam");
    }
    try {
        relan::gui::writePngFile(image, QString::fromStdString(c.out));
    } catch (const relan::Error& e) {
        return refuse(QString::fromStdString(e.what()));
    }
    return 0;
}
