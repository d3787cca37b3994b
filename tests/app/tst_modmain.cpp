#include "filecontent.h"
#include "frmmain.h"
#include "memoryspreadsheet.h"
#include "modalanswer.h"
#include "modmain.h"
#include "ptypair.h"
#include "settings.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <numeric>

// The program as started; the programs it starts share this test's settings, documents, journals.
class tst_modMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
        QVERIFY(QDir().mkpath(path("config")) && QDir().mkpath(path("master")));
        QVERIFY(writeFile(path("config/user-dirs.dirs"),
                          "XDG_DOCUMENTS_DIR=\"" + path("documents").toUtf8() + "\"\n"));
        QVERIFY(writeFile(path("master/spreadsheet.xls"), "master workbook"));
    }
    // One copy at a time; a killed copy leaves its lock, which the next start takes over.
    void secondCopyRefusedUntilFirstKilled() {
        QProcess first;
        start(first, "celvane", {});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(modMain::lockPath()), 20000);
        QString shown;
        const ModalAnswer answer([&](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            shown = box->windowTitle() + " | " + box->text();
            box->button(QMessageBox::Ok)->click();
        });
        modMain second(std::make_unique<MemorySpreadsheetFactory>());
        QVERIFY(!second.Main({}) && !second.mainWindow() && answer.closedByUser());
        QCOMPARE(shown, "Cannot run more than one copy of this program. | "
                        "The Celvane GUI is already running.  Please use it.");
        QVERIFY(!QFileInfo::exists(openSettings()->fileName()) &&
                first.state() == QProcess::Running);
        first.kill();
        QVERIFY(first.waitForFinished() && QFileInfo::exists(modMain::lockPath()));
        modMain third(std::make_unique<MemorySpreadsheetFactory>());
        QVERIFY(third.Main({}) && third.mainWindow()->isVisible());
    }
    // Every byte value sent is on disk before the kill, and in a file the next start tells of.
    void killedCaptureFoundAtNextStart() {
        PtyPair pty;
        QVERIFY(mapComPort(pty));
        QProcess capturing;
        start(capturing, "capturechild", {path("master")});
        QTRY_COMPARE_WITH_TIMEOUT(journals().size(), 1, 20000);
        QByteArray sent(256, 0);
        std::iota(sent.begin(), sent.end(), char(0));
        sent += "\r\nlast line\r\n";
        QVERIFY(writeFile(pty.deviceB(), sent));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(path("data/Celvane/journal/" + journals().first())),
                                  sent, 20000);
        capturing.kill();
        QVERIFY(capturing.waitForFinished());
        modMain next(std::make_unique<MemorySpreadsheetFactory>());
        QVERIFY(next.Main({false, path("master")}));
        const QStringList found =
            QDir(path("documents")).entryList({"Celvane interrupted capture *.txt"});
        QCOMPARE(found.size(), 1);
        const QString file = path("documents/" + found.first());
        QCOMPARE(readFile(file), sent);
        QCOMPARE(next.mainWindow()->findChild<QLabel*>("panStatus")->text(),
                 "Received data of an interrupted capture is in " + file);
        QCOMPARE(journals(), QStringList());
    }
    // Logout stops the capture as Stop does, the workbook saved under its new name.
    void sessionEndStopsTheCapture() {
        PtyPair pty;
        QVERIFY(mapComPort(pty));
        auto memory = std::make_unique<MemorySpreadsheetFactory>();
        memory->saveAsAnswer = path("session.xls");
        const QMap<QString, MemoryWorkbook>& files = memory->files;
        modMain program(std::move(memory));
        QVERIFY(program.Main({false, path("master")}));
        frmMain* window = program.mainWindow();
        window->findChild<QPushButton*>("cmdStart")->click();
        QVERIFY(writeFile(pty.deviceB(), "logged\r\n"));
        QTRY_COMPARE(window->receivePath().bytesReceived(), 8);
        ::raise(SIGTERM);
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(window->captureState(), qint16(0));
        QCOMPARE(files.value(path("session.xls")).sheets[0].at({1, 1}),
                 CellValue(QStringLiteral("logged")));
        QCOMPARE(journals(), QStringList());
    }

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList journals() const {
        return QDir(path("data/Celvane/journal")).entryList(QDir::Files);
    }
    static void start(QProcess& process, const QString& program, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationDirPath() + "/" + program, arguments);
    }
    // COM 1 is one end of a new pseudo-terminal pair; the test writes into the other.
    static bool mapComPort(PtyPair& pty) {
        openSettings()->setValue("Communication/ComPort", "1");
        openSettings()->setValue("Ports/COM1", pty.deviceA());
        return pty.start();
    }

    QTemporaryDir m_dir;
};

QTEST_MAIN(tst_modMain)
#include "tst_modmain.moc"
