#include "fakeserial.h"
#include "filecontent.h"
#include "fixedclock.h"
#include "memoryspreadsheet.h"
#include "receivepath.h"
#include "recordingview.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QString kSep = u"\r\n\r\n\r\n"_s;
const QString kBusy =
    u"lamp Excel yellow, status MS Excel is blocked: please close the cell you're "
    "editing or finish the dialog that's open., pause off"_s;
const QString kClosed = u"lamp Excel red, status Our MS Excel spreadsheet has been closed:  we "
                        "cannot record any more of your data., pause off"_s;
// The clock stands at 14:05:09, so a block's time stamp is this.
const double kStamp = (14 * 3600 + 5 * 60 + 9) / 3600.0;

QString show(const CellValue& value) {
    if (const double* number = std::get_if<double>(&value))
        return *number == kStamp ? u"stamp"_s : QString::number(*number);
    return u'"' + std::get<QString>(value) + u'"';
}

// The receive path writing into an in-memory workbook.
struct Rig {
    Rig() {
        Status status;
        globals.excelApp = factory.create(status);
        book = globals.excelApp->open(QCoreApplication::applicationFilePath()).value;
        serial.setPortOpen(true);
    }
    MemorySpreadsheet& sheet() { return *factory.last(); }
    // The cells of every sheet as "row,column=value" ("|" between sheets), then "@" the next
    // row and block column, and the text waiting.
    QString cells() {
        QStringList out;
        for (const MemorySheet& cells : sheet().workbook(book).sheets) {
            if (!out.isEmpty())
                out << u"|"_s;
            for (const auto& [at, value] : cells)
                out << u"%1,%2=%3"_s.arg(at.first).arg(at.second).arg(show(value));
        }
        out << u"@%1,%2"_s.arg(receive.currentRow()).arg(globals.blockColumn);
        if (!receive.receiveBuffer().isEmpty())
            out << "left=" + receive.receiveBuffer();
        return out.join(u' ');
    }
    // What a check step names, now.
    QString fact(const QString& name) {
        const auto colour = [](quint32 c) { return RecordingReceiveView::colourName(c); };
        const auto yes = [](bool b) { return b ? u"true"_s : u"false"_s; };
        return name == "cells"      ? cells()
               : name == "excel"    ? colour(view.excelLamp)
               : name == "com"      ? colour(view.comLamp)
               : name == "status"   ? view.status
               : name == "shown"    ? std::exchange(view.events, {}).join(u", "_s)
               : name == "left"     ? receive.receiveBuffer()
               : name == "overflow" ? receive.takeOverflow()
               : name == "flush"    ? receive.finalFlush()
               : name == "pass"     ? yes(receive.stopPass())
               : name == "backlog"  ? yes(backlog)
               : name == "trouble"  ? yes(receive.showPortTrouble())
               : name == "writes"   ? QString::number(sheet().writeCount())
               : name == "count"    ? QString::number(sheet().cellCount(book))
               : name == "opens"    ? QString::number(serial.openCalls)
               : name == "journal"  ? QString::fromLatin1(readFile(journal.path()))
                                    : "unknown check " + name;
    }

    MemorySpreadsheetFactory factory;
    modGlobals globals;
    FakeSerial serial;
    RecordingReceiveView view;
    FixedClock clock;
    QTemporaryDir folder;
    CaptureJournal journal{folder.path()};
    ReceivePath receive{globals, serial, view, clock};
    WorkbookId book = 0;
    bool backlog = false;
};

} // namespace

class tst_ReceivePath : public QObject {
    Q_OBJECT
private slots:
    void receive_data();
    void receive();
    void fullSizeSheet();
    void hoursSinceMidnight_data();
    void hoursSinceMidnight();
};

void tst_ReceivePath::receive_data() {
    // Steps split at "|": ">text" arrives and a tick pumps, "+text" arrives only; "?name value"
    // checks Rig::fact; the others change the office, the port, the emulator or the limits.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("gives"); // Rig::cells() at the end
    const auto add = [](const char* name, const QString& steps, const QString& gives) {
        QTest::newRow(name) << steps << gives;
    };
    add("token line", "at 5 1|>A :: 1 = 2\r\n", R"(5,1="A" 5,2=1 5,3=2 @6,1)");
    add("token line ignores block column", "at 1 3|>x :: y\r\n", R"(1,1="x" 1,2="y" @2,3)");
    add("data line with empty field", "at 1 2|>3.5\t\t7\r\n", R"(1,2=3.5 1,3="" 1,4=7 @2,2)");
    add("two lines two rows", ">a :: b\r\nc\td\r\n", R"(1,1="a" 1,2="b" 2,1="c" 2,2="d" @3,1)");
    add("orva result line", ">0 0042 :: 12-06-2026 14:05:09 = 51 (RAW)  23 (C)\r\n",
        "1,1=0 1,2=42 1,3=\"12-06-2026\" 1,4=\"14:05:09\" 1,5=51 1,6=\"(RAW)\" 1,7=23 1,8=\"(C)\" "
        "@2,1");
    add("single colon is a data line", ">a:b\tc\r\n", R"(1,1="a:b" 1,2="c" @2,1)");
    add("separator starts a block", ">12\r\n\r\n\r\n\r\n13\r\n", "1,1=12 1,2=stamp 2,2=13 @3,2");
    add("separator after a tab", ">5\t\r\n\r\n\r\nX\r\n", R"(1,1=5 1,2=stamp 2,2="X" @3,2)");
    add("incomplete line waits", ">12\r\n1", "1,1=12 @2,1 left=1");
    add("only skipped tokens take a row", "at 4 1|>:: = ::\r\n", "@5,1");
    add("blank runs, TABs in tokens", ">  x\ty   ::   z  \r\n", "1,1=\"x\ty\" 1,2=\"z\" @2,1");
    add("lone CR and LF stay in the text", ">a\rb\nc\r\n", "1,1=\"a\rb\nc\" @2,1");
    add("trailing tab gives an empty field", ">1\t\r\nz\r\n", R"(1,1=1 1,2="" 2,1="z" @3,1)");
    add("line end after a tab may begin a separator", ">1\t\r\n", "@1,1 left=1\t\r\n");
    add("formula text stays text", ">=1+1\r\n", R"(1,1="=1+1" @2,1)");
    add("empty line then text", ">\r\nz\r\n", R"(1,1="" 2,1="z" @3,1)");

    QString ticks; // one character a tick
    for (const QChar c : u"12\r\n\r\n\r\n\r\n13\r\n0 42 :: x\r\n"_s)
        ticks += u"|>"_s + c;
    add("one character a tick", ticks.mid(1),
        R"(1,1=12 1,2=stamp 2,2=13 3,1=0 3,2=42 3,3="x" @4,2)");

    // A line wider than the sheet keeps its rest, with its row, once the line is written.
    add("TAB fields past the last column",
        "limits 9 3|busy|>1\t2\t3\t4\t5\r\nnext\r\n|?overflow |free|>|?excel green|"
        "?overflow 1\t4\t5\r\n|?overflow ",
        R"(1,1=1 1,2=2 1,3=3 2,1="next" @3,1)");
    add("tokens past the last column",
        "limits 9 3|>:: 1 2 3 4 = 5\r\n|?overflow "
        "1\t4 = 5\r\n",
        "1,1=1 1,2=2 1,3=3 @2,1");

    add("pass shows its outcome",
        ">partial|?shown lamp Excel green, status Bytes Received: 7, pause on|clear|?status "
        "Ready",
        "@1,1");
    add("busy, then free",
        ">a\r\n|busy|>b\tc\r\nd\r\n|?shown lamp Excel green, status Bytes Received: 3, pause "
        "on, " +
            kBusy + "|?cells 1,1=\"a\" @2,1 left=b\tc\r\nd\r\n|>e\r\n|free|>|?shown " + kBusy +
            ", lamp Excel green, status Bytes Received: 14, pause on",
        R"(1,1="a" 2,1="b" 2,2="c" 3,1="d" 4,1="e" @5,1)");
    add("closed: retried every tick", "close|>x\r\n|?shown " + kClosed + "|>|?shown " + kClosed,
        "@1,1 left=x\r\n");
    add("failed time stamp does not move the block",
        ">1\r\n|busy|>" + kSep + "2\r\n|>|?cells 1,1=1 @2,1 left=" + kSep + "2\r\n|free|>",
        "1,1=1 1,2=stamp 2,2=2 @3,2");
    add("pass budget keeps the order",
        "budget 0|>1\r\n2\r\n3\r\n|?backlog true|?cells 1,1=1 @2,1 left=2\r\n3\r\n|>4\r\n|>|>|"
        "?backlog false",
        "1,1=1 2,1=2 3,1=3 4,1=4 @5,1");

    // A failed write leaves its block for the next tick, which writes every cell once.
    const QString five = u"a :: 1\r\nb :: 2\r\nc :: 3\r\nd :: 4\r\ne :: 5\r\n|"_s;
    const QString fiveCells =
        uR"(1,1="a" 1,2=1 2,1="b" 2,2=2 3,1="c" 3,2=3 4,1="d" 4,2=4 5,1="e" 5,2=5 @6,1)"_s;
    add("failed block", "fail 3|>" + five + "?count 0|?excel yellow|fail 0|>|?writes 10",
        fiveCells);
    add("failed second block",
        "fail 4|>a :: 1\r\nb :: 2\r\nc :: 3 x\r\nd :: 4 x\r\ne :: 5 x\r\n|?count 4|fail 0|>|"
        "?writes 13",
        "1,1=\"a\" 1,2=1 2,1=\"b\" 2,2=2 3,1=\"c\" 3,2=3 3,3=\"x\" 4,1=\"d\" 4,2=4 4,3=\"x\" "
        "5,1=\"e\" 5,2=5 5,3=\"x\" @6,1");
    add("failed after a separator",
        "fail 3|>1\r\n2\r\n" + kSep + "3\r\n4\r\nt :: u\r\n|?count 3|fail 0|>|?writes 7",
        R"(1,1=1 1,2=stamp 2,1=2 2,2=3 3,2=4 4,1="t" 4,2="u" @5,2)");

    // Stop writes in passes, reads on, and flushes the rest without waiting.
    add("stop in passes",
        "budget 0|+1\r\n2\r\n3|stop|?pass true|?status Writing received data: 1 of 2 lines|"
        "+\r\n|?pass true|?status Writing received data: 2 of 3 lines|?pass false|?status "
        "Writing received data: 3 of 3 lines|?flush ",
        "1,1=1 2,1=2 3,1=3 @4,1");
    add("final flush: no budget, no separator awaited", "budget 0|+a\r\nb\r\n\r\n|?flush ",
        R"(1,1="a" 2,1="b" 3,1="" @4,1)");
    add("final flush keeps a line without its end", "+a\r\nb|?flush b", R"(1,1="a" @2,1)");
    add("final flush while busy keeps all as received", "busy|+a\tb\r\nc|?flush a\tb\r\nc", "@1,1");
    add("write answered at Stop", "hold setBlock|>a\r\nb|?flush b|?writes 1", R"(1,1="a" @2,1)");
    add("write never answered", "hold setBlock|stuck|>a\r\nb|?flush a\r\nb|?writes 0", "@1,1");

    add("emulator replaces serial",
        "+serial\r\n|emu emu\r\n|>|>|serial|>|?status Bytes Received: 13",
        R"(1,1="emu" 2,1="serial" @3,1)");
    add("inject a number, once",
        "inject|emu 2.5\r\n|>|?shown inject used, lamp Excel green, status Bytes Received: 9, "
        "pause on|emu 9999\r\n|>",
        "1,1=2.5 1,2=3.5 2,1=9999 @3,1");
    add("inject passes a separator", "inject|emu " + kSep + "|>|emu 5\r\n|>",
        "1,2=stamp 2,2=5 @3,2");

    // Lost, the port is tried about once a second; the line it cut is a row of its own.
    add("port lost and back",
        ">kept\r\nhalf |+a li|lose|>|?com red|?status COM port not available|?excel green|>|>|"
        ">|>|>|>|>|>|>|?opens 1|>|?opens 2|?com red|back|>|>|>|>|>|>|>|>|>|>|?com green|"
        "?status Bytes Received: 15|>again\r\n",
        R"(1,1="kept" 2,1="half a li" 3,1="again" @4,1)");
    add("port lost after a CR", "+x\r|lose|>", R"(1,1="x" @2,1)");
    add("port lost, nothing waiting", ">a\r\n|lose|>|?status COM port not available",
        "1,1=\"a\" @2,1");
    add("journal takes the text as received", "journal|>a\r\n|+b|lose|>|?journal a\r\nb",
        R"(1,1="a" 2,1="b" @3,1)");
    add("a long backlog kept whole", "budget 0|noise 5000|>\r\n1\r\n|>",
        "1,1=\"" + QString(5000, u'x') + "\" 2,1=1 @3,1");
    add("no line end for long",
        "noise 4095|?com grey|>\n|?com yellow|>y\r\r|>\rz\r|?status No line end (CR LF) "
        "received in the last 4,096 bytes|?trouble true|>\n|?com green|?status Bytes "
        "Received: 4103|?count 1|?trouble false",
        "1,1=\"" + QString(4095, u'x') + "\ny\r\r\rz\" @2,1");

    add("full sheet: token lines",
        "limits 3 256|>a :: 1\r\nb :: 2\r\nc :: 3\r\nd :: 4\r\ne :: 5\r\n",
        R"(1,1="a" 1,2=1 2,1="b" 2,2=2 3,1="c" 3,2=3 | 1,1="d" 1,2=4 2,1="e" 2,2=5 @3,1)");
    add("full sheet: first block", "limits 3 256|>1\r\n2\r\n3\r\n4\r\n",
        "1,1=1 2,1=2 3,1=3 | 1,1=4 @2,1");
    add("full sheet: a block goes on under its stamp",
        "limits 3 256|>1\r\n" + kSep + "2\r\n3\r\n4\r\n5\r\n",
        "1,1=1 1,2=stamp 2,2=2 3,2=3 | 1,1=stamp 2,1=4 3,1=5 @4,1");
    add("full sheet: a token line first takes row 1",
        "limits 3 256|>1\r\n" + kSep + "2\r\n3\r\nx :: y\r\n5\r\n",
        R"(1,1=1 1,2=stamp 2,2=2 3,2=3 | 1,1="x" 1,2="y" 2,1=5 @3,1)");
    add("full sheet: no column left",
        "limits 100 3|>1\r\n" + kSep + "2\r\n" + kSep + "3\r\n" + kSep + "4\r\n5\r\n",
        "1,1=1 1,2=stamp 1,3=stamp 2,2=2 2,3=3 | 1,1=stamp 2,1=4 3,1=5 @4,1");
    add("full sheet: a separator at the last row stays",
        "limits 2 256|>1\r\n2\r\n" + kSep + "3\r\n", "1,1=1 1,2=stamp 2,1=2 2,2=3 @3,2");
    add("full sheet: new sheet refused, retried",
        "limits 1 256|>a\r\n|busy|>b\r\n|>|?excel yellow|?cells 1,1=\"a\" @2,1 left=b\r\n|free|>",
        R"(1,1="a" | 1,1="b" @2,1)");

    // A call answered late decides: what it did is not done again.
    add("late write", ">a\r\n|hold setBlock|>b\r\n|?excel yellow|>|answer|>|?excel green|?writes 2",
        R"(1,1="a" 2,1="b" @3,1)");
    add("late write, more arrives",
        ">a\r\n|hold setBlock|>b\r\n|>c\r\n|answer|>|"
        "?writes 3",
        R"(1,1="a" 2,1="b" 3,1="c" @4,1)");
    add("late new sheet", "limits 1 256|>a\r\n|hold addWorksheet|>b\r\n|>|answer|>",
        R"(1,1="a" | 1,1="b" @2,1)");
}

void tst_ReceivePath::receive() {
    QFETCH(QString, steps);
    QFETCH(QString, gives);
    Rig rig;
    for (const QString& step : steps.split(u'|')) {
        const QString rest = step.section(u' ', 1);
        const QStringList numbers = rest.split(u' ');
        if (step.startsWith(u'>') || step.startsWith(u'+')) {
            rig.serial.arrived += step.mid(1);
            if (step.startsWith(u'>'))
                rig.backlog = rig.receive.pump();
        } else if (step.startsWith(u'?')) {
            QCOMPARE(rig.fact(step.section(u' ', 0, 0).mid(1)), rest);
        } else if (step == "busy" || step == "free") {
            rig.sheet().setBusy(step == "busy");
        } else if (step == "close") {
            rig.sheet().closeWorkbook(rig.book);
        } else if (step.startsWith("fail ")) {
            rig.sheet().failWritesCovering(rest.toInt());
        } else if (step.startsWith("hold ")) {
            rig.sheet().holdNext(rest);
        } else if (step == "answer") {
            rig.sheet().answerPending();
        } else if (step == "stuck") {
            rig.sheet().stuck = true;
        } else if (step.startsWith("limits ")) {
            rig.receive.setSheetLimits(numbers[0].toInt(), numbers[1].toInt());
        } else if (step.startsWith("at ")) {
            rig.receive.setCurrentRow(numbers[0].toInt());
            rig.globals.blockColumn = qint16(numbers[1].toInt());
        } else if (step == "budget 0") {
            rig.receive.setPassBudget(0ms);
        } else if (step == "stop") {
            rig.receive.beginStop();
        } else if (step == "clear") {
            rig.receive.clear();
            rig.receive.ProcessReceiveBuffer();
        } else if (step == "lose" || step == "back") {
            if (step == "lose")
                rig.serial.loseDevice();
            rig.serial.devicepresent = step == "back";
        } else if (step.startsWith("emu ") || step == "serial") {
            rig.globals.emulatorActive = step != "serial";
            rig.globals.emulatorOutput = rest;
        } else if (step == "journal") {
            QVERIFY(rig.journal.begin(rig.clock.now()));
            rig.receive.setJournal(&rig.journal);
        } else if (step == "inject") {
            rig.globals.injectSingleTab = true;
        } else {
            QCOMPARE(step.section(u' ', 0, 0), u"noise"_s);
            rig.serial.arrived = QString(rest.toInt(), u'x');
            rig.receive.pump();
        }
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(rig.cells(), gives);
}

void tst_ReceivePath::fullSizeSheet() {
    QString text;
    for (int i = 0; i < SheetMaxRows + 10; ++i)
        text += u"0 %1 :: 12-06-2026 14:05:09 = 51 (RAW)  23 (C)\r\n"_s.arg(i % 10000, 4, 10,
                                                                            QChar(u'0'));
    Rig rig;
    rig.receive.setPassBudget(1h);
    rig.serial.arrived = text;
    rig.receive.pump();
    QVERIFY(rig.receive.receiveBuffer().isEmpty());
    QCOMPARE(rig.sheet().cellCount(rig.book, 0), qsizetype(SheetMaxRows) * 8);
    QCOMPARE(rig.sheet().cellCount(rig.book, 1), qsizetype(10) * 8);
    QCOMPARE(rig.sheet().cell(rig.book, 1, 2, 1), CellValue(double(SheetMaxRows % 10000)));
}

void tst_ReceivePath::hoursSinceMidnight_data() {
    QTest::addColumn<QTime>("time");
    QTest::addColumn<double>("hours");
    QTest::newRow("half past two") << QTime(14, 30, 0) << 14.5;
    QTest::newRow("half second to even below") << QTime(0, 0, 0, 500) << 0.0;
    QTest::newRow("half second to even above") << QTime(0, 0, 1, 500) << 2 / 3600.0;
    QTest::newRow("just over half a second") << QTime(0, 0, 0, 501) << 1 / 3600.0;
}

void tst_ReceivePath::hoursSinceMidnight() {
    QFETCH(QTime, time);
    QFETCH(double, hours);
    Rig rig;
    rig.clock.set(QDateTime(QDate(2026, 12, 6), time));
    QCOMPARE(rig.receive.HoursSinceMidnight(), hours);
}

QTEST_GUILESS_MAIN(tst_ReceivePath)
#include "tst_receivepath.moc"
