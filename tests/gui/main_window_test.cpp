#include "main_window.hpp"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startsWithCaptionAndHomeFolder();
    void loadFillsHeadingAndGridAndRemembersThePath();
};

void MainWindowTest::startsWithCaptionAndHomeFolder() {
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    relan::gui::MainWindow w;
    QCOMPARE(w.objectName(), QString("Form1"));
    QCOMPARE(w.windowTitle(), QString::fromUtf8("Анализ надежности в эксплуатации.  v.4.1"));
    QCOMPARE(w.findChild<QLineEdit*>("FilePath")->text(), QDir::homePath());
}

void MainWindowTest::loadFillsHeadingAndGridAndRemembersThePath() {
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QString sample = RELAN_SAMPLES_DIR "/mtz82_2018.rel";
    {
        relan::gui::MainWindow w;
        QVERIFY(w.loadFailureFile(sample));
        QVERIFY(w.findChild<QLabel*>("Label10")->text().startsWith(QString::fromUtf8("Трактор")));
        auto* grid = w.findChild<QTableWidget*>("Mass_List");
        QCOMPARE(grid->rowCount(), w.state().Kol_izw);
        QCOMPARE(grid->item(0, 0)->text(), QString("1"));
    }
    // The next start offers the file loaded last.
    relan::gui::MainWindow again;
    QCOMPARE(again.findChild<QLineEdit*>("FilePath")->text(), sample);
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
