// The chain into a real headless LibreOffice, the saved workbook read back by an independent
// reader: capture start, the receive path and capture stop without the window (sheets made
// small); and the whole program as a user meets it, started through its entry routine, with
// an instrument on a serial line (a pseudo-terminal pair), Start, the instrument's lines and
// Stop with a new name, or with an office that was stopped or killed meanwhile.

#include "capturerig.h"
#include "filecontent.h"
#include "frmmain.h"
#include "officetesthome.h"
#include "programrun.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace std::chrono_literals;

namespace {

// Every ORVA line is 50 characters: the index has four digits, measurement and temperature
// two each.
constexpr qint64 kOrvaLineBytes = 50;
// QUORILEX sends "9999" CR LF or a separator of three CR LF: six characters either way.
constexpr qint64 kQuorilexOutputBytes = 6;

} // namespace

class tst_EndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_home.isReady()); }

    void capturedCellsReadBack_data();
    void capturedCellsReadBack();
    void secondStartReusesWorkingCopy();
    void orvaLinesLandRowByRow_data();
    void orvaLinesLandRowByRow();
    void quorilexBlocksGoRight();
    void officeStoppedOrKilled_data();
    void officeStoppedOrKilled();

private:
    QString file(const QString& name) const { return m_home.file(name); }
    // Runs the program with the instrument playing the model, then stops it saving as
    // model.xls: once every byte is written, or (stopAtOnce) with lines still waiting, which
    // Stop then writes. The office is gone afterwards; the saved sheet is read into m_saved.
    void capture(const char* model, int count, int baud, qint64 bytes, bool stopAtOnce = false);

    OfficeTestHome m_home;
    SheetCells m_saved;
};

// Sheets made small through the receive path's test hook, so that the office fills several
// quickly (bench_fullsheets fills two of full size).
void tst_EndToEnd::capturedCellsReadBack_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("received");
    QTest::addColumn<QList<SheetCells>>("expected");

    {
        // Data lines (one with an empty field, one of texts and numbers) and ORVA lines past
        // the last row of a sheet of 30 rows.
        QString text = asLines(numbers(1, 25)
                               << QStringLiteral("3.5\t\t7") << QStringLiteral("abc\tx y\t-2.25"));
        for (int index = 0; index < 6; ++index)
            text += orvaLine(index, 40 + index, 20 + index);
        text += asLines(numbers(28, 54));
        SheetCells first{{{26, 1}, 3.5}, // the empty field leaves column 2 empty
                         {{26, 3}, 7.0},
                         {{27, 1}, QStringLiteral("abc")},
                         {{27, 2}, QStringLiteral("x y")},
                         {{27, 3}, -2.25}};
        SheetCells second;
        addColumn(first, 1, 1, 1, 25);
        for (int index = 0; index < 3; ++index)
            addOrvaRow(first, 28 + index, index, 40 + index, 20 + index);
        for (int index = 3; index < 6; ++index)
            addOrvaRow(second, index - 2, index, 40 + index, 20 + index);
        addColumn(second, 1, 4, 28, 54);
        QTest::newRow("rows") << 30 << 256 << text << QList<SheetCells>{first, second};
    }
    {
        // Blocks of data lines past the last column (3) and past the last row (10): a new
        // block with no column left starts in column 1 of a new sheet, a block with no row
        // left goes on in column 1 of a new sheet under its time stamp.
        const QString separator = QStringLiteral("\r\n\r\n\r\n");
        QString text;
        for (int block = 1; block <= 4; ++block)
            text += separator + asLines(numbers(block * 10 + 1, block * 10 + 4));
        text += separator + asLines(numbers(51, 61));
        SheetCells first{{{1, 2}, 14.5}, {{1, 3}, 14.5}};
        SheetCells second{{{1, 1}, 14.5}, {{1, 2}, 14.5}, {{1, 3}, 14.5}};
        SheetCells third{{{1, 1}, 14.5}};
        addColumn(first, 2, 2, 11, 14);
        addColumn(first, 3, 2, 21, 24);
        addColumn(second, 1, 2, 31, 34);
        addColumn(second, 2, 2, 41, 44);
        addColumn(second, 3, 2, 51, 59);
        addColumn(third, 1, 2, 60, 61);
        QTest::newRow("blocks") << 10 << 3 << text << QList<SheetCells>{first, second, third};
    }
}

void tst_EndToEnd::capturedCellsReadBack() {
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QString, received);
    QFETCH(QList<SheetCells>, expected);
    CaptureRig rig(QCoreApplication::applicationDirPath());
    rig.path.setSheetLimits(rows, columns);
    QVERIFY(rig.capture.CaptureStart());
    QVERIFY(rig.receive(received));
    QCOMPARE(rig.path.receiveBuffer(), QString());
    QCOMPARE(rig.view.status, QStringLiteral("Bytes Received: %1").arg(received.size()));
    QFile::remove(file("sheets.xls")); // the dialog would ask whether to replace it
    QVERIFY(rig.stopSavingAs(file("sheets.xls")));
    QCOMPARE(rig.view.status, QString()); // saved, nothing kept elsewhere
    QCOMPARE(officeProcesses(), QList<pid_t>{});
    QCOMPARE(firstDifference(readXls(file("sheets.xls")), expected), QString());
}

void tst_EndToEnd::secondStartReusesWorkingCopy() {
    const QString workingCopy = m_home.file(QStringLiteral("Documents/spreadsheet.xls"));
    const QByteArray master = readFile(masterWorkbook());
    QVERIFY(!master.isEmpty());
    {
        CaptureRig first(QCoreApplication::applicationDirPath());
        QVERIFY(first.capture.CaptureStart());
        QVERIFY(first.receive(orvaLine(7, 40, 20)));
        QVERIFY(first.stopSavingAs(file("first.xls")));
    }
    // Saved under the new name only: the working copy is as it was made from the master.
    QCOMPARE(readFile(workingCopy), master);

    // No master at all this time: only the working copy can serve.
    const QTemporaryDir noMaster;
    CaptureRig second(noMaster.path());
    QVERIFY(second.capture.CaptureStart());
    QVERIFY(second.receive(orvaLine(8, 60, 25)));
    QVERIFY(second.stopSavingAs(file("second.xls")));
    // The second capture began on the unchanged copy: its row 1, nothing of the first.
    SheetCells expected;
    addOrvaRow(expected, 1, 8, 60, 25);
    QCOMPARE(firstDifference(readXls(file("second.xls")), {expected}), QString());
    QCOMPARE(readFile(workingCopy), master);
}

void tst_EndToEnd::capture(const char* model, int count, int baud, qint64 bytes, bool stopAtOnce) {
    const QString path = file(QLatin1String(model) + QStringLiteral(".xls"));
    ProgramRun run;
    QVERIFY2(run.start(), qPrintable(run.problem()));
    QCOMPARE(run.statusText(), QStringLiteral("Ready"));
    // The window as the user sees it, the icons beside the lamps included.
    for (const char* icon : {"imgComPort", "imgExcel"})
        QVERIFY2(!run.window()->findChild<QLabel*>(QLatin1String(icon))->pixmap().isNull(), icon);
    QCOMPARE(officeProcesses().size(), 1);

    // Lines still waiting at Stop: the office is stuck while the instrument sends.
    if (stopAtOnce)
        ::kill(officeProcesses().value(0), SIGSTOP);
    QVERIFY2(run.playInstrument(model, count, baud, 120s), qPrintable(run.problem()));
    QTRY_COMPARE_WITH_TIMEOUT(run.window()->receivePath().bytesReceived(), bytes, 120000);
    const QString received = QStringLiteral("Bytes Received: %1").arg(bytes);
    if (stopAtOnce) {
        ::kill(officeProcesses().value(0), SIGCONT);
        // Stop once the office takes cells again, after one pass of the pump.
        QVERIFY(QTest::qWaitFor([&] { return run.statusText() == received; }, 60000));
        QVERIFY(run.bytesWritten() < bytes);
    } else {
        QVERIFY2(run.waitUntilWritten(bytes, 120s), qPrintable(run.problem()));
        // The pump goes on while the instrument is silent: the count is shown once written.
        QTRY_COMPARE(run.statusText(), received);
    }
    QFile::remove(path); // the dialog would ask whether to replace it
    QVERIFY2(run.stopSavingAs(path), qPrintable(run.problem()));
    QCOMPARE(run.window()->captureState(), qint16(0));
    QCOMPARE(run.statusText(), QString()); // saved, nothing kept elsewhere
    QCOMPARE(officeProcesses(), QList<pid_t>{});
    const QList<SheetCells> sheets = readXls(path);
    QCOMPARE(sheets.size(), 1);
    m_saved = sheets[0];
}

void tst_EndToEnd::orvaLinesLandRowByRow_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("stopAtOnce");
    QTest::newRow("9600 baud") << 9600 << 60 << false;
    QTest::newRow("115200 baud") << 115200 << 400 << false;
    // Stop writes the lines still waiting: more than one pass of the pump writes.
    QTest::newRow("921600 baud, Stop at once") << 921600 << 5000 << true;
}

void tst_EndToEnd::orvaLinesLandRowByRow() {
    QFETCH(int, baud);
    QFETCH(int, lines);
    QFETCH(bool, stopAtOnce);
    capture("orva", lines, baud, lines * kOrvaLineBytes, stopAtOnce);
    if (QTest::currentTestFailed())
        return;
    const OrvaRows rows = readOrvaRows({m_saved}, lines);
    QVERIFY2(rows.complete(), qPrintable(rows.firstProblem));
    QCOMPARE(rows.rows, qint64(lines));
    // Row by row from the top, nothing beside or below.
    QCOMPARE(m_saved.lastKey(), qMakePair(lines, 8));
}

void tst_EndToEnd::quorilexBlocksGoRight() {
    // A separator first, then three blocks of sixteen samples, each after its separator.
    constexpr int outputs = 3 * 17;
    capture("quorilex", outputs, 9600, outputs * kQuorilexOutputBytes);
    if (QTest::currentTestFailed())
        return;
    // Row 1 holds each block's time stamp, hours since midnight as a number; column 1 stays
    // empty (the first block starts at the first separator).
    SheetCells expected;
    for (int column = 2; column <= 4; ++column) {
        const QVariant stamp = m_saved.value({1, column});
        QCOMPARE(stamp.typeId(), QMetaType::Double);
        QVERIFY2(stamp.toDouble() >= 0 && stamp.toDouble() < 24, qPrintable(stamp.toString()));
        expected.insert({1, column}, stamp);
        for (int row = 2; row <= 17; ++row)
            expected.insert({row, column}, 9999.0);
    }
    QCOMPARE(firstDifference({m_saved}, {expected}), QString());
}

void tst_EndToEnd::officeStoppedOrKilled_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("stopped (SIGSTOP)") << int(SIGSTOP);
    QTest::newRow("killed (SIGKILL)") << int(SIGKILL);
}

void tst_EndToEnd::officeStoppedOrKilled() {
    QFETCH(int, signal);
    constexpr int lines = 20;
    ProgramRun run;
    QVERIFY2(run.start(), qPrintable(run.problem()));
    QVERIFY2(run.playInstrument("orva", lines, 115200, 120s), qPrintable(run.problem()));
    QVERIFY2(run.waitUntilWritten(lines * kOrvaLineBytes, 120s), qPrintable(run.problem()));
    // The office is stopped or killed with rows in its workbook; more lines arrive after.
    ::kill(officeProcesses().value(0), signal);
    QVERIFY2(run.playInstrument("orva", lines, 115200, 120s), qPrintable(run.problem()));
    QTRY_COMPARE(run.window()->receivePath().bytesReceived(), 2 * lines * kOrvaLineBytes);

    // Stop waits for a stopped office only within its deadlines (a second of being stopped),
    // the window answering meanwhile: events are handled while the spreadsheet's part of the
    // stop waits for the office, which it ends before it is done.
    bool answeredWhileWaiting = false;
    QTimer watch;
    watch.callOnTimeout([&] {
        answeredWhileWaiting =
            answeredWhileWaiting || (run.startEnabled() && !officeProcesses().isEmpty());
    });
    watch.start(20);
    QVERIFY2(run.stop(), qPrintable(run.problem()));
    if (signal == SIGSTOP)
        QVERIFY(answeredWhileWaiting);
    QCOMPARE(run.window()->captureState(), qint16(0));
    QCOMPARE(officeProcesses(), QList<pid_t>{});

    // The workbook is lost, and the status says so; everything received is in one file.
    const QString documents = m_home.file(QStringLiteral("Documents"));
    const QStringList kept = QDir(documents).entryList({"Celvane unwritten data *.txt"});
    QCOMPARE(kept.size(), 1);
    const QString path = QDir(documents).filePath(kept.first());
    QCOMPARE(run.statusText(), "The workbook was NOT saved. All received data is in " + path);
    const QString text = QString::fromLatin1(readFile(path));
    QCOMPARE(text.size(), 2 * lines * kOrvaLineBytes);
    const QRegularExpression orva(QStringLiteral(R"(0 (\d{4}) :: [^\r\n]*\r\n)"));
    QStringList indexes;
    for (const QRegularExpressionMatch& line : orva.globalMatch(text))
        indexes << line.captured(1);
    QCOMPARE(indexes.size(), 2 * lines);
    QCOMPARE(indexes.value(lines), QStringLiteral("0000")); // the second run, after the first
    QFile::remove(path);
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
