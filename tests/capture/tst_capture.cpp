#include "appsettings.h"
#include "capture.h"
#include "fakefolders.h"
#include "fakeserial.h"
#include "filecontent.h"
#include "fixedclock.h"
#include "memoryspreadsheet.h"
#include "offthread.h"
#include "receivepath.h"
#include "recordingcaptureview.h"
#include "settings.h"
#include "spreadsheetcontract.h"
#include "unwrittentext.h"

#include <QtTest>

#include <atomic>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

const QString kOpening = u"lamp Excel yellow, status Opening MS Excel Spreadsheet"_s;
const QString kOpeningPort =
    kOpening + ", lamp Excel green, status , lamp ComPort yellow, status Opening COM port";
const QString kStarted =
    kOpeningPort + ", lamp ComPort green, status Ready, button Start off, button Stop on, button "
                   "Pause on, front Pause, button Resume off, button ComPorts off";

struct Rig {
    Rig() {
        folders.answer = documents.path();
        memory.startup = startup.path();
        writeFile(program.filePath(u"spreadsheet.xls"_s), "master workbook");
    }
    QString workingCopy() const { return documents.filePath(u"spreadsheet.xls"_s); }
    QString personal() const { return startup.filePath(u"Personal.xls"_s); }
    MemorySpreadsheet& app() { return *memory.last(); }
    bool released() const { // the spreadsheet runs no more
        return !globals.excelApp && globals.captureBook == 0 && !memory.last();
    }
    void apply(const QString& steps) {
        for (const QString& step : steps.split(u", "_s, Qt::SkipEmptyParts)) {
            const QString arg = step.section(u' ', 1);
            const auto tidy = [](MemorySpreadsheet& app) { return app.setCell(1, 5, 1.0).ok(); };
            const std::map<QString, std::function<void()>> actions{
                {u"earlier copy"_s, [&] { writeFile(workingCopy(), "earlier capture"); }},
                {u"personal"_s, [&] { writeFile(personal(), "personal macros"); }},
                {u"unloadable"_s, [&] { memory.unloadable.insert(personal()); }},
                {u"unopenable"_s, [&] { memory.unloadable.insert(workingCopy()); }},
                {u"folder error"_s, [&] { folders.code = FolderCode::InvalidArgument; }},
                {u"folder missing"_s, [&] { folders.code = FolderCode::Missing; }},
                {u"no master"_s, [&] { QFile::remove(program.filePath(u"spreadsheet.xls"_s)); }},
                {u"no spreadsheet"_s, [&] { memory.failCreate = true; }},
                {u"bad"_s, [&] { serial.badSettings = arg; }},
                {u"emulator"_s, [&] { globals.emulatorActive = true; }},
                {u"data"_s, [&] { globals.excelApp->setCell(1, 1, u"12"_s); }},
                {u"macro"_s, [&] { globals.macroEnabled = true, globals.macroName = arg; }},
                {u"unticked"_s, [&] { globals.macroName = arg; }},
                {u"in"_s, [&] { memory.macros[arg] = tidy; }},
                {u"closed"_s, [&] { app().closeWorkbook(globals.captureBook); }},
                {u"answer"_s, [&] { memory.saveAsAnswer = documents.filePath(arg); }},
                {u"recovery"_s, [&] { memory.recoveryFolder = documents.path() + "/recovered"; }},
                {u"save fails"_s, [&] { memory.failSaveAs = true; }},
                {u"hold"_s, [&] { app().holdNext(arg); }},
                {u"stuck"_s, [&] { app().stuck = true; }},
                {u"all gone"_s, [&] { app().closeApplication(), serial.loseDevice(); }},
            };
            actions.at(actions.contains(step) ? step : step.section(u' ', 0, 0))();
        }
    }

    QTemporaryDir documents, program, startup;
    MemorySpreadsheetFactory memory; // outlives the application in globals
    modGlobals globals;
    FakeSerial serial;
    RecordingCaptureView view;
    FakeFolders folders;
    modShell shell{folders, view};
    Capture capture{globals, serial, memory, shell, view, program.path()};
};

// The receive path between a serial control and a workbook, with the clock at 14:05:09.
const QString kSep = u"\r\n\r\n\r\n"_s;
const QString kClosed = u"lamp Excel red, status Our MS Excel spreadsheet has been closed:  we "
                        "cannot record any more of your data., pause off"_s;
const double kStamp = (14 * 3600 + 5 * 60 + 9) / 3600.0; // the fixed clock's 14:05:09

// On the capture's parts, with a workbook of its own.
struct ReceiveRig : Rig {
    ReceiveRig() {
        Status status;
        globals.excelApp = memory.create(status);
        book = globals.excelApp->open(QCoreApplication::applicationFilePath()).value;
        serial.setPortOpen(true);
    }
    // The cells of every sheet as "row,column=value" ("|" between sheets), then "@" the next
    // row and block column, and the text waiting.
    QString cells() {
        QStringList out;
        for (const MemorySheet& cells : app().workbook(book).sheets) {
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
               : name == "writes"   ? QString::number(app().writeCount())
               : name == "journal"  ? QString::fromLatin1(readFile(journal.path()))
                                    : "unknown check " + name;
    }
    // The file of what Stop keeps unwritten, read and removed.
    QString kept() {
        journal.keepUnwritten(receive.finalFlush(), {}, documents.path(), clock.now());
        const QFileInfoList files = QDir(documents.path()).entryInfoList({u"Celvane unwritten*"_s});
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
            {u"busy"_s, [&] { app().setBusy(arg != "off"); }},
            {u"close"_s, [&] { app().closeWorkbook(book); }},
            {u"hold"_s, [&] { app().holdNext(arg.section(u' ', 0, 0), number(1)); }},
            {u"answer"_s, [&] { app().answerPending(); }},
            {u"stuck"_s, [&] { app().stuck = true; }},
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

    FixedClock clock;
    CaptureJournal journal{documents.path()};
    ReceivePath receive{globals, serial, view, clock};
    WorkbookId book = 0;
    bool backlog = false;
};

class CaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;

private slots:
    void receive_data();
    void receive();
    void format_data();
    void format();
    void initTestCase() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    }
    // The port and the macro switch as stored (none: nothing stored), and as read.
    void loaded_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("comPort");
        QTest::addColumn<QString>("enable");
        QTest::addColumn<bool>("macroEnabled");
        QTest::newRow("none") << QString() << 1 << QString() << false;
        QTest::newRow("3, True") << "3" << 3 << "True" << true;
        QTest::newRow("blanks, true") << " 7 " << 7 << "true" << true;
        QTest::newRow("255, -1") << "255" << 255 << "-1" << true;
        QTest::newRow("0, FALSE") << "0" << 1 << "FALSE" << false;
        QTest::newRow("256, yes") << "256" << 1 << "yes" << false;
        QTest::newRow("COM3, empty") << "COM3" << 1 << "" << false;
    }
    void loaded() {
        QFETCH(QString, port);
        QFETCH(QString, enable);
        openSettings()->clear();
        if (!port.isNull()) {
            openSettings()->setValue("Communication/ComPort", port);
            openSettings()->setValue("Excel Macro/Enable", enable);
        }
        QTEST(int(loadAppSettings().comPort), "comPort");
        QTEST(loadAppSettings().macroEnabled, "macroEnabled");
    }
    void roundTrip() {
        saveAppSettings({3, true, QString()});
        QCOMPARE(openSettings()->value("Communication/ComPort").toString(), "3");
        QCOMPARE(openSettings()->value("Excel Macro/Enable").toString(), "True");
        QVERIFY(openSettings()->contains("Excel Macro/Name"));
    }
    // Received text kept in a file: byte for byte, and never over an earlier file.
    void unwrittenTextKept() {
        QString bytes;
        for (int b = 0; b < 256; ++b)
            bytes += QChar(b);
        const QDateTime now(QDate(2026, 12, 6), QTime(14, 5, 9));
        const QString first = saveUnwrittenText(m_config.path(), "Unwritten", bytes, now);
        const QString second = saveUnwrittenText(m_config.path(), "Unwritten", "x", now);
        QCOMPARE(first, m_config.filePath("Unwritten 2026-12-06 14-05-09.txt"));
        QCOMPARE(second, m_config.filePath("Unwritten 2026-12-06 14-05-09 (2).txt"));
        QCOMPARE(readFile(first), bytes.toLatin1());
        QCOMPARE(saveUnwrittenText(m_config.filePath("missing"), "Unwritten", "x", now), "");
    }

    void start_data() {
        QTest::addColumn<QString>("setup"); // what is wrong or there before
        QTest::addColumn<QString>("shows"); // what the window is told
        QTest::addColumn<int>("books");     // the workbooks open; 0: the start fails
        const auto add = [](const char* name, const char* setup, const QString& shows, int books) {
            QTest::newRow(name) << QString::fromLatin1(setup) << shows << books;
        };
        const QString excelFails = kOpening + ", status %1, lamp Excel red";
        add("all well", "", kStarted, 1);
        add("working copy reused, never overwritten", "earlier copy", kStarted, 1);
        add("personal macros not loadable", "personal, unloadable",
            kStarted + ", lamp Excel yellow, status Your personal macros were NOT loaded.", 1);
        add("folder lookup error", "folder error",
            kOpening + ", message Failure in modShell:GetFolderPath|Error code: -2147024809 "
                       "returned for CSIDL value: 5, status We do not remember the path to the "
                       "master copy of our workbook., lamp Excel red",
            0);
        add("documents folder missing: no message", "folder missing",
            excelFails.arg("We do not remember the path to the master copy of our workbook."), 0);
        add("no master", "no master",
            excelFails.arg(
                "We cannot make a copy of the master workbook; it may have been deleted."),
            0);
        add("no spreadsheet", "no spreadsheet",
            excelFails.arg("We cannot start MS Excel; it may not be loaded on this computer."), 0);
        add("workbook will not open", "unopenable", excelFails.arg("Excel cannot open workbook"),
            0);
        add("line setting to blame", "bad COM1Settings \"115200,q,8,1\" is not a line setting",
            kOpeningPort + ", status COM port not available: COM1Settings \"115200,q,8,1\" is "
                           "not a line setting, lamp ComPort red",
            0);
        add("the emulator needs no port", "emulator, bad COM1 is in use by another program",
            kOpeningPort +
                ", status COM port not available: COM1 is in use by another program; "
                "capturing from the emulator, lamp ComPort yellow" +
                kStarted.sliced(kStarted.indexOf(u", button Start")),
            1);
    }

    void start() {
        QFETCH(QString, setup);
        QFETCH(QString, shows);
        QFETCH(int, books);
        Rig rig;
        rig.globals.blockColumn = 7;
        rig.apply(setup);
        QCOMPARE(rig.capture.CaptureStart(), books > 0);
        QCOMPARE(rig.view.events.join(u", "_s), shows);
        QVERIFY(rig.globals.blockColumn == 1 &&
                rig.serial.portOpen() == (books > 0 && !rig.globals.emulatorActive));
        QCOMPARE(rig.released(), books == 0);
        if (books == 0)
            return;
        QCOMPARE(readFile(rig.workingCopy()),
                 setup == "earlier copy" ? "earlier capture" : "master workbook");
        QVERIFY(rig.app().isVisible() && rig.app().workbooks().value.size() == books &&
                rig.app().activeWorkbook() == rig.globals.captureBook &&
                rig.app().workbook(rig.globals.captureBook).path == rig.workingCopy());
    }

    void stop_data() {
        QTest::addColumn<QString>("steps"); // while the capture runs
        QTest::addColumn<QString>("gives"); // the macros tried, the question, files saved, status
        const auto add = [](const char* name, const QString& steps, const QString& gives) {
            QTest::newRow(name) << steps << gives;
        };
        const QString both = u"in spreadsheet.xls!Tidy, in Personal.xls!Tidy"_s;
        const QString failed = u"status User macro did NOT run."_s;
        add("macro not ticked", "unticked Tidy, " + both, "");
        add("capture workbook first", "macro Tidy, " + both, "ran spreadsheet.xls!Tidy; asked");
        add("qualified", "macro Personal.xls!Tidy, " + both, "ran Personal.xls!Tidy; asked");
        add("leading bang is part of the name", "macro !Tidy, in Personal.xls!!Tidy",
            "ran spreadsheet.xls!!Tidy, Personal.xls!!Tidy; asked");
        add("rename cancelled", "data", u"asked"_s);
        add("capture workbook closed", "data, closed, answer run 12.xls", QString());
        add("save fails", "data, answer run 12.xls, save fails",
            "asked; status The workbook was NOT saved.");
        add("office stuck in the macro: nothing could be kept",
            "data, macro Tidy, in spreadsheet.xls!Tidy, hold run, stuck",
            failed + " The workbook was NOT saved.");
        add("office stuck: a recovery copy before it is ended", "data, hold saved, stuck, recovery",
            "file recovered/spreadsheet (recovered).xls with the data; status Unsaved data "
            "kept in recovered/spreadsheet (recovered).xls");
        add("everything gone before the stop", "data, macro Tidy, all gone",
            failed + " The workbook was NOT saved.");
    }

    void stop() {
        QFETCH(QString, steps);
        QFETCH(QString, gives);
        Rig rig;
        rig.apply(u"personal"_s);
        QVERIFY(rig.capture.CaptureStart());
        rig.apply(steps);
        rig.capture.CaptureStop();

        QStringList seen;
        if (!rig.memory.macroRuns.isEmpty())
            seen << "ran " + rig.memory.macroRuns.join(u", "_s);
        for (const QString& dialog : rig.memory.dialogs)
            seen << (dialog == u"Please rename this workbook|Excel workbook,*.xls|" ? u"asked"_s
                                                                                    : dialog);
        const QDir documents(rig.documents.path());
        for (const auto& [path, book] : rig.memory.files.asKeyValueRange())
            seen << "file " + documents.relativeFilePath(path) +
                        (book.sheets[0].count({1, 1}) ? " with the data" : " without the data");
        if (!rig.view.status.isEmpty())
            seen << "status " + QString(rig.view.status)
                                    .remove(QDir::toNativeSeparators(documents.path() + '/'));
        QCOMPARE(seen.join(u"; "_s), gives);
        QVERIFY(rig.released() && !rig.serial.portOpen());
        QCOMPARE(rig.capture.CaptureStart(), !steps.contains("all gone")); // a new capture
    }

    // Long file work runs beside the window, whose events go on meanwhile.
    void workOffThreadLetsTheWindowTurn() {
        std::atomic_bool ticked = false;
        bool seen = false;
        QTimer::singleShot(10, [&] { ticked = true; });
        runOffThread([&] { seen = QTest::qWaitFor([&] { return bool(ticked); }, 10000); });
        QVERIFY(seen);
    }

    // The in-memory office keeps the contract that the real one is held to.
    void memoryOfficeContract() {
        Rig rig;
        QVERIFY(rig.capture.CaptureStart());
        checkSpreadsheetContract(
            *rig.globals.excelApp, rig.globals.captureBook, rig.documents.path(), [&](auto path) {
                QList<SheetCells> sheets;
                for (const MemorySheet& sheet : rig.memory.files.value(path).sheets)
                    for (SheetCells& cells = sheets.emplaceBack(); const auto& [at, value] : sheet)
                        if (value != CellValue(QString())) // an empty text is an empty cell
                            cells.insert(
                                at,
                                std::visit([](auto v) { return QVariant::fromValue(v); }, value));
                return sheets;
            });
    }
};

void CaptureTest::receive_data() {
    QTest::addColumn<QString>("steps"); // split at "|"
    QTest::addColumn<QString>("gives"); // ReceiveRig::cells() at the end
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
    add("port lost with nothing waiting", ">a\r\n|lose|>|?status COM port not available",
        R"(1,1="a" @2,1)");
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

void CaptureTest::receive() {
    QFETCH(QString, steps);
    ReceiveRig rig;
    for (const QString& step : steps.split(u'|'))
        rig.step(step);
    QTEST(rig.cells(), "gives");
}

Q_DECLARE_METATYPE(LineFormat)

void CaptureTest::format_data() {
    QTest::addColumn<LineFormat>("format");
    // What each read takes from the port; read k is read at 10:00:00 plus k times 1.001 s.
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<QString>("action"); // "workbook busy during the first read", "emulator"
    QTest::addColumn<QString>("cells");  // ReceiveRig::cells() after the last read
    using F = LineFormat;
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
    add("bytes past 127 stay what they were", F{}, {u"25\u00b0C\t\u00ff\r\n"_s}, "",
        u"1,1=\"25\u00b0C\" 1,2=\"\u00ff\" @2,1"_s);
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

void CaptureTest::format() {
    QFETCH(LineFormat, format);
    QFETCH(QStringList, reads);
    QFETCH(QString, action);
    ReceiveRig rig;
    rig.serial.format = format;
    const QDateTime first(QDate(2026, 12, 7), QTime(10, 0));
    for (int k = 0; k < reads.size(); ++k) {
        rig.app().setBusy(k == 0 && action == "workbook busy during the first read");
        rig.serial.readAt = first.addMSecs(1001 * k);
        rig.globals.emulatorActive = action == "emulator";
        (rig.globals.emulatorActive ? rig.globals.emulatorOutput : rig.serial.arrived) = reads[k];
        rig.receive.pump();
    }
    QTEST(rig.cells(), "cells");
}

QTEST_GUILESS_MAIN(CaptureTest)
#include "tst_capture.moc"
