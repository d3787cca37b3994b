#include "capture.h"
#include "fakefolders.h"
#include "fakeserial.h"
#include "filecontent.h"
#include "memoryspreadsheet.h"
#include "recordingcaptureview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kRenameDialog = u"Please rename this workbook|Excel workbook,*.xls|"_s;
// What the window is told as a start opens the office, the port, and the capture runs.
const QString kOpening = u"lamp Excel yellow, status Opening MS Excel Spreadsheet"_s;
const QString kOpeningPort =
    kOpening + ", lamp Excel green, status , lamp ComPort yellow, status Opening COM port";
const QString kStarted =
    kOpeningPort + ", lamp ComPort green, status Ready, button Start off, button Stop on, button "
                   "Pause on, front Pause, button Resume off, button ComPorts off";

// Everything a capture touches, in temporary folders and in memory.
struct Rig {
    Rig() {
        folders.answer = documents.path();
        memory.startup = startup.path();
        writeFile(master(), "master workbook");
    }

    QString master() const { return program.filePath(u"spreadsheet.xls"_s); }
    QString workingCopy() const { return documents.filePath(u"spreadsheet.xls"_s); }
    QString personal() const { return startup.filePath(u"Personal.xls"_s); }
    MemorySpreadsheet& app() { return *memory.last(); }
    QString shown() const { return view.events.join(u", "_s); }
    bool started() { // forgets what the start showed
        const bool ok = capture.CaptureStart();
        view.events.clear();
        return ok;
    }
    bool released() const { // the spreadsheet runs no more
        return !globals.excelApp && globals.captureBook == 0 && !memory.last();
    }

    QTemporaryDir documents, program, startup;
    modGlobals globals;
    FakeSerial serial;
    MemorySpreadsheetFactory memory;
    RecordingCaptureView view;
    FakeFolders folders;
    modShell shell{folders, view};
    Capture capture{globals, serial, memory, shell, view, program.path()};
};

} // namespace

class CaptureTest : public QObject {
    Q_OBJECT

private slots:
    void start_data() {
        // What is wrong or there before; what the window is told; the workbooks open (0: the
        // start fails).
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("shows");
        QTest::addColumn<int>("books");
        const auto add = [](const char* name, const char* setup, const QString& shows, int books) {
            QTest::newRow(name) << QString::fromLatin1(setup) << shows << books;
        };
        const QString excelFails = kOpening + ", status %1, lamp Excel red";
        const QString noFolder =
            u"We do not remember the path to the master copy of our workbook."_s;
        add("all well", "", kStarted, 1);
        add("working copy reused, never overwritten", "earlier copy", kStarted, 1);
        add("personal macros loaded", "personal", kStarted, 2);
        add("personal macros, activation refused", "personal, activation refused", kStarted, 2);
        add("personal macros, start-up folder unknown", "personal, unknown", kStarted, 1);
        add("personal macros not loadable", "personal unloadable",
            kStarted + ", lamp Excel yellow, status Your personal macros were NOT loaded.", 1);
        add("folder missing", "folder missing", excelFails.arg(noFolder), 0);
        add("folder lookup error", "folder error",
            kOpening +
                ", message Failure in modShell:GetFolderPath|Error code: -2147024809 "
                "returned for CSIDL value: 5, status " +
                noFolder + ", lamp Excel red",
            0);
        add("no master", "no master",
            excelFails.arg(
                "We cannot make a copy of the master workbook; it may have been deleted."),
            0);
        add("no spreadsheet", "no spreadsheet",
            excelFails.arg("We cannot start MS Excel; it may not be loaded on this computer."), 0);
        add("workbook will not open", "unopenable", excelFails.arg("Excel cannot open workbook"),
            0);
        add("port not available", "no port",
            kOpeningPort + ", status COM port not available, lamp ComPort red", 0);
        add("line setting to blame", "bad line setting",
            kOpeningPort + ", status COM port not available: COM1Settings \"115200,q,8,1\" is "
                           "not a line setting, lamp ComPort red",
            0);
    }

    void start() {
        QFETCH(QString, setup);
        QFETCH(QString, shows);
        QFETCH(int, books);
        Rig rig;
        rig.globals.blockColumn = 7;
        if (setup == "earlier copy")
            QVERIFY(writeFile(rig.workingCopy(), "earlier capture"));
        if (setup.startsWith("personal"))
            QVERIFY(writeFile(rig.personal(), "personal macros"));
        if (setup.endsWith("unloadable"))
            rig.memory.unloadable.insert(rig.personal());
        rig.memory.failStartupPath = setup.endsWith("unknown");
        rig.memory.refuseActivate = setup.endsWith("refused");
        rig.folders.code = setup == "folder missing" ? FolderCode::Missing
                           : setup == "folder error" ? FolderCode::InvalidArgument
                                                     : FolderCode::Ok;
        if (setup == "no master")
            QVERIFY(QFile::remove(rig.master()));
        rig.memory.failCreate = setup == "no spreadsheet";
        if (setup == "unopenable")
            rig.memory.unloadable.insert(rig.workingCopy());
        rig.serial.devicepresent = setup != "no port";
        if (setup == "bad line setting")
            rig.serial.badSettings = u"COM1Settings \"115200,q,8,1\" is not a line setting"_s;

        QCOMPARE(rig.capture.CaptureStart(), books > 0);
        QCOMPARE(rig.shown(), shows);
        QCOMPARE(rig.globals.blockColumn, qint16(1));
        QCOMPARE(rig.serial.portOpen(), books > 0);
        QCOMPARE(rig.released(), books == 0);
        if (books == 0)
            return;
        // Cell writes go to the working copy, shown; an earlier one is never overwritten.
        QCOMPARE(readFile(rig.workingCopy()),
                 QByteArray(setup == "earlier copy" ? "earlier capture" : "master workbook"));
        QVERIFY(rig.app().isVisible() && rig.app().activeWorkbook() == rig.globals.captureBook);
        QCOMPARE(rig.app().workbook(rig.globals.captureBook).path, rig.workingCopy());
        QCOMPARE(rig.app().workbooks().value.size(), books);
    }

    void stopThenStartAgain() {
        Rig rig;
        QVERIFY(rig.started());
        rig.globals.blockColumn = 4;
        rig.view.frameColour = 0xECE9D8;
        rig.capture.CaptureStop();
        QCOMPARE(rig.shown(), "lamp ComPort #ece9d8, lamp Excel #ece9d8, status , button Start on, "
                              "button Stop off, button Pause off, front Pause, button Resume off, "
                              "button ComPorts on");
        QVERIFY(!rig.serial.portOpen() && rig.released());

        rig.view.events.clear();
        QVERIFY(rig.capture.CaptureStart());
        QCOMPARE(rig.shown(), kStarted);
        QCOMPARE(rig.globals.blockColumn, qint16(1));
        QCOMPARE(rig.memory.created(), 2);
        QVERIFY(rig.serial.portOpen());
    }

    void stop_data() {
        // Steps while the capture runs ("macro" ticks the macro, "in" makes macros, "answer" is
        // the new name, Cancel otherwise); what the stop gives: the macros tried, the question,
        // the files saved and the status text.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("gives");
        const auto add = [](const char* name, const QString& steps, const QString& gives) {
            QTest::newRow(name) << steps << gives;
        };
        const QString both = u"in spreadsheet.xls!Tidy Personal.xls!Tidy"_s;
        const QString failed = u"status User macro did NOT run."_s;
        const QString tried = u"ran spreadsheet.xls!Tidy, Personal.xls!Tidy"_s;
        add("empty macro name, no data: no question", "macro, " + both, "");
        add("macro not ticked", "unticked Tidy, " + both, "");
        add("capture workbook first", "macro Tidy, " + both, "ran spreadsheet.xls!Tidy; asked");
        add("then the personal workbook", "macro Tidy, in Personal.xls!Tidy", tried + "; asked");
        add("macro nowhere", "macro Tidy", tried + "; " + failed);
        add("qualified", "macro Personal.xls!Tidy, " + both, "ran Personal.xls!Tidy; asked");
        add("qualified, not searched further", "macro Book1.xls!Tidy, " + both,
            "ran Book1.xls!Tidy; " + failed);
        add("leading bang is part of the name", "macro !Tidy, in Personal.xls!!Tidy",
            "ran spreadsheet.xls!!Tidy, Personal.xls!!Tidy; asked");
        add("saved under the chosen name", "data, answer run 12.xls",
            "asked; file run 12.xls with the data");
        add("rename cancelled", "data", u"asked"_s);
        add("name compared in lower case", "data, book SpreadSheet.XLS, answer run 12.xls",
            "asked; file run 12.xls with the data");
        add("renamed by the user during the capture", "data, book my run.xls, answer run 12.xls",
            QString());
        add("capture workbook closed", "data, book closed, answer run 12.xls", QString());
        add("save fails", "data, answer run 12.xls, save fails",
            "asked; status The workbook was NOT saved.");
        add("recovery copy named", "data, recovery, macro Missing",
            "ran spreadsheet.xls!Missing, Personal.xls!Missing; asked; file recovered/"
            "spreadsheet (recovered).xls with the data; " +
                failed + " Unsaved data kept in recovered/spreadsheet (recovered).xls");
        add("macro not answered: the stop goes on",
            "data, macro Tidy, in spreadsheet.xls!Tidy, hold run",
            "ran spreadsheet.xls!Tidy; " + failed);
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
        QVERIFY(writeFile(rig.personal(), "personal macros"));
        QVERIFY(rig.started());
        for (const QString& step : steps.split(u", "_s, Qt::SkipEmptyParts)) {
            const QString rest = step.section(u' ', 1);
            if (step == "data") {
                QVERIFY(rig.globals.excelApp->setCell(1, 1, u"12"_s).ok());
            } else if (step.startsWith("macro") || step.startsWith("unticked ")) {
                rig.globals.macroEnabled = step.startsWith("macro");
                rig.globals.macroName = rest;
            } else if (step.startsWith("in ")) {
                for (const QString& macro : rest.split(u' '))
                    rig.memory.macros.insert(macro, [](MemorySpreadsheet& app) {
                        return app.setCell(1, 5, u"tidied"_s).ok();
                    });
            } else if (step == "book closed") {
                rig.app().closeWorkbook(rig.globals.captureBook);
            } else if (step.startsWith("book ")) {
                rig.app().workbook(rig.globals.captureBook).path = rig.documents.filePath(rest);
            } else if (step.startsWith("answer ")) {
                rig.memory.saveAsAnswer = rig.documents.filePath(rest);
            } else if (step == "recovery") {
                rig.memory.recoveryFolder = rig.documents.filePath(u"recovered"_s);
            } else if (step == "save fails") {
                rig.memory.failSaveAs = true;
            } else if (step.startsWith("hold ")) {
                rig.app().holdNext(rest);
            } else if (step == "stuck") {
                rig.app().stuck = true;
            } else {
                QCOMPARE(step, u"all gone"_s);
                rig.app().closeApplication();
                rig.serial.loseDevice();
            }
        }
        rig.capture.CaptureStop();

        QStringList seen;
        if (!rig.memory.macroRuns.isEmpty())
            seen << "ran " + rig.memory.macroRuns.join(u", "_s);
        for (const QString& dialog : rig.memory.dialogs)
            seen << (dialog == kRenameDialog ? u"asked"_s : dialog);
        const QDir documents(rig.documents.path());
        for (const auto& [path, book] : rig.memory.files.asKeyValueRange())
            seen << "file " + documents.relativeFilePath(path) +
                        (book.sheets[0].count({1, 1}) ? " with the data" : " without the data");
        if (!rig.view.status.isEmpty())
            seen << "status " + QString(rig.view.status)
                                    .remove(QDir::toNativeSeparators(documents.path() + '/'));
        QCOMPARE(seen.join(u"; "_s), gives);
        QVERIFY(rig.released());
    }

    void documentsFolder_data() {
        QTest::addColumn<QString>("setting"); // the desktop's documents folder, in a new home
        QTest::addColumn<QString>("found");   // empty: missing
        QTest::newRow("missing: made") << "new account/Papers" << u"new account/Papers"_s;
        QTest::newRow("trailing separator dropped") << "Docs/" << u"Docs"_s;
        QTest::newRow("cannot be made") << "plain file/Documents" << QString();
    }

    void documentsFolder() {
        QFETCH(QString, setting);
        QFETCH(QString, found);

        QTemporaryDir home;
        QVERIFY(writeFile(home.filePath(u"plain file"_s), ""));
        QVERIFY(writeFile(home.filePath(u"user-dirs.dirs"_s),
                          "XDG_DOCUMENTS_DIR=\"" + home.filePath(setting).toUtf8() + "\"\n"));
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());

        SystemFolderQuery system;
        RecordingCaptureView view;
        modShell shell(system, view);
        QString path = u"kept"_s;
        QCOMPARE(shell.GetFolderPath(Csidl::Personal, path), !found.isEmpty());
        QCOMPARE(path, found.isEmpty() ? u"kept"_s : home.filePath(found));
        QCOMPARE(QFileInfo(path).isDir(), !found.isEmpty());
        QVERIFY(view.events.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CaptureTest)
#include "tst_capture.moc"
