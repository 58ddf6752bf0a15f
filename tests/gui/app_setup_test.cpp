#include "relan/version.hpp"

#include <QProcess>
#include <QtTest>

namespace {

// The desktop program run as a package tool or a script runs it: no display
// of any kind and no platform chosen.
QProcess* startWithoutDisplay(const QStringList& args, QObject* parent) {
    auto* p = new QProcess(parent);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
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
        QTest::newRow("after a file") << QStringList{QStringLiteral("/no/such.rel"), QStringLiteral("--version")};
    }
    void versionNeedsNoDisplay() {
        QFETCH(QStringList, args);
        QProcess* p = startWithoutDisplay(args, this);
        QVERIFY(p->waitForFinished(20000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p->readAllStandardOutput()), QStringLiteral("relan %1\n").arg(relan::kVersion));
        QCOMPARE(p->readAllStandardError(), QByteArray());
    }
};

QTEST_MAIN(AppSetupTest)
#include "app_setup_test.moc"
