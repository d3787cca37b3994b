#include "frmmain.h"
#include "memoryspreadsheet.h"
#include "modalanswer.h"
#include "modmain.h"
#include "settings.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// One copy of the program at a time: a second start is refused while the first runs, and
// allowed once the first is gone, even when it was killed and left its lock behind.
class tst_modMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void secondCopyRefusedUntilFirstKilled();

private:
    QTemporaryDir m_dir;
};

void tst_modMain::initTestCase() {
    QVERIFY(m_dir.isValid());
    // The program started below and this test share one settings folder.
    qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toLocal8Bit());
}

void tst_modMain::secondCopyRefusedUntilFirstKilled() {
    QProcess first;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    first.setProcessEnvironment(environment);
    first.start(QCoreApplication::applicationDirPath() + "/celvane");
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(modMain::lockPath()), 20000);

    const QString settingsFile = openSettings()->fileName();
    QString title;
    QString text;
    ModalAnswer answer([&](QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        title = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    modMain second(std::make_unique<MemorySpreadsheetFactory>());
    QVERIFY(!second.Main({}));
    QVERIFY(answer.closedByUser());
    QCOMPARE(title, QStringLiteral("Cannot run more than one copy of this program."));
    QCOMPARE(text, QStringLiteral("The Celvane GUI is already running.  Please use it."));
    QVERIFY(!second.mainWindow());
    QVERIFY2(!QFileInfo::exists(settingsFile), "a refused start writes no settings");
    QCOMPARE(first.state(), QProcess::Running);

    // Killed, the first copy leaves its lock; the next start takes it over.
    first.kill();
    QVERIFY(first.waitForFinished());
    QVERIFY(QFileInfo::exists(modMain::lockPath()));
    modMain third(std::make_unique<MemorySpreadsheetFactory>());
    QVERIFY(third.Main({}));
    QVERIFY(third.mainWindow());
    QVERIFY(third.mainWindow()->isVisible());
}

QTEST_MAIN(tst_modMain)
#include "tst_modmain.moc"
