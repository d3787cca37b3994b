#include "capture.h"
#include "fakefolders.h"
#include "fakeserial.h"
#include "memoryspreadsheet.h"
#include "recordingcaptureview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

const QString kRenameDialog = QStringLiteral("Please rename this workbook|Excel workbook,*.xls|");
const QString kMacroFailed = QStringLiteral("User macro did NOT run.");

// Everything a capture touches: temporary documents, program and start-up folders, the
// in-memory spreadsheet and serial port, and a window that records.
struct Rig {
    Rig() {
        folders.answer = documents.path();
        memory.startup = startup.path();
        writeFile(master(), "master workbook");
    }

    QString master() const { return program.filePath(QStringLiteral("spreadsheet.xls")); }
    QString workingCopy() const { return documents.filePath(QStringLiteral("spreadsheet.xls")); }
    QString personal() const { return startup.filePath(QStringLiteral("Personal.xls")); }
    MemorySpreadsheet& app() { return *memory.last(); }
    // Starts a capture and forgets what the start showed.
    bool started() {
        const bool ok = capture.CaptureStart();
        view.events.clear();
        return ok;
    }
    bool writeSomething() { return globals.excelApp->setCell(1, 1, QStringLiteral("12")).ok(); }
    // The capture let go of its spreadsheet, which runs no more.
    bool released() const {
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

enum class Breakage { FolderMissing, FolderError, NoMaster, NoSpreadsheet, Unopenable, NoPort };

} // namespace

class CaptureTest : public QObject {
    Q_OBJECT

private slots:
    void startShowsEachStage();
    void startFailures_data();
    void startFailures();
    void personalMacros_data();
    void personalMacros();
    void workingCopyNeverOverwritten();
    void secondStartAfterStop();

    void stopShowsTheIdleWindow();
    void macroSearch_data();
    void macroSearch();
    void saving_data();
    void saving();
    void recoveryCopyNamed();
    void everythingGoneBeforeStop();

    void documentsFolder_data();
    void documentsFolder();
};

void CaptureTest::startShowsEachStage() {
    Rig rig;
    rig.globals.blockColumn = 7;
    QVERIFY(rig.capture.CaptureStart());
    QCOMPARE(rig.view.events,
             (QStringList{"lamp Excel yellow", "status Opening MS Excel Spreadsheet",
                          "lamp Excel green", "status ", "lamp ComPort yellow",
                          "status Opening COM port", "lamp ComPort green", "status Ready",
                          "button Start off", "button Stop on", "button Pause on", "front Pause",
                          "button Resume off", "button ComPorts off"}));
    QCOMPARE(rig.globals.blockColumn, qint16(1));
    QVERIFY(rig.serial.portOpen());
    QVERIFY(rig.app().isVisible());
    QCOMPARE(rig.app().workbook(rig.globals.captureBook).path, rig.workingCopy());
    QCOMPARE(readFile(rig.workingCopy()), QByteArray("master workbook"));
}

void CaptureTest::startFailures_data() {
    QTest::addColumn<Breakage>("breakage");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("lamps"); // Excel, COM port
    QTest::addColumn<QString>("box");   // the one message box of the folder lookup; empty: none
    QTest::addColumn<bool>("copied");   // the working copy was made

    const char* noFolder = "We do not remember the path to the master copy of our workbook.";
    const char* none = "";
    QTest::newRow("F1 folder missing")
        << Breakage::FolderMissing << noFolder << "red grey" << none << false;
    QTest::newRow("F1 lookup error")
        << Breakage::FolderError << noFolder << "red grey"
        << "Failure in modShell:GetFolderPath|Error code: -2147024809 returned for CSIDL value: 5"
        << false;
    QTest::newRow("F2 no master")
        << Breakage::NoMaster
        << "We cannot make a copy of the master workbook; it may have been deleted."
        << "red grey" << none << false;
    QTest::newRow("F3 no spreadsheet")
        << Breakage::NoSpreadsheet
        << "We cannot start MS Excel; it may not be loaded on this computer."
        << "red grey" << none << true;
    QTest::newRow("F4 workbook will not open")
        << Breakage::Unopenable << "Excel cannot open workbook"
        << "red grey" << none << true;
    QTest::newRow("F5 port not available") << Breakage::NoPort << "COM port not available"
                                           << "green red" << none << true;
}

void CaptureTest::startFailures() {
    QFETCH(Breakage, breakage);
    QFETCH(QString, status);
    QFETCH(QString, lamps);
    QFETCH(QString, box);
    QFETCH(bool, copied);

    Rig rig;
    rig.globals.blockColumn = 3;
    if (breakage == Breakage::FolderMissing || breakage == Breakage::FolderError)
        rig.folders.code =
            breakage == Breakage::FolderMissing ? FolderCode::Missing : FolderCode::InvalidArgument;
    if (breakage == Breakage::NoMaster)
        QVERIFY(QFile::remove(rig.master()));
    rig.memory.failCreate = breakage == Breakage::NoSpreadsheet;
    if (breakage == Breakage::Unopenable)
        rig.memory.unloadable.insert(rig.workingCopy());
    rig.serial.devicepresent = breakage != Breakage::NoPort;

    QVERIFY(!rig.capture.CaptureStart());
    // The sentence first, then the failing part's lamp turns red.
    const QString failing = lamps.startsWith("red") ? "Excel" : "ComPort";
    QCOMPARE(rig.view.events.mid(rig.view.events.size() - 2),
             (QStringList{"status " + status, "lamp " + failing + " red"}));
    QCOMPARE(rig.view.colourName(rig.view.excelLamp) + ' ' + rig.view.colourName(rig.view.comLamp),
             lamps);
    QCOMPARE(rig.view.events.filter("message "),
             box.isEmpty() ? QStringList() : QStringList{"message " + box});
    // Nothing left running, the buttons untouched.
    QVERIFY(rig.released());
    QVERIFY(!rig.serial.portOpen());
    QVERIFY(rig.view.events.filter("button ").isEmpty());
    QCOMPARE(rig.globals.blockColumn, qint16(1));
    QCOMPARE(readFile(rig.workingCopy()), copied ? QByteArray("master workbook") : QByteArray());
}

void CaptureTest::personalMacros_data() {
    QTest::addColumn<QString>("personal"); // the personal macro workbook in the start-up folder
    QTest::addColumn<int>("openBooks");
    QTest::addColumn<QString>("status");
    QTest::addColumn<quint32>("excelLamp");

    QTest::newRow("absent") << "absent" << 1 << "Ready" << LampColour::Green;
    QTest::newRow("start-up folder unknown") << "no start-up" << 1 << "Ready" << LampColour::Green;
    QTest::newRow("loaded") << "loadable" << 2 << "Ready" << LampColour::Green;
    QTest::newRow("not loadable") << "unloadable" << 1 << "Your personal macros were NOT loaded."
                                  << LampColour::Yellow;
}

void CaptureTest::personalMacros() {
    QFETCH(QString, personal);
    QFETCH(int, openBooks);
    QFETCH(QString, status);
    QFETCH(quint32, excelLamp);

    Rig rig;
    if (personal != "absent")
        QVERIFY(writeFile(rig.personal(), "personal macros"));
    if (personal == "unloadable")
        rig.memory.unloadable.insert(rig.personal());
    rig.memory.failStartupPath = personal == "no start-up";

    QVERIFY(rig.capture.CaptureStart());
    QCOMPARE(rig.view.status, status);
    QCOMPARE(rig.view.excelLamp, excelLamp);
    QCOMPARE(rig.view.comLamp, LampColour::Green);
    QVERIFY(rig.serial.portOpen());
    QCOMPARE(rig.app().workbooks().value.size(), openBooks);
    // Cell writes go to the active workbook: the capture workbook, whatever was loaded after it.
    QCOMPARE(rig.app().activeWorkbook(), rig.globals.captureBook);
}

void CaptureTest::workingCopyNeverOverwritten() {
    Rig rig;
    QVERIFY(writeFile(rig.workingCopy(), "data of an earlier capture"));
    QVERIFY(rig.capture.CaptureStart());
    QCOMPARE(rig.app().workbook(rig.globals.captureBook).path, rig.workingCopy());
    QCOMPARE(readFile(rig.workingCopy()), QByteArray("data of an earlier capture"));
}

void CaptureTest::secondStartAfterStop() {
    Rig rig;
    QVERIFY(rig.capture.CaptureStart());
    const QStringList firstStart = rig.view.events;
    rig.globals.blockColumn = 4; // the receive path moved on
    rig.capture.CaptureStop();
    rig.view.events.clear();

    QVERIFY(rig.capture.CaptureStart());
    QCOMPARE(rig.view.events, firstStart);
    QCOMPARE(rig.globals.blockColumn, qint16(1));
    QCOMPARE(rig.memory.created(), 2);
    QVERIFY(rig.serial.portOpen());
    QCOMPARE(rig.app().workbook(rig.globals.captureBook).path, rig.workingCopy());
}

void CaptureTest::stopShowsTheIdleWindow() {
    Rig rig;
    QVERIFY(rig.started());
    rig.view.frameColour = 0xECE9D8;
    rig.capture.CaptureStop();
    QCOMPARE(rig.view.events,
             (QStringList{"lamp ComPort #ece9d8", "lamp Excel #ece9d8", "status ",
                          "button Start on", "button Stop off", "button Pause off", "front Pause",
                          "button Resume off", "button ComPorts on"}));
    QVERIFY(rig.memory.dialogs.isEmpty()); // nothing written: no question
    QVERIFY(!rig.serial.portOpen());
    QVERIFY(rig.released());
}

void CaptureTest::macroSearch_data() {
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("present"); // the macros there are, by qualified name
    QTest::addColumn<QStringList>("runs");    // what the stop tried, in order
    QTest::addColumn<bool>("failed");

    const QString inCapture = QStringLiteral("spreadsheet.xls!Tidy");
    const QString inPersonal = QStringLiteral("Personal.xls!Tidy");
    const QStringList both{inCapture, inPersonal};
    QTest::newRow("enabled, empty name") << true << "" << both << QStringList() << false;
    QTest::newRow("disabled") << false << "Tidy" << both << QStringList() << false;
    QTest::newRow("capture workbook first")
        << true << "Tidy" << both << QStringList{inCapture} << false;
    QTest::newRow("then the personal workbook")
        << true << "Tidy" << QStringList{inPersonal} << both << false;
    QTest::newRow("nowhere") << true << "Tidy" << QStringList() << both << true;
    QTest::newRow("qualified") << true << inPersonal << both << QStringList{inPersonal} << false;
    QTest::newRow("qualified, not searched further")
        << true << "Book1.xls!Tidy" << both << QStringList{"Book1.xls!Tidy"} << true;
    QTest::newRow("leading bang is part of the name")
        << true << "!Tidy" << QStringList{"Personal.xls!!Tidy"}
        << QStringList{"spreadsheet.xls!!Tidy", "Personal.xls!!Tidy"} << false;
}

void CaptureTest::macroSearch() {
    QFETCH(bool, enabled);
    QFETCH(QString, name);
    QFETCH(QStringList, present);
    QFETCH(QStringList, runs);
    QFETCH(bool, failed);

    Rig rig;
    QVERIFY(writeFile(rig.personal(), "personal macros"));
    for (const QString& macro : present)
        rig.memory.macros.insert(macro, [](MemorySpreadsheet& app) {
            return app.setCell(1, 5, QStringLiteral("tidied")).ok();
        });
    QVERIFY(rig.started());
    // The choice made while the capture ran is the one used.
    rig.globals.macroEnabled = enabled;
    rig.globals.macroName = name;
    rig.capture.CaptureStop();

    QCOMPARE(rig.memory.macroRuns, runs);
    QCOMPARE(rig.view.status, failed ? kMacroFailed : QString());
    // The macro that ran changed the workbook: that brings the rename question.
    const bool ran = !runs.isEmpty() && !failed;
    QCOMPARE(rig.memory.dialogs, ran ? QStringList{kRenameDialog} : QStringList());
    QVERIFY(rig.released());
}

void CaptureTest::saving_data() {
    QTest::addColumn<QString>("bookName"); // the workbook's name at the stop; empty: closed
    QTest::addColumn<QString>("answer");   // to the rename question
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("status"); // not empty: the save fails

    const QString name = QStringLiteral("spreadsheet.xls");
    QTest::newRow("saved under the chosen name") << name << "run 12.xls" << true << true << "";
    QTest::newRow("rename cancelled") << name << "False" << true << false << "";
    QTest::newRow("name compared in lower case") << "SpreadSheet.XLS"
                                                 << "run 12.xls" << true << true << "";
    QTest::newRow("renamed by the user during the capture") << "my run.xls"
                                                            << "run 12.xls" << false << false << "";
    QTest::newRow("capture workbook closed") << ""
                                             << "run 12.xls" << false << false << "";
    QTest::newRow("save fails") << name << "run 12.xls" << true << false
                                << "The workbook was NOT saved.";
}

void CaptureTest::saving() {
    QFETCH(QString, bookName);
    QFETCH(QString, answer);
    QFETCH(bool, asked);
    QFETCH(bool, saved);
    QFETCH(QString, status);

    Rig rig;
    QVERIFY(rig.started());
    QVERIFY(rig.writeSomething());
    if (bookName.isEmpty())
        rig.app().closeWorkbook(rig.globals.captureBook);
    else
        rig.app().workbook(rig.globals.captureBook).path = rig.documents.filePath(bookName);
    const QString chosen = rig.documents.filePath(answer);
    rig.memory.saveAsAnswer = answer == "False" ? answer : chosen;
    rig.memory.failSaveAs = !status.isEmpty();
    rig.capture.CaptureStop();

    QCOMPARE(rig.memory.dialogs, asked ? QStringList{kRenameDialog} : QStringList());
    QCOMPARE(rig.memory.files.keys(), saved ? QStringList{chosen} : QStringList());
    if (saved)
        QCOMPARE(rig.memory.files.value(chosen).sheets[0].at({1, 1}), CellValue(12.0));
    QCOMPARE(rig.view.status, status);
    QVERIFY(rig.released());
}

void CaptureTest::recoveryCopyNamed() {
    Rig rig;
    // With nobody to ask, the spreadsheet keeps unsaved data itself when it quits.
    rig.memory.recoveryFolder = rig.documents.filePath(QStringLiteral("recovered"));
    QVERIFY(rig.started());
    QVERIFY(rig.writeSomething());
    rig.globals.macroEnabled = true;
    rig.globals.macroName = QStringLiteral("Missing");
    rig.capture.CaptureStop(); // the rename is cancelled

    const QString kept = rig.memory.recoveryFolder + "/spreadsheet (recovered).xls";
    QVERIFY(rig.memory.files.contains(kept));
    QCOMPARE(rig.view.events.last(),
             "status " + kMacroFailed + " Unsaved data kept in " + QDir::toNativeSeparators(kept));
}

void CaptureTest::everythingGoneBeforeStop() {
    Rig rig;
    QVERIFY(rig.started());
    QVERIFY(rig.writeSomething());
    rig.app().closeApplication();
    rig.serial.loseDevice();
    rig.globals.macroEnabled = true;
    rig.globals.macroName = QStringLiteral("Tidy");
    rig.capture.CaptureStop();

    QVERIFY(rig.memory.macroRuns.isEmpty());
    QVERIFY(rig.memory.dialogs.isEmpty());
    QCOMPARE(rig.view.status, kMacroFailed);
    QVERIFY(rig.view.events.contains("button Start on"));
    QVERIFY(rig.view.events.contains("button ComPorts on"));
    QVERIFY(rig.released());
}

void CaptureTest::documentsFolder_data() {
    QTest::addColumn<QString>("setting"); // the desktop's documents folder, in a new home
    QTest::addColumn<QString>("found");   // empty: missing

    QTest::newRow("missing: made") << "new account/Papers"
                                   << "new account/Papers";
    QTest::newRow("trailing separator dropped") << "Docs/"
                                                << "Docs";
    QTest::newRow("cannot be made") << "plain file/Documents"
                                    << "";
}

void CaptureTest::documentsFolder() {
    QFETCH(QString, setting);
    QFETCH(QString, found);

    QTemporaryDir home;
    QVERIFY(writeFile(home.filePath(QStringLiteral("plain file")), ""));
    QVERIFY(writeFile(home.filePath(QStringLiteral("user-dirs.dirs")),
                      "XDG_DOCUMENTS_DIR=\"" + home.filePath(setting).toUtf8() + "\"\n"));
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());

    SystemFolderQuery system;
    RecordingCaptureView view;
    modShell shell(system, view);
    QString path = QStringLiteral("kept");
    QCOMPARE(shell.GetFolderPath(Csidl::Personal, path), !found.isEmpty());
    QCOMPARE(path, found.isEmpty() ? QStringLiteral("kept") : home.filePath(found));
    QCOMPARE(QFileInfo(path).isDir(), !found.isEmpty());
    QVERIFY(view.events.isEmpty());
}

QTEST_GUILESS_MAIN(CaptureTest)
#include "tst_capture.moc"
