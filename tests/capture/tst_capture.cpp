#include "capture.h"
#include "fakefolders.h"
#include "fakeserial.h"
#include "fixedclock.h"
#include "memoryspreadsheet.h"
#include "observedspreadsheet.h"
#include "receivepath.h"
#include "recordingcaptureview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// The documents folder as the platform reports it.
QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

const QString kRenameDialog = QStringLiteral("Please rename this workbook|Excel workbook,*.xls|");

// Everything a capture touches: temporary documents, program and start-up folders, the
// in-memory spreadsheet, a serial port in memory and a window that records.
struct Rig {
    Rig() {
        folders.answer = documents.path();
        memory.startup = startup.path();
        writeFile(master(), "master workbook");
    }

    QString master() const { return program.filePath(QStringLiteral("spreadsheet.xls")); }
    QString workingCopy() const { return documents.filePath(QStringLiteral("spreadsheet.xls")); }
    QString personal() const { return startup.filePath(QStringLiteral("Personal.xls")); }
    void addPersonalMacros() { writeFile(personal(), "personal macros"); }
    MemorySpreadsheet& app() { return *memory.last(); }
    // Starts a capture and forgets what the start showed.
    void started() {
        QVERIFY(capture.CaptureStart());
        view.events.clear();
    }
    // Data written during the capture.
    void writeSomething() { QVERIFY(globals.excelApp->setCell(1, 1, QStringLiteral("12")).ok()); }

    QTemporaryDir documents;
    QTemporaryDir program;
    QTemporaryDir startup;
    modGlobals globals;
    FakeSerial serial;
    MemorySpreadsheetFactory memory;
    RecordingCaptureView view;
    ObservedFactory factory{memory, view.events};
    FakeFolders folders;
    modShell shell{folders, view};
    Capture capture{globals, serial, factory, shell, view, program.path()};
};

enum class Breakage { FolderMissing, FolderError, NoMaster, NoSpreadsheet, Unopenable, NoPort };

} // namespace

class CaptureTest : public QObject {
    Q_OBJECT

private slots:
    void startShowsEachStageAndReadiesTheWindow();
    void startFailures_data();
    void startFailures();
    void personalMacros_data();
    void personalMacros();
    void personalMacrosLoadedCellsGoToTheCaptureWorkbook();
    void workingCopyReusedUnchanged();
    void workingCopyOfReadOnlyMasterTakesSaves();
    void secondStartAfterStop();

    void stopResetsTheWindowAndQuits();
    void stopReadsTheFrameColourAtThatMoment();
    void macroSearch_data();
    void macroSearch();
    void macroChangingTheWorkbookBringsTheQuestion();
    void saving_data();
    void saving();
    void failedSaveIsShown();
    void spreadsheetGoneBeforeStop();
    void recoveryCopyNamed();
    void portAlreadyClosedAtStop();
};

void CaptureTest::startShowsEachStageAndReadiesTheWindow() {
    Rig rig;
    rig.globals.blockColumn = 7;
    QVERIFY(rig.capture.CaptureStart());

    QCOMPARE(rig.view.events, (QStringList{
                                  "lamp Excel yellow",
                                  "status Opening MS Excel Spreadsheet",
                                  "lamp Excel green",
                                  "status ",
                                  "lamp ComPort yellow",
                                  "status Opening COM port",
                                  "lamp ComPort green",
                                  "status Ready",
                                  "button Start off",
                                  "button Stop on",
                                  "button Pause on",
                                  "front Pause",
                                  "button Resume off",
                                  "button ComPorts off",
                              }));
    QCOMPARE(rig.globals.blockColumn, qint16(1));
    QVERIFY(rig.serial.portOpen());
    QCOMPARE(readFile(rig.workingCopy()), QByteArray("master workbook"));
    QVERIFY(rig.globals.excelApp);
    QVERIFY(rig.app().isVisible());
    QCOMPARE(rig.app().workbook(rig.globals.captureBook).path, rig.workingCopy());
    QCOMPARE(rig.app().activeWorkbook(), rig.globals.captureBook);
}

void CaptureTest::startFailures_data() {
    QTest::addColumn<Breakage>("breakage");
    QTest::addColumn<QString>("status");
    QTest::addColumn<quint32>("excelLamp");
    QTest::addColumn<quint32>("comLamp");
    QTest::addColumn<int>("messages");
    QTest::addColumn<int>("started");        // spreadsheet applications created
    QTest::addColumn<QStringList>("ending"); // the last things the user sees, in order

    const QString noFolder =
        QStringLiteral("We do not remember the path to the master copy of our workbook.");
    const QStringList folderEnd{"status " + noFolder, "lamp Excel red"};
    QTest::newRow("F1 folder does not exist")
        << Breakage::FolderMissing << noFolder << LampColour::Red << LampColour::Grey << 0 << 0
        << folderEnd;
    QTest::newRow("F1 lookup error")
        << Breakage::FolderError << noFolder << LampColour::Red << LampColour::Grey << 1 << 0
        << QStringList{"message Failure in modShell:GetFolderPath|Error code: -5 returned for "
                       "CSIDL value: 5",
                       "status " + noFolder, "lamp Excel red"};

    const QString noCopy =
        QStringLiteral("We cannot make a copy of the master workbook; it may have been deleted.");
    QTest::newRow("F2 no master") << Breakage::NoMaster << noCopy << LampColour::Red
                                  << LampColour::Grey << 0 << 0
                                  << QStringList{"status " + noCopy, "lamp Excel red"};

    const QString noApp =
        QStringLiteral("We cannot start MS Excel; it may not be loaded on this computer.");
    QTest::newRow("F3 no spreadsheet")
        << Breakage::NoSpreadsheet << noApp << LampColour::Red << LampColour::Grey << 0 << 0
        << QStringList{"status " + noApp, "lamp Excel red"};

    const QString noBook = QStringLiteral("Excel cannot open workbook");
    QTest::newRow("F4 workbook will not open")
        << Breakage::Unopenable << noBook << LampColour::Red << LampColour::Grey << 0 << 1
        << QStringList{"spreadsheet quit", "status " + noBook, "lamp Excel red"};

    const QString noPort = QStringLiteral("COM port not available");
    QTest::newRow("F5 port not available")
        << Breakage::NoPort << noPort << LampColour::Green << LampColour::Red << 0 << 1
        << QStringList{"lamp Excel green",        "status ",          "lamp ComPort yellow",
                       "status Opening COM port", "status " + noPort, "lamp ComPort red",
                       "spreadsheet quit"};
}

void CaptureTest::startFailures() {
    QFETCH(Breakage, breakage);
    QFETCH(QString, status);
    QFETCH(quint32, excelLamp);
    QFETCH(quint32, comLamp);
    QFETCH(int, messages);
    QFETCH(int, started);
    QFETCH(QStringList, ending);

    Rig rig;
    rig.globals.blockColumn = 3;
    switch (breakage) {
    case Breakage::FolderMissing:
        rig.folders.code = FolderCode::Missing;
        break;
    case Breakage::FolderError:
        rig.folders.code = -5;
        break;
    case Breakage::NoMaster:
        QVERIFY(QFile::remove(rig.master()));
        break;
    case Breakage::NoSpreadsheet:
        rig.memory.failCreate = true;
        break;
    case Breakage::Unopenable:
        rig.memory.unloadable.insert(rig.workingCopy());
        break;
    case Breakage::NoPort:
        rig.serial.devicepresent = false;
        break;
    }

    QVERIFY(!rig.capture.CaptureStart());

    QCOMPARE(rig.view.status, status);
    QCOMPARE(rig.view.excelLamp, excelLamp);
    QCOMPARE(rig.view.comLamp, comLamp);
    QCOMPARE(rig.view.messages().size(), messages);
    QCOMPARE(rig.view.events.mid(rig.view.events.size() - ending.size()), ending);
    QCOMPARE(rig.view.events.first(), QStringLiteral("lamp Excel yellow"));
    // Nothing left running, the references empty, the buttons untouched.
    QCOMPARE(rig.memory.created(), started);
    QCOMPARE(rig.factory.quits, started);
    QCOMPARE(rig.factory.alive, 0);
    QVERIFY(!rig.globals.excelApp);
    QCOMPARE(rig.globals.captureBook, 0);
    QVERIFY(!rig.serial.portOpen());
    QVERIFY(rig.view.enabledButtons.isEmpty());
    QCOMPARE(rig.globals.blockColumn, qint16(1));
    // The working copy, once made, stays.
    if (started > 0)
        QCOMPARE(readFile(rig.workingCopy()), QByteArray("master workbook"));
    else
        QCOMPARE(QFile::exists(rig.workingCopy()), breakage == Breakage::NoSpreadsheet);
}

void CaptureTest::personalMacros_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<bool>("loadable");
    QTest::addColumn<bool>("startupReadable");
    QTest::addColumn<int>("openBooks");
    QTest::addColumn<QString>("status");
    QTest::addColumn<quint32>("excelLamp");

    const QString ready = QStringLiteral("Ready");
    QTest::newRow("absent") << false << true << true << 1 << ready << LampColour::Green;
    QTest::newRow("start-up folder unreadable")
        << true << true << false << 1 << ready << LampColour::Green;
    QTest::newRow("loaded") << true << true << true << 2 << ready << LampColour::Green;
    QTest::newRow("not loadable") << true << false << true << 1
                                  << QStringLiteral("Your personal macros were NOT loaded.")
                                  << LampColour::Yellow;
}

void CaptureTest::personalMacros() {
    QFETCH(bool, present);
    QFETCH(bool, loadable);
    QFETCH(bool, startupReadable);
    QFETCH(int, openBooks);
    QFETCH(QString, status);
    QFETCH(quint32, excelLamp);

    Rig rig;
    if (present)
        rig.addPersonalMacros();
    if (!loadable)
        rig.memory.unloadable.insert(rig.personal());
    rig.memory.failStartupPath = !startupReadable;

    QVERIFY(rig.capture.CaptureStart());
    QCOMPARE(rig.view.status, status);
    QCOMPARE(rig.view.excelLamp, excelLamp);
    QCOMPARE(rig.view.comLamp, LampColour::Green);
    QCOMPARE(rig.app().workbooks().value.size(), openBooks);
    QCOMPARE(rig.app().activeWorkbook(), rig.globals.captureBook);
    QVERIFY(rig.serial.portOpen());
    QCOMPARE(rig.view.enabledButtons.value(CaptureButton::Stop), true);
}

void CaptureTest::personalMacrosLoadedCellsGoToTheCaptureWorkbook() {
    Rig rig;
    rig.addPersonalMacros();
    QVERIFY(rig.capture.CaptureStart());
    const WorkbookId personal = rig.app().workbooks().value.last();
    QVERIFY(personal != rig.globals.captureBook);

    FixedClock clock;
    ReceivePath receive(rig.globals, rig.serial, rig.view, clock);
    rig.serial.arrived = QStringLiteral("1.5\t2.5\r\n");
    receive.pump();

    QCOMPARE(rig.app().cell(rig.globals.captureBook, 1, 1), std::optional<CellValue>(1.5));
    QCOMPARE(rig.app().cell(rig.globals.captureBook, 1, 2), std::optional<CellValue>(2.5));
    QCOMPARE(rig.app().cellCount(personal), 0);
}

void CaptureTest::workingCopyReusedUnchanged() {
    Rig rig;
    QVERIFY(writeFile(rig.workingCopy(), "data of an earlier capture"));
    const QDateTime modified = QFileInfo(rig.workingCopy()).lastModified();
    QVERIFY(QFile::remove(rig.master())); // not needed at all

    QVERIFY(rig.capture.CaptureStart());
    QCOMPARE(rig.app().workbook(rig.globals.captureBook).path, rig.workingCopy());
    rig.writeSomething();
    rig.capture.CaptureStop(); // the rename is cancelled

    QCOMPARE(readFile(rig.workingCopy()), QByteArray("data of an earlier capture"));
    QCOMPARE(QFileInfo(rig.workingCopy()).lastModified(), modified);
}

void CaptureTest::workingCopyOfReadOnlyMasterTakesSaves() {
    Rig rig;
    QVERIFY(QFile::setPermissions(rig.master(), QFile::ReadOwner | QFile::ReadGroup));
    QVERIFY(rig.capture.CaptureStart());
    QVERIFY(QFileInfo(rig.workingCopy()).permissions().testFlag(QFile::WriteOwner));
    QCOMPARE(readFile(rig.workingCopy()), QByteArray("master workbook"));
}

void CaptureTest::secondStartAfterStop() {
    Rig rig;
    QVERIFY(rig.capture.CaptureStart());
    rig.globals.blockColumn = 4; // the receive path moved on
    rig.capture.CaptureStop();
    QVERIFY(writeFile(rig.master(), "a newer master"));
    rig.view.events.clear();

    QVERIFY(rig.capture.CaptureStart());
    QCOMPARE(rig.globals.blockColumn, qint16(1));
    QCOMPARE(rig.memory.created(), 2);
    QCOMPARE(rig.factory.alive, 1);
    QCOMPARE(rig.view.status, QStringLiteral("Ready"));
    QVERIFY(rig.serial.portOpen());
    QCOMPARE(readFile(rig.workingCopy()), QByteArray("master workbook"));
    QCOMPARE(rig.app().workbook(rig.globals.captureBook).path, rig.workingCopy());
}

void CaptureTest::stopResetsTheWindowAndQuits() {
    Rig rig;
    rig.started();
    rig.view.frameColour = 0xECE9D8;
    rig.capture.CaptureStop();

    QCOMPARE(rig.view.events, (QStringList{
                                  "lamp ComPort #ece9d8",
                                  "lamp Excel #ece9d8",
                                  "status ",
                                  "button Start on",
                                  "button Stop off",
                                  "button Pause off",
                                  "front Pause",
                                  "button Resume off",
                                  "button ComPorts on",
                                  "spreadsheet quit",
                              }));
    QVERIFY(rig.memory.dialogs.isEmpty()); // nothing written: no question
    QVERIFY(!rig.serial.portOpen());
    QVERIFY(!rig.globals.excelApp);
    QCOMPARE(rig.globals.captureBook, 0);
    QCOMPARE(rig.factory.alive, 0);
}

void CaptureTest::stopReadsTheFrameColourAtThatMoment() {
    Rig rig;
    rig.started();
    rig.view.frameColour = 0x123456;
    rig.capture.CaptureStop();
    QCOMPARE(rig.view.comLamp, quint32(0x123456));
    QCOMPARE(rig.view.excelLamp, quint32(0x123456));

    rig.started();
    rig.view.frameColour = 0xF0F0F0; // the desktop's colours changed meanwhile
    rig.capture.CaptureStop();
    QCOMPARE(rig.view.comLamp, quint32(0xF0F0F0));
    QCOMPARE(rig.view.excelLamp, quint32(0xF0F0F0));
}

void CaptureTest::macroSearch_data() {
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("present"); // macros that exist, by qualified name
    QTest::addColumn<QStringList>("runs");
    QTest::addColumn<bool>("message");

    const QString inCapture = QStringLiteral("spreadsheet.xls!Tidy");
    const QString inPersonal = QStringLiteral("Personal.xls!Tidy");
    QTest::newRow("enabled, empty name")
        << true << "" << QStringList{inCapture} << QStringList() << false;
    QTest::newRow("disabled") << false << "Tidy" << QStringList{inCapture} << QStringList()
                              << false;
    QTest::newRow("in the capture workbook: found first")
        << true << "Tidy" << QStringList{inCapture, inPersonal} << QStringList{inCapture} << false;
    QTest::newRow("only in the personal workbook")
        << true << "Tidy" << QStringList{inPersonal} << QStringList{inCapture, inPersonal} << false;
    QTest::newRow("nowhere") << true << "Tidy" << QStringList()
                             << QStringList{inCapture, inPersonal} << true;
    QTest::newRow("qualified, found")
        << true << inPersonal << QStringList{inPersonal} << QStringList{inPersonal} << false;
    QTest::newRow("qualified, run once only") << true << "Book1.xls!Tidy" << QStringList{inCapture}
                                              << QStringList{"Book1.xls!Tidy"} << true;
    QTest::newRow("leading bang is unqualified")
        << true << "!Tidy" << QStringList{inCapture}
        << QStringList{"spreadsheet.xls!!Tidy", "Personal.xls!!Tidy"} << true;
    QTest::newRow("leading bang, found")
        << true << "!Tidy" << QStringList{"Personal.xls!!Tidy"}
        << QStringList{"spreadsheet.xls!!Tidy", "Personal.xls!!Tidy"} << false;
}

void CaptureTest::macroSearch() {
    QFETCH(bool, enabled);
    QFETCH(QString, name);
    QFETCH(QStringList, present);
    QFETCH(QStringList, runs);
    QFETCH(bool, message);

    Rig rig;
    rig.addPersonalMacros();
    for (const QString& macro : present)
        rig.memory.macros.insert(macro, [](MemorySpreadsheet&) { return true; });
    rig.started();
    // The choice made while the capture ran is the one used.
    rig.globals.macroEnabled = enabled;
    rig.globals.macroName = name;
    rig.capture.CaptureStop();

    QCOMPARE(rig.memory.macroRuns, runs);
    const QString failed = QStringLiteral("User macro did NOT run.");
    QCOMPARE(rig.view.status, message ? failed : QString());
    QCOMPARE(rig.view.events.contains("status " + failed), message);
    QCOMPARE(rig.view.events.last(), QStringLiteral("spreadsheet quit"));
    QVERIFY(!rig.globals.excelApp);
}

void CaptureTest::macroChangingTheWorkbookBringsTheQuestion() {
    Rig rig;
    rig.memory.macros.insert(QStringLiteral("spreadsheet.xls!Tidy"), [](MemorySpreadsheet& app) {
        return app.setCell(1, 5, QStringLiteral("tidied")).ok();
    });
    rig.started();
    rig.globals.macroEnabled = true;
    rig.globals.macroName = QStringLiteral("Tidy");
    rig.capture.CaptureStop();
    QCOMPARE(rig.memory.dialogs, QStringList{kRenameDialog});
}

void CaptureTest::saving_data() {
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("bookName"); // the name the workbook has at the stop
    QTest::addColumn<bool>("bookClosed");
    QTest::addColumn<QString>("answer"); // to the rename question
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("status");

    const QString name = QStringLiteral("spreadsheet.xls");
    const QString run = QStringLiteral("run 12.xls");
    const QString cancel = QStringLiteral("False");
    QTest::newRow("nothing written: no question")
        << false << name << false << run << false << false << false << QString();
    QTest::newRow("saved under the chosen name")
        << true << name << false << run << false << true << true << QString();
    QTest::newRow("rename cancelled")
        << true << name << false << cancel << false << true << false << QString();
    QTest::newRow("name compared in lower case")
        << true << "SpreadSheet.XLS" << false << run << false << true << true << QString();
    QTest::newRow("renamed by the user during the capture")
        << true << "my run.xls" << false << run << false << false << false << QString();
    QTest::newRow("capture workbook closed: unsaved, name unknown")
        << true << name << true << run << false << false << false << QString();
    QTest::newRow("save fails") << true << name << false << run << true << true << false
                                << QStringLiteral("The workbook was NOT saved.");
}

void CaptureTest::saving() {
    QFETCH(bool, written);
    QFETCH(QString, bookName);
    QFETCH(bool, bookClosed);
    QFETCH(QString, answer);
    QFETCH(bool, saveFails);
    QFETCH(bool, asked);
    QFETCH(bool, saved);
    QFETCH(QString, status);

    Rig rig;
    rig.started();
    if (written)
        rig.writeSomething();
    rig.app().workbook(rig.globals.captureBook).path = rig.documents.filePath(bookName);
    if (bookClosed)
        rig.app().closeWorkbook(rig.globals.captureBook);
    const QString chosen = rig.documents.filePath(answer);
    rig.memory.saveAsAnswer = answer == QStringLiteral("False") ? answer : chosen;
    rig.memory.failSaveAs = saveFails;
    rig.capture.CaptureStop();

    QCOMPARE(rig.memory.dialogs, asked ? QStringList{kRenameDialog} : QStringList());
    QCOMPARE(rig.memory.files.contains(chosen), saved);
    if (saved)
        QCOMPARE(rig.memory.files.value(chosen).sheets[0].at({1, 1}), CellValue(12.0));
    QCOMPARE(rig.memory.files.size(), saved ? 1 : 0);
    QCOMPARE(rig.view.status, status);
    // The working copy keeps its content; the spreadsheet is told to quit in every case.
    QCOMPARE(readFile(rig.workingCopy()), QByteArray("master workbook"));
    QCOMPARE(rig.view.events.last(), QStringLiteral("spreadsheet quit"));
    QVERIFY(!rig.globals.excelApp);
    QCOMPARE(rig.globals.captureBook, 0);
}

void CaptureTest::failedSaveIsShown() {
    Rig rig;
    rig.started();
    rig.writeSomething();
    rig.globals.macroEnabled = true;
    rig.globals.macroName = QStringLiteral("Missing");
    rig.memory.saveAsAnswer = rig.documents.filePath(QStringLiteral("run.xls"));
    rig.memory.failSaveAs = true;
    rig.capture.CaptureStop();

    const QStringList tail = rig.view.events.mid(rig.view.events.size() - 3);
    QCOMPARE(tail, (QStringList{"status User macro did NOT run.",
                                "status User macro did NOT run. The workbook was NOT saved.",
                                "spreadsheet quit"}));
    QVERIFY(!rig.globals.excelApp);
    QCOMPARE(rig.globals.captureBook, 0);
}

void CaptureTest::spreadsheetGoneBeforeStop() {
    Rig rig;
    rig.started();
    rig.writeSomething();
    rig.app().closeApplication();
    rig.globals.macroEnabled = true;
    rig.globals.macroName = QStringLiteral("Tidy");
    rig.memory.saveAsAnswer = rig.documents.filePath(QStringLiteral("run.xls"));
    rig.capture.CaptureStop();

    QVERIFY(rig.memory.macroRuns.isEmpty());
    QVERIFY(rig.memory.dialogs.isEmpty());
    QCOMPARE(rig.view.status, QStringLiteral("User macro did NOT run."));
    QCOMPARE(rig.view.enabledButtons.value(CaptureButton::Start), true);
    QVERIFY(!rig.serial.portOpen());
    QCOMPARE(rig.factory.quits, 1); // told to quit all the same
    QVERIFY(!rig.globals.excelApp);
    QCOMPARE(rig.globals.captureBook, 0);
}

void CaptureTest::recoveryCopyNamed() {
    Rig rig;
    rig.started();
    rig.writeSomething();
    rig.globals.macroEnabled = true;
    rig.globals.macroName = QStringLiteral("Missing");
    rig.factory.recoveryCopy = rig.documents.filePath(QStringLiteral("recovered/spreadsheet.ods"));
    rig.capture.CaptureStop(); // rename cancelled: the spreadsheet keeps the data itself

    QCOMPARE(rig.view.status,
             "User macro did NOT run. Unsaved data kept in " +
                 rig.documents.filePath(QStringLiteral("recovered/spreadsheet.ods")));
    QCOMPARE(rig.view.events.last(), "status " + rig.view.status);
    QVERIFY(!rig.globals.excelApp);
}

void CaptureTest::portAlreadyClosedAtStop() {
    Rig rig;
    rig.started();
    rig.serial.loseDevice();
    rig.capture.CaptureStop();
    QVERIFY(!rig.serial.portOpen());
    QCOMPARE(rig.view.enabledButtons.value(CaptureButton::ComPorts), true);
    QCOMPARE(rig.factory.quits, 1);
    QVERIFY(!rig.globals.excelApp);
}

QTEST_GUILESS_MAIN(CaptureTest)
#include "tst_capture.moc"
