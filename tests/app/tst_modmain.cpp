#include "filecontent.h"
#include "frmmain.h"
#include "memoryspreadsheet.h"
#include "modmain.h"
#include "ptypair.h"
#include "settings.h"

#include <QtTest>
#include <QtWidgets>

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
    }
    // Every byte value sent is on disk before the kill, and in a file the next start tells of.
    void killedCaptureFoundAtNextStart() {
        QProcess capturing;
        start(capturing, "capturechild", {path("master")});
        QTRY_COMPARE_WITH_TIMEOUT(journals().size(), 1, 20000);
        QByteArray sent(256, 0);
        std::iota(sent.begin(), sent.end(), char(0));
        sent += "\r\nlast line\r\n";
        QVERIFY(writeFile(m_pty.deviceB(), sent));
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

    QTemporaryDir m_dir;
    PtyPair m_pty;
};

QTEST_MAIN(tst_modMain)
#include "tst_modmain.moc"
