#include "filecontent.h"
#include "frmmain.h"
#include "memoryspreadsheet.h"
#include "modalanswer.h"
#include "modmain.h"
#include "ptypair.h"
#include "settings.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// The program as started: one copy at a time, a second start refused while the first runs and
// allowed once the first is gone, even when it was killed and left its lock behind; a capture
// killed with the program is found at the next start; the session's end stops a capture
// normally.
class tst_modMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void secondCopyRefusedUntilFirstKilled();
    void killedCaptureFoundAtNextStart();
    void sessionEndStopsTheCapture();

private:
    QString master() const { return m_dir.filePath("master"); }
    QString documents() const { return m_dir.filePath("documents"); }
    QStringList journals() const {
        return QDir(m_dir.filePath("data/Celvane/journal")).entryList(QDir::Files);
    }
    // COM 1 is one end of a new pseudo-terminal pair; the test writes into the other.
    bool mapComPort(PtyPair& pty);

    QTemporaryDir m_dir;
};

void tst_modMain::initTestCase() {
    QVERIFY(m_dir.isValid());
    // The programs started below and this test share one home: settings, documents, journals.
    qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", m_dir.filePath("data").toLocal8Bit());
    QVERIFY(QDir().mkpath(m_dir.filePath("config")) && QDir().mkpath(master()));
    QVERIFY(writeFile(m_dir.filePath("config/user-dirs.dirs"),
                      "XDG_DOCUMENTS_DIR=\"" + documents().toUtf8() + "\"\n"));
    QVERIFY(writeFile(QDir(master()).filePath("spreadsheet.xls"), "master workbook"));
}

bool tst_modMain::mapComPort(PtyPair& pty) {
    if (!pty.start())
        return false;
    const auto settings = openSettings();
    settings->setValue(QStringLiteral("Communication/ComPort"), QStringLiteral("1"));
    settings->setValue(QStringLiteral("Ports/COM1"), pty.deviceA());
    return true;
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

void tst_modMain::killedCaptureFoundAtNextStart() {
    PtyPair pty;
    QVERIFY(mapComPort(pty));
    QProcess capturing;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    capturing.setProcessEnvironment(environment);
    capturing.setProcessChannelMode(QProcess::ForwardedChannels);
    capturing.start(QCoreApplication::applicationDirPath() + "/capturechild", {master()});
    QTRY_COMPARE_WITH_TIMEOUT(journals().size(), 1, 20000);
    const QString journal = m_dir.filePath("data/Celvane/journal/") + journals().first();

    // Every byte value, as the instrument sent it, is on disk before the program is killed.
    QByteArray sent;
    for (int byte = 0; byte < 256; ++byte)
        sent += char(byte);
    sent += "\r\nlast line\r\n";
    QVERIFY(writeFile(pty.deviceB(), sent));
    QTRY_COMPARE_WITH_TIMEOUT(readFile(journal), sent, 20000);
    capturing.kill();
    QVERIFY(capturing.waitForFinished());

    modMain next(std::make_unique<MemorySpreadsheetFactory>());
    QVERIFY(next.Main({false, master()}));
    const QStringList found = QDir(documents()).entryList({"Celvane interrupted capture *.txt"});
    QCOMPARE(found.size(), 1);
    QCOMPARE(readFile(QDir(documents()).filePath(found.first())), sent);
    QCOMPARE(next.mainWindow()->findChild<QLabel*>("panStatus")->text(),
             "Received data of an interrupted capture is in " +
                 QDir(documents()).filePath(found.first()));
    QCOMPARE(journals(), QStringList());
}

void tst_modMain::sessionEndStopsTheCapture() {
    PtyPair pty;
    QVERIFY(mapComPort(pty));
    auto memory = std::make_unique<MemorySpreadsheetFactory>();
    MemorySpreadsheetFactory& spreadsheets = *memory;
    spreadsheets.saveAsAnswer = m_dir.filePath("session.xls");
    modMain program(std::move(memory));
    QVERIFY(program.Main({false, master()}));
    frmMain* window = program.mainWindow();
    window->findChild<QPushButton*>("cmdStart")->click();
    QCOMPARE(window->captureState(), qint16(1));
    QVERIFY(writeFile(pty.deviceB(), "logged\r\n"));
    QTRY_COMPARE(window->receivePath().bytesReceived(), 8);
    QCOMPARE(journals().size(), 1);

    // Logout: the capture stops as Stop does, the workbook saved under its new name.
    ::raise(SIGTERM);
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(window->captureState(), qint16(0));
    QCOMPARE(spreadsheets.files.value(m_dir.filePath("session.xls")).sheets[0].at({1, 1}),
             CellValue(QStringLiteral("logged")));
    QCOMPARE(journals(), QStringList());
}

QTEST_MAIN(tst_modMain)
#include "tst_modmain.moc"
