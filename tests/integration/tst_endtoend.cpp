// The whole program into a real headless office, with an instrument on a pseudo-terminal pair:
// Stop with a new name, the workbook read back by an independent reader, or with a stuck office.

#include "filecontent.h"
#include "frmmain.h"
#include "officetesthome.h"
#include "programrun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

constexpr qint64 kOrvaLineBytes = 50;

class tst_EndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_home.isReady()); }
    void orvaLinesLandRowByRow_data();
    void orvaLinesLandRowByRow();
    void officeStoppedOrKilled_data();
    void officeStoppedOrKilled();

private:
    QString file(const QString& name) const { return m_home.file(name); }

    OfficeTestHome m_home;
};

void tst_EndToEnd::orvaLinesLandRowByRow_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("stopAtOnce"); // the office stuck while the lines come
    QTest::newRow("115200 baud") << 115200 << 400 << false;
    QTest::newRow("921600 baud, Stop writes what waits") << 921600 << 5000 << true;
}

void tst_EndToEnd::orvaLinesLandRowByRow() {
    QFETCH(int, baud);
    QFETCH(int, lines);
    QFETCH(bool, stopAtOnce);
    const qint64 bytes = lines * kOrvaLineBytes;
    const QString path = file(u"orva.xls"_s);
    ProgramRun run;
    QVERIFY2(run.start(), qPrintable(run.problem()));
    QCOMPARE(officeProcesses().size(), 1);
    if (stopAtOnce)
        ::kill(officeProcesses().value(0), SIGSTOP);
    QVERIFY2(run.playInstrument("orva", lines, baud, 120s), qPrintable(run.problem()));
    QTRY_COMPARE_WITH_TIMEOUT(run.window()->receivePath().bytesReceived(), bytes, 120000);
    const QString received = u"Bytes Received: %1"_s.arg(bytes);
    if (stopAtOnce) {
        ::kill(officeProcesses().value(0), SIGCONT);
        // Stop once the office takes cells again, after one pass of the pump.
        QVERIFY(QTest::qWaitFor([&] { return run.statusText() == received; }, 60000));
        QVERIFY(run.bytesWritten() < bytes);
    } else {
        QVERIFY2(run.waitUntilWritten(bytes, 120s), qPrintable(run.problem()));
        QTRY_COMPARE(run.statusText(), received); // the pump goes on while the line is silent
    }
    QFile::remove(path); // the dialog would ask whether to replace it
    QVERIFY2(run.stopSavingAs(path), qPrintable(run.problem()));
    QCOMPARE(run.window()->captureState(), qint16(0));
    QCOMPARE(run.statusText(), QString()); // saved, nothing kept elsewhere
    QCOMPARE(officeProcesses(), QList<pid_t>{});
    const QList<SheetCells> sheets = readXls(path);
    const OrvaRows rows = readOrvaRows(sheets, lines);
    QVERIFY2(rows.complete(), qPrintable(rows.firstProblem));
    // Row by row from the top of one sheet, nothing beside or below.
    QCOMPARE(sheets.size(), 1);
    QCOMPARE(sheets[0].lastKey(), qMakePair(lines, 8));
}

void tst_EndToEnd::officeStoppedOrKilled_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("stopped") << int(SIGSTOP);
    QTest::newRow("killed") << int(SIGKILL);
}

void tst_EndToEnd::officeStoppedOrKilled() {
    QFETCH(int, signal);
    constexpr int lines = 20;
    ProgramRun run;
    QVERIFY2(run.start(), qPrintable(run.problem()));
    QVERIFY2(run.playInstrument("orva", lines, 115200, 120s), qPrintable(run.problem()));
    QVERIFY2(run.waitUntilWritten(lines * kOrvaLineBytes, 120s), qPrintable(run.problem()));
    // The office stops or dies with rows in its workbook; more lines arrive after.
    ::kill(officeProcesses().value(0), signal);
    QVERIFY2(run.playInstrument("orva", lines, 115200, 120s), qPrintable(run.problem()));
    QTRY_COMPARE(run.window()->receivePath().bytesReceived(), 2 * lines * kOrvaLineBytes);
    // Stop waits for a stopped office only within its deadlines, the window answering meanwhile,
    // and ends the office before it is done.
    bool answeredWhileWaiting = false;
    QTimer watch;
    watch.callOnTimeout(
        [&] { answeredWhileWaiting |= run.startEnabled() && !officeProcesses().isEmpty(); });
    watch.start(20);
    QVERIFY2(run.stop(), qPrintable(run.problem()));
    if (signal == SIGSTOP)
        QVERIFY(answeredWhileWaiting);
    QCOMPARE(run.window()->captureState(), qint16(0));
    QCOMPARE(officeProcesses(), QList<pid_t>{});

    // The workbook is lost, and the status says so; everything received is in one file.
    const QDir documents(file(u"Documents"_s));
    const QStringList kept = documents.entryList({"Celvane unwritten data *.txt"});
    QCOMPARE(kept.size(), 1);
    const QString path = documents.filePath(kept.first());
    QCOMPARE(run.statusText(), "The workbook was NOT saved. All received data is in " + path);
    const QString text = QString::fromLatin1(readFile(path));
    QFile::remove(path);
    QCOMPARE(text.size(), 2 * lines * kOrvaLineBytes);
    QCOMPARE(text.count(QRegularExpression(uR"(0 \d{4} :: [^\r\n]*\r\n)"_s)), 2 * lines);
    QCOMPARE(text.mid(lines * kOrvaLineBytes, 7), u"0 0000 "_s); // the second run
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
