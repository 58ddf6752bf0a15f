#include "app_setup.hpp"

#include "relan/version.hpp"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QProcess>
#include <QtTest>

namespace {

// The desktop program run as a package tool or a script runs it: no display
// of any kind and no platform chosen.
QProcess* startWithoutDisplay(const QStringList& args, QObject* parent) {
    auto* p = new QProcess(parent);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    p->setProcessEnvironment(env);
    p->start(QStringLiteral(RELAN_GUI_PATH), args);
    return p;
}

} // namespace

class AppSetupTest : public QObject {
    Q_OBJECT
  private slots:
    void versionNeedsNoDisplay_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("alone") << QStringList{QStringLiteral("--version")};
        // A data file that does not exist would open a message box.
        QTest::newRow("after a file")
            << QStringList{QStringLiteral("/no/such.rel"), QStringLiteral("--version")};
    }
    void versionNeedsNoDisplay() {
        QFETCH(QStringList, args);
        QProcess* p = startWithoutDisplay(args, this);
        QVERIFY(p->waitForFinished(20000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p->readAllStandardOutput()),
                 QStringLiteral("relan %1\n").arg(relan::kVersion));
        QCOMPARE(p->readAllStandardError(), QByteArray());
    }

    void windowIconHasEveryPicture() {
        relan::gui::setUpApplication(*qApp);
        const QIcon icon = QApplication::windowIcon();
        const QList<QSize> sizes = icon.availableSizes();
        for (const int side : {16, 32, 48, 64, 128, 256}) {
            QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
            // Drawn, not an empty picture: the small one too shows the
            // middle bar apart from the opaque background above it.
            const QImage image = icon.pixmap(QSize(side, side)).toImage();
            QCOMPARE(image.size(), QSize(side, side));
            const QColor bar = image.pixelColor(side / 2, side * 3 / 4);
            const QColor background = image.pixelColor(side / 2, side / 4);
            QCOMPARE(background.alpha(), 255);
            QVERIFY2(bar.lightness() > background.lightness() + 80, qPrintable(QString::number(side)));
        }
    }

    void desktopEntryIsNamedAfterTheApplication() {
        // The desktop matches the windows to the entry, and so to the icon,
        // by this name: renaming the file alone would lose the icon.
        relan::gui::setUpApplication(*qApp);
        const QString id = QGuiApplication::desktopFileName();
        QCOMPARE(id, QString::fromLatin1(relan::kAppId));
        QVERIFY(QFile::exists(QStringLiteral(RELAN_DATA_DIR "/%1.desktop").arg(id)));
        QVERIFY(QFile::exists(QStringLiteral(RELAN_DATA_DIR "/icons/hicolor/scalable/apps/%1.svg").arg(id)));
    }
};

QTEST_MAIN(AppSetupTest)
#include "app_setup_test.moc"
