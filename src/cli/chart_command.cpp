#include "chart_command.hpp"

#include "app_setup.hpp"
#include "expand_window.hpp"
#include "main_window.hpp"
#include "messages.hpp"
#include "nonparam_window.hpp"
#include "report_pdf.hpp"
#include "results_window.hpp"

#include "relan/error.hpp"
#include "relan/file_io.hpp"
#include "relan/text_decoding.hpp"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QLayout>
#include <QLineEdit>
#include <QPixmap>
#include <QStringList>

#include <filesystem>
#include <iostream>
#include <string_view>

namespace {

// The windows' widgets drawn into memory: no display is needed, and Qt's
// notes about the offscreen platform are not the user's business.
struct OffscreenApplication {
    // Before the application is made, which reads both.
    static bool offscreen() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
            if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << msg.toStdString() << "\n";
        });
        return true;
    }
    bool ready = offscreen();
    int argc = 1;
    char name[10] = "relan-cli";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

// The output goes to the name as given, byte for byte: a name that is not
// UTF-8 would come back from a QString as another name.
void writeBytes(const std::string& out, const QByteArray& bytes) {
    relan::writeFileSafely(std::filesystem::path(out),
                           std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

} // namespace

int writeReportCommand(const relan::AnalysisReport& report, const std::string& dataFile,
                       const std::string& out) {
    OffscreenApplication offscreen;
    relan::gui::setUpApplication(offscreen.app);
    try {
        writeBytes(out,
                   relan::gui::reportPdf(report, relan::gui::reportPages(QString::fromStdString(dataFile))));
    } catch (const std::exception& e) {
        std::cerr << "relan-cli: " << QString::fromStdString(e.what()).simplified().toStdString() << "\n";
        return 2;
    }
    return 0;
}

int runChartCommand(const ChartCommand& c) {
    OffscreenApplication offscreen;
    QApplication& app = offscreen.app;
    relan::gui::setUpApplication(app);

    QString failure;
    relan::gui::setMessageHook([&failure](const QString&, const QString& text) {
        if (failure.isEmpty()) failure = text;
    });
    auto refuse = [&](const QString& why) {
        std::cerr << "relan-cli: " << why.simplified().toStdString() << "\n";
        return 2;
    };

    // The window opens files by a QString, which holds only text: a name in
    // another encoding would open another file, or none.
    for (const std::string* name : {&c.file, &c.warranty})
        if (!relan::text::isValidUtf8(*name))
            return refuse(
                QString::fromStdString(relan::text::quoted(*name)) +
                ": имя файла не в кодировке UTF-8, окно программы не может его открыть; переименуйте файл");

    // The desktop program's link file is neither offered nor written: the
    // caller's folder is left as it was.
    relan::gui::MainWindow w(nullptr, relan::gui::MainWindow::LinkFile::Ignore,
                             relan::NumberFormat{c.decimal});
    if (!w.loadFailureFile(QString::fromStdString(c.file))) return refuse(failure);
    if (!c.warranty.empty() && !w.loadWarrantyFile(QString::fromStdString(c.warranty)))
        return refuse(failure);

    const QStringList models = QString::fromStdString(c.models).split(',', Qt::SkipEmptyParts);
    for (const QString& m : models)
        if (m != "spiral" && m != "newton" && m != "smirnov" && m != "ml")
            return refuse("--models: неизвестная модель «" + m + "» (допустимы spiral, newton, smirnov, ml)");
    w.findChild<QCheckBox*>("SpirSpusk")->setChecked(models.contains("spiral"));
    w.findChild<QCheckBox*>("BoxNewton")->setChecked(models.contains("newton"));
    w.findChild<QCheckBox*>("BoxSmirnow")->setChecked(models.contains("smirnov"));
    w.findChild<QCheckBox*>("BoxML")->setChecked(models.contains("ml"));

    QPixmap image;
    if (c.window == "results" || c.window == "expanded") {
        if (!w.calculate() || !w.waitForWork())
            return refuse(failure.isEmpty() ? QString("расчет не выполнен") : failure);
        if (c.window == "results") {
            // The designed size, whatever screen the offscreen platform pretends.
            w.resultsWindow()->resize(1436, 794);
            image = w.resultsWindow()->grab();
        } else {
            if (!w.expand()) return refuse(failure);
            relan::gui::ExpandWindow* e = w.expandWindow();
            e->showNormal();
            // The chart and its heading at their designed size, without the
            // window's button.
            const QSize designed(1184, 769);
            e->resize(designed);
            for (int i = 0; i < 2; ++i) {
                e->layout()->activate();
                e->resize(e->size() + designed - e->printedPart()->size());
            }
            e->layout()->activate();
            image = e->printedPart()->grab();
        }
    } else if (c.window == "nonparam") {
        if (!w.analyseNonParametric() || !w.waitForWork()) return refuse(failure);
        w.nonParamWindow()->resize(1008, 700);
        image = w.nonParamWindow()->grab();
    } else {
        return refuse("--window: допустимы results, expanded, nonparam");
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return refuse(QString::fromStdString(
            relan::writeFailureMessage(c.out, "рисунок не удалось закодировать в PNG")));
    try {
        writeBytes(c.out, png);
    } catch (const relan::Error& e) {
        return refuse(QString::fromStdString(e.what()));
    }
    return 0;
}
