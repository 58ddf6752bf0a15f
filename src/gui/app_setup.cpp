#include "app_setup.hpp"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace relan::gui {

bool setUpApplication(QApplication& app) {
    QApplication::setApplicationName(QString::fromUtf8("Анализ надежности 4.0 (2018)"));
    // The program speaks Russian whatever the user's locale; its numbers
    // still follow the user's number format.
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                          folder)) {
        delete translator;
        return false;
    }
    QApplication::installTranslator(translator);
    return true;
}

} // namespace relan::gui
