#include "chart_command.hpp"

#include "app_setup.hpp"
#include "expand_window.hpp"
#include "messages.hpp"
#include "nonparam_window.hpp"
#include "qt_text.hpp"
#include "report_pdf.hpp"
#include "results_window.hpp"

#include "relan/calculation.hpp"
#include "relan/error.hpp"
#include "relan/file_io.hpp"
#include "relan/input_files.hpp"
#include "relan/nonparam.hpp"
#include "relan/results.hpp"
#include "relan/state.hpp"
#include "relan/text_decoding.hpp"

#include <QApplication>
#include <QBuffer>
#include <QLayout>
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

    // The refusals are worded as the desktop program shows them.
    QString failure;
    relan::gui::setMessageHook([&failure](const QString&, const QString& text) {
        if (failure.isEmpty()) failure = text;
    });
    auto refuse = [&](const QString& why) {
        std::cerr << "relan-cli: " << why.simplified().toStdString() << "\n";
        return 2;
    };
    auto guarded = [](auto&& body) { return relan::gui::guarded(nullptr, body); };

    // The desktop program opens files by a QString, which holds only text: a
    // name in another encoding would open another file, or none there, so it
    // is refused here too.
    for (const std::string* name : {&c.file, &c.warranty})
        if (!relan::text::isValidUtf8(*name))
            return refuse(
                QString::fromStdString(relan::text::quoted(*name)) +
                ": имя файла не в кодировке UTF-8, окно программы не может его открыть; переименуйте файл");

    const relan::NumberFormat fmt{c.decimal};
    relan::Analysis state;
    relan::FailureLoad load;
    if (!guarded([&] { load = relan::loadFailureData(c.file, fmt, state); })) return refuse(failure);
    // The censoring fields as the loads leave them in the main window.
    std::string meanText = load.fields.censoringMeanText, sdText = load.fields.censoringSdText;
    if (!c.warranty.empty()) {
        relan::WarrantyLoadFields warranty;
        if (!guarded([&] { warranty = relan::loadWarrantyTerms(c.warranty, fmt, state); }))
            return refuse(failure);
        meanText = warranty.censoringMeanText;
        sdText = warranty.censoringSdText;
    }

    // The main window's fields after the loads, with the fits of --models
    // ticked; the genetic model is a run of its own, which no chart waits for.
    relan::CalculationInputs fields;
    fields.fit = {};
    for (const QString& m : QString::fromStdString(c.models).split(',', Qt::SkipEmptyParts)) {
        const relan::ModelDescriptor* d = relan::modelByKey(m.toStdString());
        if (!d || d->id == relan::ModelId::Genetic)
            return refuse("--models: неизвестная модель «" + m + "» (допустимы spiral, newton, smirnov, ml)");
        fields.fit[d->id] = true;
    }
    fields.dataPath = c.file;
    fields.censoringMeanText = meanText;
    fields.censoringSdText = sdText;
    fields.countingPeriodText = load.fields.countingPeriodText;
    fields.spiralStepText = load.fields.spiralStepText;
    fields.newtonStepText = load.fields.newtonStepText;
    fields.smirnovStepText = load.fields.smirnovStepText;
    fields.pearsonVariant = relan::PearsonVariant::Spec1;

    // The calculation as the main window runs it; the results and the state
    // it leaves, for the expanded chart.
    relan::DiagramsResult diagrams;
    auto calculated = [&] {
        return guarded([&] {
            relan::PreparedCalculation p = relan::prepareCalculation(state, fields, fmt);
            diagrams = relan::runPreparedCalculation(p, fmt, [](const std::string&) {}).diagrams;
            state = std::move(p.state);
        });
    };

    QPixmap image;
    if (c.window == "results" || c.window == "expanded") {
        if (!calculated()) return refuse(failure.isEmpty() ? QString("расчет не выполнен") : failure);
        if (c.window == "results") {
            relan::gui::ResultsWindow results(nullptr);
            results.setComment(relan::gui::qs(load.fields.comment));
            results.fill(diagrams);
            results.show();
            // The designed size, whatever screen the offscreen platform pretends.
            results.resize(1436, 794);
            image = results.grab();
        } else {
            relan::ExpandResult expanded;
            if (!guarded([&] { expanded = relan::ExpandDia_1(state, fmt); })) return refuse(failure);
            relan::gui::ExpandWindow e(nullptr);
            e.fill(expanded);
            e.showMaximized();
            e.showNormal();
            // The chart and its heading at their designed size, without the
            // window's button.
            const QSize designed(1184, 769);
            e.resize(designed);
            for (int i = 0; i < 2; ++i) {
                e.layout()->activate();
                e.resize(e.size() + designed - e.printedPart()->size());
            }
            e.layout()->activate();
            image = e.printedPart()->grab();
        }
    } else if (c.window == "nonparam") {
        if (state.MasProbl.empty()) return refuse(relan::gui::qs(relan::kNoFailureData));
        relan::NonParamResult r;
        if (!guarded([&] { r = relan::runNonParametric(state, meanText, sdText, fmt, {}); }))
            return refuse(failure);
        relan::gui::NonParamWindow np(nullptr);
        np.fill(r, fmt);
        np.show();
        np.resize(1008, 700);
        image = np.grab();
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
