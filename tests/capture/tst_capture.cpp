#include "appsettings.h"
#include "capture.h"
#include "fakefolders.h"
#include "fakeserial.h"
#include "filecontent.h"
#include "memoryspreadsheet.h"
#include "offthread.h"
#include "recordingcaptureview.h"
#include "settings.h"
#include "spreadsheetcontract.h"
#include "unwrittentext.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

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

class CaptureTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;

private slots:
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

QTEST_GUILESS_MAIN(CaptureTest)
#include "tst_capture.moc"
