#include "fakeserial.h"
#include "fixedclock.h"
#include "memoryspreadsheet.h"
#include "receivepath.h"
#include "recordingview.h"

#include <QCoreApplication>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString kBusyText = QStringLiteral(
    "MS Excel is blocked: please close the cell you're editing or finish the dialog that's open.");
const QString kClosedText = QStringLiteral(
    "Our MS Excel spreadsheet has been closed:  we cannot record any more of your data.");

// The clock of these tests stands at 14:05:09, so a block's time stamp is this.
const double kStamp = (14 * 3600 + 5 * 60 + 9) / 3600.0;

QString show(const CellValue& value) {
    if (const double* number = std::get_if<double>(&value))
        return *number == kStamp ? QStringLiteral("stamp") : QString::number(*number);
    return u'"' + std::get<QString>(value) + u'"';
}

} // namespace

// The receive path writing into an in-memory workbook.
class tst_ReceivePath : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void splitAcrossTicks_data();
    void splitAcrossTicks();
    void lineKeeps256Columns_data();
    void lineKeeps256Columns();
    void statusAfterPass();
    void busyThenFree();
    void closedRetriesEveryTick();
    void failedTimeStampDoesNotMoveBlock();
    void passBudgetKeepsOrder();
    void failedBlockIsWrittenOnce_data();
    void failedBlockIsWrittenOnce();
    void rowsOfOtherLengthsKeepOlderCells();
    void stopWritesInPasses();
    void finalFlush_data();
    void finalFlush();
    void emulatorReplacesSerial();
    void injectSingleTab_data();
    void injectSingleTab();
    void portLostAndBack();
    void warnsWithoutLineEnd();
    void fullSheetGoesOnInNewSheet_data();
    void fullSheetGoesOnInNewSheet();
    void fullSizeSheetOfOrvaLines();
    void failedNewSheetIsRetried();
    void lateAnswerDecides_data();
    void lateAnswerDecides();
    void writeUnansweredAtStop_data();
    void writeUnansweredAtStop();
    void nextToken_data();
    void nextToken();
    void hoursSinceMidnight_data();
    void hoursSinceMidnight();

private:
    // Every cell of the first sheet as "row,column=value", in row and column order.
    QStringList cells(int sheet = 0) const;
    MemorySpreadsheet& sheet() const { return *m_factory->last(); }

    std::unique_ptr<modGlobals> m_globals;
    std::unique_ptr<MemorySpreadsheetFactory> m_factory;
    std::unique_ptr<FakeSerial> m_serial;
    std::unique_ptr<RecordingReceiveView> m_view;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<ReceivePath> m_receive;
    WorkbookId m_book = 0;
};

void tst_ReceivePath::init() {
    m_globals = std::make_unique<modGlobals>();
    m_factory = std::make_unique<MemorySpreadsheetFactory>();
    m_serial = std::make_unique<FakeSerial>();
    m_view = std::make_unique<RecordingReceiveView>();
    m_clock = std::make_unique<FixedClock>();
    Status status;
    m_globals->excelApp = m_factory->create(status);
    QVERIFY(status.ok());
    m_book = m_globals->excelApp->open(QCoreApplication::applicationFilePath()).value;
    QVERIFY(m_book != 0);
    QVERIFY(m_serial->setPortOpen(true));
    m_receive = std::make_unique<ReceivePath>(*m_globals, *m_serial, *m_view, *m_clock);
}

void tst_ReceivePath::cleanup() {
    m_receive.reset();
    m_globals.reset();
}

QStringList tst_ReceivePath::cells(int sheetIndex) const {
    QStringList out;
    for (const auto& [position, value] : sheet().workbook(m_book).sheets[sheetIndex])
        out << QStringLiteral("%1,%2=%3").arg(position.first).arg(position.second).arg(show(value));
    return out;
}

void tst_ReceivePath::layout_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<int>("startBlock");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("endRow");
    QTest::addColumn<int>("endBlock");
    QTest::addColumn<QString>("left");

    QTest::newRow("token line") << "A :: 1 = 2\r\n"
                                << 5 << 1 << QStringList{"5,1=\"A\"", "5,2=1", "5,3=2"} << 6 << 1
                                << "";
    QTest::newRow("token line ignores block column")
        << "x :: y\r\n"
        << 1 << 3 << QStringList{"1,1=\"x\"", "1,2=\"y\""} << 2 << 3 << "";
    QTest::newRow("data line with empty field")
        << "3.5\t\t7\r\n"
        << 1 << 2 << QStringList{"1,2=3.5", "1,3=\"\"", "1,4=7"} << 2 << 2 << "";
    QTest::newRow("two lines two rows")
        << "a :: b\r\nc\td\r\n"
        << 1 << 1 << QStringList{"1,1=\"a\"", "1,2=\"b\"", "2,1=\"c\"", "2,2=\"d\""} << 3 << 1
        << "";
    QTest::newRow("orva result line") << "0 0042 :: 12-06-2026 14:05:09 = 51 (RAW)  23 (C)\r\n"
                                      << 1 << 1 << QStringList{"1,1=0",
                                                               "1,2=42",
                                                               "1,3=\"12-06-2026\"",
                                                               "1,4=\"14:05:09\"",
                                                               "1,5=51",
                                                               "1,6=\"(RAW)\"",
                                                               "1,7=23",
                                                               "1,8=\"(C)\""}
                                      << 2 << 1 << "";
    QTest::newRow("separator starts a block")
        << "12\r\n\r\n\r\n\r\n13\r\n"
        << 1 << 1 << QStringList{"1,1=12", "1,2=stamp", "2,2=13"} << 3 << 2 << "";
    QTest::newRow("separator after a tab")
        << "5\t\r\n\r\n\r\nX\r\n"
        << 1 << 1 << QStringList{"1,1=5", "1,2=stamp", "2,2=\"X\""} << 3 << 2 << "";
    QTest::newRow("incomplete line waits")
        << "12\r\n1" << 1 << 1 << QStringList{"1,1=12"} << 2 << 1 << "1";
    QTest::newRow("one character waits") << "1" << 1 << 1 << QStringList{} << 1 << 1 << "1";
    QTest::newRow("only skipped tokens take a row") << ":: = ::\r\n"
                                                    << 4 << 1 << QStringList{} << 5 << 1 << "";
    QTest::newRow("runs of blanks give no empty tokens")
        << "  x   ::   y  \r\n"
        << 1 << 1 << QStringList{"1,1=\"x\"", "1,2=\"y\""} << 2 << 1 << "";
    QTest::newRow("lone CR and LF stay in the text")
        << "a\rb\nc\r\n" << 1 << 1 << QStringList{"1,1=\"a\rb\nc\"", } << 2 << 1 << "";
    QTest::newRow("trailing tab gives an empty field")
        << "1\t\r\nz\r\n"
        << 1 << 1 << QStringList{"1,1=1", "1,2=\"\"", "2,1=\"z\""} << 3 << 1 << "";
    QTest::newRow("line end after a tab may begin a separator")
        << "1\t\r\n"
        << 1 << 1 << QStringList{} << 1 << 1 << "1\t\r\n";
    QTest::newRow("formula text stays text")
        << "=1+1\r\n"
        << 1 << 1 << QStringList{"1,1=\"=1+1\""} << 2 << 1 << "";
    QTest::newRow("empty line then text")
        << "\r\nz\r\n"
        << 1 << 1 << QStringList{"1,1=\"\"", "2,1=\"z\""} << 3 << 1 << "";
}

void tst_ReceivePath::layout() {
    QFETCH(QString, text);
    QFETCH(int, startRow);
    QFETCH(int, startBlock);
    QFETCH(QStringList, expected);
    QFETCH(int, endRow);
    QFETCH(int, endBlock);
    QFETCH(QString, left);

    m_receive->setCurrentRow(startRow);
    m_globals->blockColumn = qint16(startBlock);
    m_serial->arrived = text;
    m_receive->pump();
    QCOMPARE(cells(), expected);
    QCOMPARE(m_receive->currentRow(), endRow);
    QCOMPARE(m_globals->blockColumn, qint16(endBlock));
    QCOMPARE(m_receive->receiveBuffer(), left);
    QCOMPARE(m_receive->bytesReceived(), qint64(text.size()));
}

void tst_ReceivePath::splitAcrossTicks_data() {
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("endRow");

    const QStringList block{"1,1=12", "1,2=stamp", "2,2=13"};
    QTest::newRow("line end split")
        << QStringList{"ab\r", "\ncd\r\n"} << QStringList{"1,1=\"ab\"", "2,1=\"cd\""} << 3;
    QTest::newRow("separator split after two line ends")
        << QStringList{"12\r\n\r\n", "\r\n\r\n13\r\n"} << block << 3;
    QTest::newRow("separator split after four line ends")
        << QStringList{"12\r\n\r\n\r\n\r\n", "13\r\n"} << block << 3;
    QTest::newRow("separator split inside a line end")
        << QStringList{"12\r\n\r\n\r", "\n\r\n13\r\n"} << block << 3;
    QTest::newRow("one character a tick")
        << QString("12\r\n\r\n\r\n\r\n13\r\n").split(QString(), Qt::SkipEmptyParts) << block << 3;
    QTest::newRow("token line split in a token")
        << QStringList{"0 00", "42 :: x\r\n"} << QStringList{"1,1=0", "1,2=42", "1,3=\"x\""} << 2;
}

void tst_ReceivePath::splitAcrossTicks() {
    QFETCH(QStringList, chunks);
    QFETCH(QStringList, expected);
    QFETCH(int, endRow);
    for (const QString& chunk : std::as_const(chunks)) {
        m_serial->arrived = chunk;
        m_receive->pump();
    }
    QCOMPARE(cells(), expected);
    QCOMPARE(m_receive->currentRow(), endRow);
    QVERIFY(m_receive->receiveBuffer().isEmpty());
}

void tst_ReceivePath::lineKeeps256Columns_data() {
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("head");
    QTest::newRow("TAB fields") << "\t"
                                << "";
    QTest::newRow("tokens") << " "
                            << ":: ";
}

void tst_ReceivePath::lineKeeps256Columns() {
    QFETCH(QString, separator);
    QFETCH(QString, head);
    QStringList values;
    for (int i = 1; i <= 300; ++i)
        values << QString::number(i);
    m_serial->arrived = head + values.join(separator) + QStringLiteral("\r\nnext\r\n");
    // A line whose write fails keeps nothing until it is written.
    sheet().setBusy(true);
    m_receive->pump();
    QCOMPARE(m_receive->takeOverflow(), QString());
    sheet().setBusy(false);
    m_receive->pump();
    QCOMPARE(sheet().cellCount(m_book), qsizetype(257));
    QCOMPARE(sheet().cell(m_book, 1, 256), CellValue(256.0));
    QCOMPARE(sheet().cell(m_book, 2, 1), CellValue(QStringLiteral("next")));
    QCOMPARE(m_view->excelLamp, LampColour::Green);
    // The rest of the line is kept as received, with its row.
    QCOMPARE(m_receive->takeOverflow(), "1\t" + values.mid(256).join(separator) + "\r\n");
    QCOMPARE(m_receive->takeOverflow(), QString());
}

void tst_ReceivePath::statusAfterPass() {
    // A pass that writes nothing still shows the outcome.
    m_serial->arrived = QStringLiteral("partial");
    m_receive->pump();
    QCOMPARE(m_view->events,
             (QStringList{"lamp Excel green", "status Bytes Received: 7", "pause on"}));
    m_view->events.clear();
    m_receive->clear();
    m_receive->ProcessReceiveBuffer();
    QCOMPARE(m_view->status, QStringLiteral("Ready"));
}

void tst_ReceivePath::busyThenFree() {
    m_serial->arrived = QStringLiteral("a\r\n");
    m_receive->pump();
    sheet().setBusy(true);
    m_serial->arrived = QStringLiteral("b\tc\r\nd\r\n");
    m_receive->pump();
    QCOMPARE(m_view->excelLamp, LampColour::Yellow);
    QCOMPARE(m_view->status, kBusyText);
    QVERIFY(!m_view->pauseEnabled);
    QCOMPARE(m_receive->receiveBuffer(), QStringLiteral("b\tc\r\nd\r\n"));
    QCOMPARE(m_receive->currentRow(), 2);

    // Still busy: the next tick appends and retries from the same line.
    m_serial->arrived = QStringLiteral("e\r\n");
    m_receive->pump();
    QCOMPARE(m_receive->receiveBuffer(), QStringLiteral("b\tc\r\nd\r\ne\r\n"));

    sheet().setBusy(false);
    m_receive->pump();
    QCOMPARE(cells(),
             (QStringList{"1,1=\"a\"", "2,1=\"b\"", "2,2=\"c\"", "3,1=\"d\"", "4,1=\"e\""}));
    QCOMPARE(m_view->excelLamp, LampColour::Green);
    QCOMPARE(m_view->status, QStringLiteral("Bytes Received: 14"));
    QVERIFY(m_view->pauseEnabled);
}

void tst_ReceivePath::closedRetriesEveryTick() {
    sheet().closeWorkbook(m_book);
    m_serial->arrived = QStringLiteral("x\r\n");
    for (int tick = 0; tick < 3; ++tick) {
        m_view->events.clear();
        m_receive->pump();
        QCOMPARE(m_view->events,
                 (QStringList{"lamp Excel red", "status " + kClosedText, "pause off"}));
    }
    QCOMPARE(m_receive->receiveBuffer(), QStringLiteral("x\r\n"));
    QCOMPARE(m_receive->currentRow(), 1);
}

void tst_ReceivePath::failedTimeStampDoesNotMoveBlock() {
    m_serial->arrived = QStringLiteral("1\r\n");
    m_receive->pump();
    sheet().setBusy(true);
    m_serial->arrived = QStringLiteral("\r\n\r\n\r\n2\r\n");
    for (int tick = 0; tick < 5; ++tick)
        m_receive->pump();
    QCOMPARE(m_globals->blockColumn, qint16(1));
    QCOMPARE(m_receive->currentRow(), 2);

    sheet().setBusy(false);
    m_receive->pump();
    QCOMPARE(cells(), (QStringList{"1,1=1", "1,2=stamp", "2,2=2"}));
    QCOMPARE(m_globals->blockColumn, qint16(2));
}

void tst_ReceivePath::passBudgetKeepsOrder() {
    // With no time to spare each pass writes one line; the rest waits for the next ticks.
    m_receive->setPassBudget(0ms);
    m_serial->arrived = QStringLiteral("1\r\n2\r\n3\r\n");
    m_receive->pump();
    QCOMPARE(cells(), (QStringList{"1,1=1"}));
    QCOMPARE(m_receive->receiveBuffer(), QStringLiteral("2\r\n3\r\n"));
    m_serial->arrived = QStringLiteral("4\r\n");
    for (int tick = 0; tick < 3; ++tick)
        m_receive->pump();
    QCOMPARE(cells(), (QStringList{"1,1=1", "2,1=2", "3,1=3", "4,1=4"}));
}

void tst_ReceivePath::failedBlockIsWrittenOnce_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("failingRow");
    QTest::addColumn<qsizetype>("cellsBeforeRetry");

    const QString sameLength = QStringLiteral("a :: 1\r\nb :: 2\r\nc :: 3\r\nd :: 4\r\ne :: 5\r\n");
    QTest::newRow("first row of a block") << sameLength << 1 << qsizetype(0);
    QTest::newRow("middle row of a block") << sameLength << 3 << qsizetype(0);
    QTest::newRow("last row of a block") << sameLength << 5 << qsizetype(0);
    // Rows 1 and 2 are one block, 3 to 5 another: the first lands, the second waits.
    QTest::newRow("second block") << QStringLiteral(
                                         "a :: 1\r\nb :: 2\r\nc :: 3 x\r\nd :: 4 x\r\ne :: 5 x\r\n")
                                  << 4 << qsizetype(4);
    // A separator and a token line in one pass, the failure after the time stamp.
    QTest::newRow("after a separator")
        << QStringLiteral("1\r\n2\r\n\r\n\r\n\r\n3\r\n4\r\nt :: u\r\n") << 3 << qsizetype(3);
}

void tst_ReceivePath::failedBlockIsWrittenOnce() {
    QFETCH(QString, text);
    QFETCH(int, failingRow);
    QFETCH(qsizetype, cellsBeforeRetry);
    // What the text gives when nothing fails.
    m_serial->arrived = text;
    m_receive->pump();
    const QStringList expected = cells();
    const qsizetype cellCount = sheet().cellCount(m_book);
    cleanup();
    init();

    sheet().failWritesCovering(failingRow);
    m_serial->arrived = text;
    m_receive->pump();
    QCOMPARE(m_view->excelLamp, LampColour::Yellow);
    QCOMPARE(sheet().cellCount(m_book), cellsBeforeRetry);
    sheet().failWritesCovering(0);
    m_receive->pump();
    QCOMPARE(cells(), expected);
    QCOMPARE(sheet().writeCount(), int(cellCount)); // no cell written twice
    QVERIFY(m_receive->receiveBuffer().isEmpty());
}

void tst_ReceivePath::rowsOfOtherLengthsKeepOlderCells() {
    // The working copy is reused: cells beyond a row's end hold older content.
    for (int row = 1; row <= 3; ++row)
        QVERIFY(sheet().setCells(row, 1, CellRow(4, QStringLiteral("old"))).ok());
    const int writesBefore = sheet().writeCalls();
    m_serial->arrived = QStringLiteral("a\tb\r\nc\r\nd\te\tf\r\n");
    m_receive->pump();
    QCOMPARE(cells(), (QStringList{"1,1=\"a\"", "1,2=\"b\"", "1,3=\"old\"", "1,4=\"old\"",
                                   "2,1=\"c\"", "2,2=\"old\"", "2,3=\"old\"", "2,4=\"old\"",
                                   "3,1=\"d\"", "3,2=\"e\"", "3,3=\"f\"", "3,4=\"old\""}));
    // Lines of one length go in one call.
    m_serial->arrived = QStringLiteral("g\th\r\ni\tj\r\nk\tl\r\n");
    m_receive->pump();
    QCOMPARE(sheet().writeCalls(), writesBefore + 4);
}

void tst_ReceivePath::stopWritesInPasses() {
    // With no time to spare each pass writes one line and tells how far it got.
    m_receive->setPassBudget(0ms);
    m_serial->arrived = QStringLiteral("1\r\n2\r\n3");
    m_receive->beginStop();
    QVERIFY(m_receive->stopPass());
    QCOMPARE(m_view->status, QStringLiteral("Writing received data: 1 of 2 lines"));
    // What reaches the port meanwhile is read and written too.
    m_serial->arrived = QStringLiteral("\r\n");
    QVERIFY(m_receive->stopPass());
    QCOMPARE(m_view->status, QStringLiteral("Writing received data: 2 of 3 lines"));
    QVERIFY(!m_receive->stopPass());
    QCOMPARE(m_view->status, QStringLiteral("Writing received data: 3 of 3 lines"));
    QCOMPARE(cells(), (QStringList{"1,1=1", "2,1=2", "3,1=3"}));
    QCOMPARE(m_receive->finalFlush(), QString());
}

void tst_ReceivePath::finalFlush_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("unwritten");
    QTest::newRow("last lines land") << "a\r\n\r\n"
                                     << false << QStringList{"1,1=\"a\"", "2,1=\"\""} << "";
    QTest::newRow("line without its end is kept")
        << "a\r\nb" << false << QStringList{"1,1=\"a\""} << "b";
    QTest::newRow("busy keeps everything as received")
        << "a\tb\r\nc" << true << QStringList{} << "a\tb\r\nc";
}

void tst_ReceivePath::finalFlush() {
    QFETCH(QString, text);
    QFETCH(bool, busy);
    QFETCH(QStringList, expected);
    QFETCH(QString, unwritten);
    sheet().setBusy(busy);
    // The text is still in the port when Stop comes.
    m_serial->arrived = text;
    QCOMPARE(m_receive->finalFlush(), unwritten);
    sheet().setBusy(false);
    QCOMPARE(cells(), expected);
    QVERIFY(m_receive->receiveBuffer().isEmpty());
}

void tst_ReceivePath::emulatorReplacesSerial() {
    m_serial->arrived = QStringLiteral("serial\r\n");
    m_globals->emulatorActive = true;
    m_globals->emulatorOutput = QStringLiteral("emu\r\n");
    m_receive->pump();
    QVERIFY(m_globals->emulatorOutput.isEmpty());
    m_receive->pump(); // nothing new from the emulator
    QCOMPARE(cells(), (QStringList{"1,1=\"emu\""}));

    // Closed emulator: the next tick reads what the port collected meanwhile.
    m_globals->emulatorActive = false;
    m_receive->pump();
    QCOMPARE(cells(), (QStringList{"1,1=\"emu\"", "2,1=\"serial\""}));
    QCOMPARE(m_receive->bytesReceived(), qint64(13));
}

void tst_ReceivePath::injectSingleTab_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("received");
    QTest::newRow("number") << "9999\r\n"
                            << "9999\t10000\r\n";
    QTest::newRow("fraction") << "2.5\r\n"
                              << "2.5\t3.5\r\n";
    QTest::newRow("separator passes unchanged") << "\r\n\r\n\r\n"
                                                << "\r\n\r\n\r\n";
    QTest::newRow("orva line passes unchanged")
        << "0 0000 :: 12-06-2026 14:05:09 = 50 (RAW)  50 (C)\r\n"
        << "0 0000 :: 12-06-2026 14:05:09 = 50 (RAW)  50 (C)\r\n";
}

void tst_ReceivePath::injectSingleTab() {
    QFETCH(QString, output);
    QFETCH(QString, received);
    m_globals->emulatorActive = true;
    m_globals->injectSingleTab = true;
    m_globals->emulatorOutput = output;
    QCOMPARE(m_receive->ReadReceivedText(), received);
    QVERIFY(!m_globals->injectSingleTab);
    QCOMPARE(m_view->events, QStringList{"inject used"});
    QCOMPARE(m_receive->bytesReceived(), qint64(received.size()));

    // One output only: the next one passes as it is.
    m_globals->emulatorOutput = QStringLiteral("9999\r\n");
    QCOMPARE(m_receive->ReadReceivedText(), QStringLiteral("9999\r\n"));
}

void tst_ReceivePath::portLostAndBack() {
    m_serial->arrived = QStringLiteral("kept\r\nhalf ");
    m_receive->pump();
    m_serial->arrived = QStringLiteral("a li");
    m_serial->loseDevice();
    m_receive->pump();
    QCOMPARE(m_view->comLamp, LampColour::Red);
    QCOMPARE(m_view->status, QStringLiteral("COM port not available"));
    // What arrived before the loss is written, the line cut by it as a row of its own; the
    // count does not hide the port's failure.
    const QStringList before{"1,1=\"kept\"", "2,1=\"half a li\""};
    QCOMPARE(cells(), before);
    QCOMPARE(m_view->excelLamp, LampColour::Green);

    const int opensBefore = m_serial->openCalls;
    for (int tick = 1; tick < 10; ++tick)
        m_receive->pump();
    QCOMPARE(m_serial->openCalls, opensBefore); // tries about once a second, not every tick
    QCOMPARE(m_view->status, QStringLiteral("COM port not available"));

    m_receive->pump(); // the tenth tick tries, the device is still gone
    QCOMPARE(m_serial->openCalls, opensBefore + 1);
    QCOMPARE(m_view->comLamp, LampColour::Red);

    m_serial->devicepresent = true;
    for (int tick = 0; tick < 10; ++tick)
        m_receive->pump();
    QVERIFY(m_serial->portOpen());
    QCOMPARE(m_view->comLamp, LampColour::Green);
    QCOMPARE(m_view->status, QStringLiteral("Bytes Received: 15"));
    m_serial->arrived = QStringLiteral("again\r\n");
    m_receive->pump();
    QCOMPARE(cells(), before + QStringList{"3,1=\"again\""});
}

void tst_ReceivePath::warnsWithoutLineEnd() {
    // Lines ended by LF alone give no row: after 4,096 characters the port's lamp warns.
    const QString warning = QStringLiteral("No line end (CR LF) received in the last 4,096 bytes");
    m_serial->arrived = QString(4095, u'x');
    m_receive->pump();
    QCOMPARE(m_view->comLamp, LampColour::Grey);
    for (const QString chunk : {"\n", "y\r\r", "\rz\r"}) {
        m_serial->arrived = chunk;
        m_receive->pump();
        QCOMPARE(m_view->comLamp, LampColour::Yellow);
        QCOMPARE(m_view->status, warning);
    }
    // Pause and Resume keep the warning in view.
    QVERIFY(m_receive->showPortTrouble());
    // A line end split across reads ends it.
    m_serial->arrived = QStringLiteral("\n");
    m_receive->pump();
    QCOMPARE(m_view->comLamp, LampColour::Green);
    QCOMPARE(m_view->status, QStringLiteral("Bytes Received: 4103"));
    QCOMPARE(sheet().cellCount(m_book), qsizetype(1));
    QVERIFY(!m_receive->showPortTrouble());
}

void tst_ReceivePath::fullSheetGoesOnInNewSheet_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<int>("endRow");
    QTest::addColumn<int>("endBlock");

    const QString sep = QStringLiteral("\r\n\r\n\r\n");
    QTest::newRow("token lines past the last row")
        << 3 << 256 << "a :: 1\r\nb :: 2\r\nc :: 3\r\nd :: 4\r\ne :: 5\r\n"
        << QStringList{"1,1=\"a\"", "1,2=1", "2,1=\"b\"", "2,2=2", "3,1=\"c\"", "3,2=3"}
        << QStringList{"1,1=\"d\"", "1,2=4", "2,1=\"e\"", "2,2=5"} << 3 << 1;
    QTest::newRow("data lines of the first block past the last row")
        << 3 << 256 << "1\r\n2\r\n3\r\n4\r\n"
        << QStringList{"1,1=1", "2,1=2", "3,1=3"} << QStringList{"1,1=4"} << 2 << 1;
    QTest::newRow("a later block goes on under its time stamp")
        << 3 << 256 << "1\r\n" + sep + "2\r\n3\r\n4\r\n5\r\n"
        << QStringList{"1,1=1", "1,2=stamp", "2,2=2", "3,2=3"}
        << QStringList{"1,1=stamp", "2,1=4", "3,1=5"} << 4 << 1;
    QTest::newRow("a token line first on the new sheet takes row 1")
        << 3 << 256 << "1\r\n" + sep + "2\r\n3\r\nx :: y\r\n5\r\n"
        << QStringList{"1,1=1", "1,2=stamp", "2,2=2", "3,2=3"}
        << QStringList{"1,1=\"x\"", "1,2=\"y\"", "2,1=5"} << 3 << 1;
    QTest::newRow("a block with no column left")
        << 100 << 3 << "1\r\n" + sep + "2\r\n" + sep + "3\r\n" + sep + "4\r\n5\r\n"
        << QStringList{"1,1=1", "1,2=stamp", "1,3=stamp", "2,2=2", "2,3=3"}
        << QStringList{"1,1=stamp", "2,1=4", "3,1=5"} << 4 << 1;
    QTest::newRow("separator right at the last row stays on the sheet")
        << 2 << 256 << "1\r\n2\r\n" + sep + "3\r\n"
        << QStringList{"1,1=1", "1,2=stamp", "2,1=2", "2,2=3"} << QStringList{} << 3 << 2;
}

void tst_ReceivePath::fullSheetGoesOnInNewSheet() {
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QString, text);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QFETCH(int, endRow);
    QFETCH(int, endBlock);
    m_receive->setSheetLimits(rows, columns);
    m_serial->arrived = text;
    m_receive->pump();
    const MemoryWorkbook& book = sheet().workbook(m_book);
    QCOMPARE(book.sheets.size(), second.isEmpty() ? 1 : 2);
    QCOMPARE(cells(0), first);
    if (!second.isEmpty()) {
        QCOMPARE(book.activeSheet, 1);
        QCOMPARE(cells(1), second);
    }
    QCOMPARE(m_receive->currentRow(), endRow);
    QCOMPARE(m_globals->blockColumn, qint16(endBlock));
}

void tst_ReceivePath::fullSizeSheetOfOrvaLines() {
    QString text;
    const int lines = SheetMaxRows + 10;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("0 %1 :: 12-06-2026 14:05:09 = 51 (RAW)  23 (C)\r\n")
                    .arg(i % 10000, 4, 10, QLatin1Char('0'));
    m_receive->setPassBudget(std::chrono::hours(1));
    m_serial->arrived = text;
    m_receive->pump();
    QVERIFY(m_receive->receiveBuffer().isEmpty());
    QCOMPARE(sheet().cellCount(m_book, 0), qsizetype(SheetMaxRows) * 8);
    QCOMPARE(sheet().cellCount(m_book, 1), qsizetype(10) * 8);
    QCOMPARE(sheet().cell(m_book, SheetMaxRows, 2, 0),
             CellValue(double((SheetMaxRows - 1) % 10000)));
    QCOMPARE(sheet().cell(m_book, 1, 2, 1), CellValue(double(SheetMaxRows % 10000)));
    QCOMPARE(m_view->excelLamp, LampColour::Green);
}

void tst_ReceivePath::failedNewSheetIsRetried() {
    m_receive->setSheetLimits(1, 256);
    m_serial->arrived = QStringLiteral("a\r\n");
    m_receive->pump();
    sheet().setBusy(true);
    m_serial->arrived = QStringLiteral("b\r\n");
    m_receive->pump();
    m_receive->pump();
    QCOMPARE(m_view->excelLamp, LampColour::Yellow);
    QCOMPARE(sheet().workbook(m_book).sheets.size(), 1);
    sheet().setBusy(false);
    m_receive->pump();
    QCOMPARE(sheet().workbook(m_book).sheets.size(), 2);
    QCOMPARE(cells(1), QStringList{"1,1=\"b\""});
    QCOMPARE(m_view->excelLamp, LampColour::Green);
}

void tst_ReceivePath::lateAnswerDecides_data() {
    QTest::addColumn<QString>("held"); // the call not answered in time
    QTest::addColumn<int>("rows");     // of a sheet
    QTest::addColumn<QString>("more"); // arriving while it is unanswered
    QTest::addColumn<int>("sheets");
    QTest::addColumn<QStringList>("last"); // the cells of the last sheet
    QTest::newRow("a write that landed late is not written again")
        << "setBlock" << SheetMaxRows << "" << 1 << QStringList{"1,1=\"a\"", "2,1=\"b\""};
    QTest::newRow("a block goes on after the rows that landed late")
        << "setBlock" << SheetMaxRows << "c\r\n"
        << 1 << QStringList{"1,1=\"a\"", "2,1=\"b\"", "3,1=\"c\""};
    QTest::newRow("a sheet added late is not added again")
        << "addWorksheet" << 1 << "" << 2 << QStringList{"1,1=\"b\""};
}

void tst_ReceivePath::lateAnswerDecides() {
    QFETCH(QString, held);
    QFETCH(int, rows);
    QFETCH(QString, more);
    QFETCH(int, sheets);
    QFETCH(QStringList, last);
    m_receive->setSheetLimits(rows, SheetMaxColumns);
    m_serial->arrived = QStringLiteral("a\r\n");
    m_receive->pump();
    sheet().holdNext(held);
    m_serial->arrived = QStringLiteral("b\r\n");
    m_receive->pump();
    QCOMPARE(m_view->excelLamp, LampColour::Yellow);
    m_serial->arrived = more;
    m_receive->pump(); // still unanswered: nothing is sent
    sheet().answerPending();
    m_receive->pump();
    QCOMPARE(m_view->excelLamp, LampColour::Green);
    QCOMPARE(sheet().workbook(m_book).sheets.size(), sheets);
    QCOMPARE(cells(sheets - 1), last);
    // Every cell written once.
    QCOMPARE(sheet().writeCount(), 2 + int(more.count(u'\n')));
}

void tst_ReceivePath::writeUnansweredAtStop_data() {
    QTest::addColumn<bool>("stuck");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("unwritten");
    // The write lands while Stop waits for it: its line counts as written, once.
    QTest::newRow("answered at Stop") << false << QStringList{"1,1=\"a\""} << "b";
    QTest::newRow("never answered") << true << QStringList{} << "a\r\nb";
}

void tst_ReceivePath::writeUnansweredAtStop() {
    QFETCH(bool, stuck);
    QFETCH(QStringList, expected);
    QFETCH(QString, unwritten);
    sheet().holdNext(QStringLiteral("setBlock"));
    sheet().stuck = stuck;
    m_serial->arrived = QStringLiteral("a\r\nb");
    m_receive->pump();
    QCOMPARE(m_receive->finalFlush(), unwritten);
    QCOMPARE(cells(), expected);
    QCOMPARE(sheet().writeCount(), int(expected.size()));
}

void tst_ReceivePath::nextToken_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("tokens");
    QTest::newRow("plain") << "a b c" << QStringList{"a", "b", "c"};
    QTest::newRow("blank runs and ends") << "   a    b  " << QStringList{"a", "b"};
    QTest::newRow("tabs are ordinary") << "a\tb c" << QStringList{"a\tb", "c"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("blanks only") << "    " << QStringList{};
}

void tst_ReceivePath::nextToken() {
    QFETCH(QString, line);
    QFETCH(QStringList, tokens);
    QStringView rest = line;
    QStringView token;
    QStringList got;
    while (ReceivePath::NextToken(rest, token))
        got << token.toString();
    QCOMPARE(got, tokens);
    QVERIFY(token.isEmpty());
}

void tst_ReceivePath::hoursSinceMidnight_data() {
    QTest::addColumn<QTime>("time");
    QTest::addColumn<double>("hours");
    QTest::newRow("half past two") << QTime(14, 30, 0) << 14.5;
    QTest::newRow("midnight") << QTime(0, 0, 0) << 0.0;
    QTest::newRow("half second to even below") << QTime(0, 0, 0, 500) << 0.0;
    QTest::newRow("half second to even above") << QTime(0, 0, 1, 500) << 2 / 3600.0;
    QTest::newRow("just under a second") << QTime(0, 0, 0, 501) << 1 / 3600.0;
}

void tst_ReceivePath::hoursSinceMidnight() {
    QFETCH(QTime, time);
    QFETCH(double, hours);
    m_clock->set(QDateTime(QDate(2026, 12, 6), time));
    QCOMPARE(m_receive->HoursSinceMidnight(), hours);
}

QTEST_GUILESS_MAIN(tst_ReceivePath)
#include "tst_receivepath.moc"
