#include "app_setup.hpp"

#include "relan/version.hpp"

#include <QApplication>
#include <QDirIterator>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace relan::gui {

bool setUpApplication(QApplication& app) {
    QApplication::setApplicationName(QString::fromUtf8("Анализ надежности 4.0 (2018)"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    // Wayland matches the windows to the desktop entry, and so to its icon,
    // by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kAppId));
    // The installed icon theme's copies serve the desktop; the windows carry
    // their own, so that they show it when run from the build tree too.
    QIcon icon;
    QDirIterator pictures(QStringLiteral(":/icons"), {QStringLiteral("*.png")}, QDir::Files,
                          QDirIterator::Subdirectories);
    while (pictures.hasNext())
        icon.addFile(pictures.next());
    QApplication::setWindowIcon(icon);
    // The program speaks Russian whatever the user's locale; its numbers
    // still follow the user's number format.
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"), folder)) {
        delete translator;
        return false;
    }
    QApplication::installTranslator(translator);
    return true;
}

} // namespace relan::gui
