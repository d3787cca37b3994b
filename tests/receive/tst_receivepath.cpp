#include "fakeserial.h"
#include "filecontent.h"
#include "fixedclock.h"
#include "memoryspreadsheet.h"
#include "receivepath.h"
#include "recordingcaptureview.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

const QString kSep = u"\r\n\r\n\r\n"_s;
const QString kClosed = u"lamp Excel red, status Our MS Excel spreadsheet has been closed:  we "
                        "cannot record any more of your data., pause off"_s;
const double kStamp = (14 * 3600 + 5 * 60 + 9) / 3600.0; // the fixed clock's 14:05:09

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
            for (const auto& [at, value] : cells) {
                const double* number = std::get_if<double>(&value);
                const QDateTime* time = std::get_if<QDateTime>(&value);
                out << u"%1,%2=%3"_s.arg(at.first).arg(at.second).arg(
                    time                ? time->toString(u"hh:mm:ss.zzz")
                    : !number           ? u'"' + std::get<QString>(value) + u'"'
                    : *number == kStamp ? u"stamp"_s
                                        : QString::number(*number, 'g', 10));
            }
        }
        out << u"@%1,%2"_s.arg(receive.currentRow()).arg(globals.blockColumn);
        if (!receive.receiveBuffer().isEmpty())
            out << "left=" + receive.receiveBuffer();
        return out.join(u' ');
    }
    QString fact(const QString& name) {
        return name == "cells"      ? cells()
               : name == "excel"    ? view.colourName(view.excelLamp)
               : name == "com"      ? view.colourName(view.comLamp)
               : name == "status"   ? view.status
               : name == "shown"    ? std::exchange(view.events, {}).join(u", "_s)
               : name == "overflow" ? receive.takeOverflow()
               : name == "flush"    ? kept()
               : name == "pass"     ? QString::number(receive.stopPass())
               : name == "backlog"  ? QString::number(backlog)
               : name == "trouble"  ? QString::number(receive.showPortTrouble())
               : name == "writes"   ? QString::number(sheet().writeCount())
               : name == "journal"  ? QString::fromLatin1(readFile(journal.path()))
                                    : "unknown check " + name;
    }
    // The file of what Stop keeps unwritten, read and removed.
    QString kept() {
        journal.keepUnwritten(receive.finalFlush(), {}, folder.path(), clock.now());
        const QFileInfoList files = QDir(folder.path()).entryInfoList({u"Celvane unwritten*"_s});
        const QString text = files.isEmpty() ? u""_s : readFile(files[0].filePath());
        for (const QFileInfo& file : files)
            QFile::remove(file.filePath());
        return text;
    }
    // ">text" arrives and a tick pumps, "+text" arrives only, "?name value" checks a fact.
    void step(const QString& text) {
        if (text.startsWith(u'?'))
            QCOMPARE(fact(text.section(u' ', 0, 0).mid(1)), text.section(u' ', 1));
        const QString word =
            QStringView(u">+").contains(text.front()) ? text.left(1) : text.section(u' ', 0, 0);
        const QString arg = text.mid(word.size() + int(word.size() > 1));
        const auto number = [&](int i) { return arg.section(u' ', i, i).toInt(); };
        const std::map<QString, std::function<void()>> actions{
            {u">"_s, [&] { serial.arrived += arg, backlog = receive.pump(); }},
            {u"+"_s, [&] { serial.arrived += arg; }},
            {u"then"_s, [&] { serial.next << arg; }},
            {u"ticks"_s, [&] { std::ranges::for_each(arg, [&](QChar c) { step(u">"_s + c); }); }},
            {u"noise"_s, [&] { serial.arrived = QString(arg.toInt(), u'x'), receive.pump(); }},
            {u"busy"_s, [&] { sheet().setBusy(arg != "off"); }},
            {u"close"_s, [&] { sheet().closeWorkbook(book); }},
            {u"hold"_s, [&] { sheet().holdNext(arg.section(u' ', 0, 0), number(1)); }},
            {u"answer"_s, [&] { sheet().answerPending(); }},
            {u"stuck"_s, [&] { sheet().stuck = true; }},
            {u"limits"_s, [&] { receive.setSheetLimits(number(0), number(1)); }},
            {u"at"_s, [&] { receive.setCurrentRow(number(0)), globals.blockColumn = number(1); }},
            {u"budget"_s, [&] { receive.setPassBudget(0ms); }},
            {u"bound"_s, [&] { receive.setMemoryBound(number(0)); }},
            {u"stop"_s, [&] { receive.beginStop(); }},
            {u"lose"_s, [&] { serial.loseDevice(); }},
            {u"back"_s, [&] { serial.devicepresent = true, serial.badSettings.clear(); }},
            {u"why"_s, [&] { serial.badSettings = arg; }},
            {u"emu"_s,
             [&] { globals.emulatorActive = !arg.isEmpty(), globals.emulatorOutput = arg; }},
            {u"journal"_s, [&] { journal.begin(clock.now()), receive.setJournal(&journal); }},
            {u"inject"_s, [&] { globals.injectSingleTab = true; }},
            {u"time"_s, [&] { serial.format.time = true; }},
            {u"lf"_s, [&] { serial.format.lineEnd = LineFormat::LineEnd::Lf; }},
        };
        if (!text.startsWith(u'?'))
            actions.at(word)();
    }

    MemorySpreadsheetFactory factory;
    modGlobals globals;
    FakeSerial serial;
    RecordingCaptureView view;
    FixedClock clock;
    QTemporaryDir folder;
    CaptureJournal journal{folder.path()};
    ReceivePath receive{globals, serial, view, clock};
    WorkbookId book = 0;
    bool backlog = false;
};

class tst_ReceivePath : public QObject {
    Q_OBJECT
private slots:
    void receive_data();
    void receive();
    void format_data();
    void format();
};

void tst_ReceivePath::receive_data() {
    QTest::addColumn<QString>("steps"); // split at "|"
    QTest::addColumn<QString>("gives"); // Rig::cells() at the end
    const auto add = [](const char* name, const QString& steps, const QString& gives) {
        QTest::newRow(name) << steps << gives;
    };
    add("token lines, at column 1", "at 5 3|>\r\nA :: 1 = 2\r\n:: = ::\r\n  x\ty   ::   z  \r\n",
        R"(5,3="" 6,1="A" 6,2=1 6,3=2 8,1="x	y" 8,2="z" @9,3)");
    add("data lines, at the block column",
        "at 1 2|>3.5\t\t7\r\na:b\tc\r\na\rb\nc\r\n=1+1\r\n1\t\r\nz\r\n",
        "1,2=3.5 1,3=\"\" 1,4=7 2,2=\"a:b\" 2,3=\"c\" 3,2=\"a\rb\nc\" 4,2=\"=1+1\" 5,2=1 5,3=\"\" "
        "6,2=\"z\" @7,2");
    add("one character a tick", "ticks 12\r\n\r\n\r\n\r\n13\r\n0 42 :: x\r\n",
        R"(1,1=12 1,2=stamp 2,2=13 3,1=0 3,2=42 3,3="x" @4,2)");

    add("fields and tokens past the last column",
        "limits 9 3|busy|>1\t2\t3\t4\t5\r\nnext\r\n|?overflow |busy off|>|?excel green|"
        "?overflow 1\t4\t5\r\n|?overflow |>:: 1 2 3 4 = 5\r\n|?overflow 3\t4 = 5\r\n",
        R"(1,1=1 1,2=2 1,3=3 2,1="next" 3,1=1 3,2=2 3,3=3 @4,1)");

    add("busy, then free",
        ">a\r\n|busy|>b\tc\r\nd\r\n|?excel yellow|?cells 1,1=\"a\" @2,1 left=b\tc\r\nd\r\n|>e\r\n|"
        "busy off|>|?excel green|?status Bytes Received: 14|?writes 5",
        R"(1,1="a" 2,1="b" 2,2="c" 3,1="d" 4,1="e" @5,1)");
    add("closed: retried every tick", "close|>x\r\n|?shown " + kClosed + "|>|?shown " + kClosed,
        "@1,1 left=x\r\n");
    add("failed time stamp does not move the block",
        ">1\r\n|busy|>" + kSep + "2\r\n|>|?cells 1,1=1 @2,1 left=" + kSep + "2\r\n|busy off|>",
        "1,1=1 1,2=stamp 2,2=2 @3,2");
    add("pass budget keeps the order",
        "budget|>1\r\n2\r\n3\r\n|?backlog 1|?cells 1,1=1 @2,1 left=2\r\n3\r\n|>4\r\n|>|>|"
        "?backlog 0",
        "1,1=1 2,1=2 3,1=3 4,1=4 @5,1");

    add("a pass reads what arrived during its writes", "then 2\r\n|>1\r\na\tb\r\n",
        R"(1,1=1 2,1="a" 2,2="b" 3,1=2 @4,1)");
    add("stop in passes",
        "budget|+1\r\n2\r\n3|stop|?pass 1|?status Writing received data: 1 of 2 lines|"
        "+\r\n|?pass 1|?status Writing received data: 2 of 3 lines|?pass 0|?status "
        "Writing received data: 3 of 3 lines|?flush ",
        "1,1=1 2,1=2 3,1=3 @4,1");
    add("final flush: no budget, no separator awaited", "budget|+a\r\nb\r\n\r\n|?flush ",
        R"(1,1="a" 2,1="b" 3,1="" @4,1)");
    add("a failed write at Stop: the rest in passes after its answer",
        "budget|hold setBlock|>a\r\nb\r\nc|stop|?pass 1|?pass 1|?status Writing received data: 1 "
        "of 2 lines|?pass 0|?flush c|?writes 2",
        R"(1,1="a" 2,1="b" @3,1)");
    add("write answered at Stop", "hold setBlock|>a\r\nb|?flush b|?writes 1", R"(1,1="a" @2,1)");
    add("stamp refused at Stop: the fields before it are not kept twice",
        "hold setBlock 1|>a\t" + kSep + "|busy|?flush " + kSep, R"(1,1="a" @1,1)");
    add("write never answered", "hold setBlock|stuck|>a\r\nb|?flush a\r\nb|?writes 0", "@1,1");

    add("emulator replaces serial", "+serial\r\n|emu emu\r\n|>|>|emu|>|?status Bytes Received: 13",
        R"(1,1="emu" 2,1="serial" @3,1)");
    add("port text at Stop while the emulator feeds", "+serial\r\n|emu emu\r\n|>|?flush serial\r\n",
        R"(1,1="emu" @2,1)");
    add("inject a number, once",
        "inject|emu 2.5\r\n|>|?shown inject used, lamp Excel green, status Bytes Received: 9, "
        "pause on|emu 9999\r\n|>",
        "1,1=2.5 1,2=3.5 2,1=9999 @3,1");

    // The line a lost port cut is a row of its own.
    add("port lost and back",
        ">kept\r\nhalf |+a li|lose|>|?com red|?status COM port not available|?excel green|"
        "why /dev/ttyUSB0 does not exist|>|>|>|>|>|>|>|>|>|>|?status COM port not available: "
        "/dev/ttyUSB0 does not exist|back|>|>|>|>|>|>|>|>|>|>|?com green|?status Bytes Received: "
        "15|>again\r\n",
        R"(1,1="kept" 2,1="half a li" 3,1="again" @4,1)");
    add("journal takes the text as received; a line cut after its CR",
        "journal|>a\r\n|+b\r|lose|>|?journal a\r\nb\r", R"(1,1="a" 2,1="b" @3,1)");
    add("a long backlog kept whole", "budget|noise 5000|>\r\n1\r\n|>",
        "1,1=\"" + QString(5000, u'x') + "\" 2,1=1 @3,1");
    add("no line end for long",
        "noise 4095|?com grey|>\n|?com yellow|>y\r\r|>\rz\r|?status No line end (CR LF) "
        "received in the last 4,096 bytes|?trouble 1|>\n|?com green|?status Bytes "
        "Received: 4103|?trouble 0",
        "1,1=\"" + QString(4095, u'x') + "\ny\r\r\rz\" @2,1");
    add("no line end for long, the end named",
        "lf|noise 4096|?com yellow|?status No line end (LF) "
        "received in the last 4,096 bytes",
        "@1,1 left=" + QString(4096, u'x'));

    add("a line past the memory bound is left in the journal and kept whole at Stop",
        "journal|bound 8|>ab\r\n0123456789|?cells 1,1=\"ab\" @2,1|>abc|?flush 0123456789abc",
        R"(1,1="ab" @2,1)");
    add("a line past the bound takes no row; kept at Stop where it came",
        "journal|bound 8|>0123456789|>ab\r\nc\r\n|busy|>d\r\n012345678|>9\r\ne|"
        "?flush 0123456789ab\r\nd\r\n0123456789\r\ne",
        R"(1,1="c" @2,1)");
    add("a line past the bound whose CR LF comes in two reads",
        "journal|bound 4|>abcde\r|>\nf\r\n|?flush abcde\r\n", R"(1,1="f" @2,1)");
    add("a line past the bound without a journal stays in memory", "bound 8|>abcdefghij|>\r\n",
        R"(1,1="abcdefghij" @2,1)");

    add("full sheet: a block goes on under its stamp",
        "limits 3 256|>1\r\n" + kSep + "2\r\n3\r\n4\r\n5\r\n",
        "1,1=1 1,2=stamp 2,2=2 3,2=3 | 1,1=stamp 2,1=4 3,1=5 @4,1");
    add("full sheet: no column left",
        "limits 100 3|>1\r\n" + kSep + "2\r\n" + kSep + "3\r\n" + kSep + "4\r\n5\r\n",
        "1,1=1 1,2=stamp 1,3=stamp 2,2=2 2,3=3 | 1,1=stamp 2,1=4 3,1=5 @4,1");
    // A call answered late decides: what it did is not done again.
    add("full sheet: no column left, the stamp refused in the new sheet",
        "limits 100 4|time|at 1 2|hold setBlock 1|>x\t" + kSep + "y\r\n|answer|>",
        "1,2=14:05:09.000 1,3=\"x\" | 1,1=stamp 2,1=14:05:09.000 2,2=\"y\" @3,1");
    add("full sheet: no column left, the stamp refused, then a token line",
        "limits 100 4|time|at 1 2|hold setBlock 1|>x\t" + kSep + "y :: z\r\n|answer|>",
        "1,2=14:05:09.000 1,3=\"x\" | 1,1=stamp 2,1=14:05:09.000 2,2=\"y\" 2,3=\"z\" @3,1");
    add("full sheet: new sheet refused, then late answers",
        "limits 1 256|>a\r\n|busy|>b\r\n|>|?excel yellow|?cells 1,1=\"a\" @2,1 left=b\r\n|"
        "busy off|>|hold addWorksheet|>c\r\n|>|answer|>|hold setBlock|>d\r\n|?excel yellow|>|"
        "answer|>|?excel green|?writes 4",
        R"(1,1="a" | 1,1="b" | 1,1="c" | 1,1="d" @2,1)");
}

void tst_ReceivePath::receive() {
    QFETCH(QString, steps);
    Rig rig;
    for (const QString& step : steps.split(u'|'))
        rig.step(step);
    QTEST(rig.cells(), "gives");
}

using Format = LineFormat;
Q_DECLARE_METATYPE(LineFormat)

void tst_ReceivePath::format_data() {
    QTest::addColumn<LineFormat>("format");
    // What each read takes from the port; read k is read at 10:00:00 plus k times 1.001 s.
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<QString>("action"); // "workbook busy during the first read", "emulator"
    QTest::addColumn<QString>("cells");  // Rig::cells() after the last read
    using F = Format;
    const F lf{.lineEnd = F::LineEnd::Lf}, cr{.lineEnd = F::LineEnd::Cr},
        any{.lineEnd = F::LineEnd::Any};
    const F csvLf{F::LineEnd::Lf, F::Fields::Comma},
        european{.fields = F::Fields::Semicolon, .decimal = F::Decimal::Comma}, timed{.time = true},
        timedLf{.lineEnd = F::LineEnd::Lf, .time = true};
    const auto add = [](const char* name, const F& format, const QStringList& reads,
                        const QString& action, const QString& cells) {
        QTest::newRow(name) << format << reads << action << cells;
    };
    add("LF: a CR is text", lf, {"a\rb\r\n1\r\n"}, "", "1,1=\"a\rb\r\" 2,1=1 @3,1");
    add("CR: a LF is text", cr, {"a\nb\rc\r"}, "", "1,1=\"a\nb\" 2,1=\"c\" @3,1");
    add("any: CR LF cut between two reads is one line end", any, {"a\r", "\nb\nc\rd"}, "",
        R"(1,1="a" 2,1="b" 3,1="c" @4,1 left=d)");
    add("any: three empty lines of mixed ends start a block", any, {"12\r\n\n\r\r\n13\n"}, "",
        "1,1=12 1,2=10 2,2=13 @3,2");
    add("the emulator keeps CR LF", lf, {"a\nb\r\n"}, "emulator", "1,1=\"a\nb\" @2,1");
    add("LF, comma: quoted fields hold commas and doubled quotes", csvLf,
        {R"(23.5,"a,b","say ""hi""","x"y,"open,end)"
         "\n"},
        "", R"(1,1=23.5 1,2="a,b" 1,3="say "hi"" 1,4="xy" 1,5="open,end" @2,1)");
    add("tab: quotes stay", F{}, {"\"a\"\t\"1\"\r\n"}, "", R"(1,1=""a"" 1,2=""1"" @2,1)");
    add("decimal comma: a European instrument", european,
        {"23,5;41,2;-2,25e3;1.5;1,5,5;abc\r\nA :: 1,5 = 2\r\n"}, "",
        R"(1,1=23.5 1,2=41.2 1,3=-2250 1,4="1.5" 1,5="1,5,5" 1,6="abc" 2,1="A" 2,2=1.5 2,3=2 @3,1)");
    add("time: when each line end was read", timed, {"a\r\nb", "c\r", "\n"}, "",
        R"(1,1=10:00:00.000 1,2="a" 2,1=10:00:02.002 2,2="bc" @3,1)");
    add("time: kept with the text while the workbook is busy", timed, {"a\r\n", "b\r\n"},
        "workbook busy during the first read",
        R"(1,1=10:00:00.000 1,2="a" 2,1=10:00:01.001 2,2="b" @3,1)");
    add("time: a block takes two columns; its stamp is when the separator arrived", timedLf,
        {"12\n\n", "\n\n", "13\n", "0 42 :: x\n"}, "",
        "1,1=10:00:00.000 1,2=12 1,3=10.00027778 2,3=10:00:02.002 2,4=13 3,1=10:00:03.003 3,2=0 "
        "3,3=42 3,4=\"x\" @4,3");
    add("block stamp without the time: when the separator arrived", F{},
        {"1\r\n", "\r\n\r\n\r\n2\r\n"}, "", "1,1=1 1,2=10.00027778 2,2=2 @3,2");
}

void tst_ReceivePath::format() {
    QFETCH(LineFormat, format);
    QFETCH(QStringList, reads);
    QFETCH(QString, action);
    Rig rig;
    rig.serial.format = format;
    const QDateTime first(QDate(2026, 12, 7), QTime(10, 0));
    for (int k = 0; k < reads.size(); ++k) {
        rig.sheet().setBusy(k == 0 && action == "workbook busy during the first read");
        rig.serial.readAt = first.addMSecs(1001 * k);
        rig.globals.emulatorActive = action == "emulator";
        (rig.globals.emulatorActive ? rig.globals.emulatorOutput : rig.serial.arrived) = reads[k];
        rig.receive.pump();
    }
    QTEST(rig.cells(), "cells");
}

QTEST_GUILESS_MAIN(tst_ReceivePath)
#include "tst_receivepath.moc"
