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
        QVERIFY(m_pty.start()); // COM 1 is one end; the test writes into the other
        openSettings()->setValue("Communication/ComPort", "1");
        openSettings()->setValue("Ports/COM1", m_pty.deviceA());
        openSettings()->setValue("Excel Macro/Enable", "True"); // not to be run at logout
        openSettings()->setValue("Excel Macro/Name", "Tidy");
    }
    void secondCopyRefused() {
        QString shown;
        const ModalAnswer answer([&](QDialog* box) {
            shown = box->windowTitle() + " | " + qobject_cast<QMessageBox*>(box)->text();
        });
        modMain first(std::make_unique<MemorySpreadsheetFactory>());
        modMain second(std::make_unique<MemorySpreadsheetFactory>());
        QVERIFY(first.Main({}) && !second.Main({}) && !second.mainWindow());
        QCOMPARE(shown, "Cannot run more than one copy of this program. | "
                        "The Celvane GUI is already running.  Please use it.");
    }
    // Every byte value sent is on disk before the end, and in a file the next start tells of.
    void endedCaptureFoundAtNextStart_data() {
        QTest::addColumn<QList<int>>("sent");  // the signals that end the capture
        QTest::addColumn<bool>("interrupted"); // or stopped asking nothing, running no macro
        QTest::newRow("killed") << QList<int>{SIGKILL} << true;
        QTest::newRow("a second stop signal ends it at once")
            << QList<int>{SIGTERM, SIGHUP} << true;
        QTest::newRow("logout") << QList<int>{SIGTERM} << false;
        QTest::newRow("Ctrl+C") << QList<int>{SIGINT} << false;
    }
    void endedCaptureFoundAtNextStart() {
        QFETCH(QList<int>, sent);
        QFETCH(bool, interrupted);
        QProcess capturing; // the capture runs offscreen as this test does
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        capturing.setProcessEnvironment(environment);
        capturing.start(QCoreApplication::applicationDirPath() + "/capturechild", {path("master")});
        QTRY_COMPARE_WITH_TIMEOUT(journals().size(), 1, 20000);
        QByteArray bytes(256, 0);
        std::iota(bytes.begin(), bytes.end(), char(0));
        bytes += "\r\nlast line\r\n";
        QVERIFY(writeFile(m_pty.deviceB(), bytes));
        QTRY_COMPARE_WITH_TIMEOUT(readFile(path("data/Celvane/journal/" + journals().first())),
                                  bytes, 20000);
        const auto pid = pid_t(capturing.processId());
        ::kill(pid, SIGSTOP); // the signals arrive together
        for (const int signal : std::as_const(sent))
            ::kill(pid, signal);
        ::kill(pid, SIGCONT);
        QVERIFY(capturing.waitForFinished());
        QCOMPARE(capturing.exitStatus() == QProcess::CrashExit, interrupted);
        QVERIFY(writeFile(path("data/Celvane/journal/capture 2026-01-01 00-00-00.journal"), ""));
        modMain next(std::make_unique<MemorySpreadsheetFactory>());
        QVERIFY(next.Main({false, path("master")}));
        QDir documents(path("documents"));
        const QStringList found = documents.entryList({"Celvane interrupted capture *.txt"});
        QCOMPARE(found.size(), int(interrupted));
        const QString file =
            documents.filePath(interrupted ? found.first() : "spreadsheet (recovered).xls");
        QCOMPARE(next.mainWindow()->findChild<QLabel*>("panStatus")->text(),
                 (interrupted ? "Received data of an interrupted capture is in "
                              : "Unsaved data kept in ") +
                     file);
        QVERIFY(!interrupted || readFile(file) == bytes);
        QCOMPARE(journals(), QStringList());
        QVERIFY(documents.removeRecursively());
    }

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList journals() const {
        return QDir(path("data/Celvane/journal")).entryList(QDir::Files);
    }

    QTemporaryDir m_dir;
    PtyPair m_pty;
};

QTEST_MAIN(tst_modMain)
#include "tst_modmain.moc"
