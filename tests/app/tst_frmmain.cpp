#include "clsorva.h"
#include "clsquorilex.h"
#include "fakefolders.h"
#include "fakeserial.h"
#include "fixedclock.h"
#include "frmemulation.h"
#include "frmmain.h"
#include "frmwaiting.h"
#include "memoryspreadsheet.h"
#include "modalanswer.h"
#include "settings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

template <class T> T* child(QWidget* parent, const char* name) {
    return parent->findChild<T*>(QLatin1String(name));
}

QColor lampColour(QWidget* window, const char* name) {
    return child<QFrame>(window, name)->palette().color(QPalette::Window);
}

} // namespace

// The main window with the in-memory spreadsheet and the emulator slot or a fake port as the
// source of received text.
class tst_frmMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layoutAtLoad();
    void stateTableThroughACapture();
    void resumeAtLoadDoesNothing();
    void altTStops_data();
    void altTStops();
    void groupedCountAfterResume();
    void failedStartLeavesStateStopped();
    void finalFlushLandsLastLine();
    void stopKeepsTextInAFile_data();
    void stopKeepsTextInAFile();
    void lostPortStaysInViewThroughPauseAndResume();
    void givingUpWhileTheOfficeKeepsUsWaiting();
    void closeDuringCaptureStopsBeforeSaving();
    void stopWithBacklogKeepsWindowAnswering();
    void firstRunDefaults();
    void portChosenSurvivesRestart();
    void emptyMacroNameSurvivesRestart();
    void emulatorFeedsTheCapture();

private:
    void makeWindow(bool toolsMenu = false);
    // Start, Pause, Resume, Stop, COM, Macro as E or D; the Pause/Resume seen marked with *.
    QString controls() const;
    void tick() { m_window->tmrMain_Timer(); }

    QTemporaryDir m_dir;
    QString m_documents;
    QString m_master;
    std::unique_ptr<modGlobals> m_globals;
    std::unique_ptr<MemorySpreadsheetFactory> m_factory;
    std::unique_ptr<FakeSerial> m_serial;
    std::unique_ptr<FakeFolders> m_folders;
    std::unique_ptr<FixedClock> m_clock;
    std::unique_ptr<clsOrva> m_orva;
    std::unique_ptr<clsQuorilex> m_quorilex;
    std::unique_ptr<frmMain> m_window;
};

void tst_frmMain::initTestCase() {
    QVERIFY(m_dir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath("config"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    m_documents = m_dir.filePath("documents");
    m_master = m_dir.filePath("master");
    QVERIFY(QDir().mkpath(m_documents));
    QVERIFY(QDir().mkpath(m_master));
    QFile master(QDir(m_master).filePath("spreadsheet.xls"));
    QVERIFY(master.open(QIODevice::WriteOnly));
}

void tst_frmMain::init() {
    openSettings()->clear();
    for (const QString& name : QDir(m_documents).entryList(QDir::Files))
        QFile::remove(QDir(m_documents).filePath(name));
    m_globals = std::make_unique<modGlobals>();
    m_factory = std::make_unique<MemorySpreadsheetFactory>();
    m_serial = std::make_unique<FakeSerial>();
    m_folders = std::make_unique<FakeFolders>();
    m_folders->answer = m_documents;
    m_clock = std::make_unique<FixedClock>();
    m_orva = std::make_unique<clsOrva>(*m_clock);
    m_orva->reset();
    m_quorilex = std::make_unique<clsQuorilex>(*m_clock);
    m_quorilex->reset();
    makeWindow();
}

void tst_frmMain::cleanup() {
    m_window.reset();
}

void tst_frmMain::makeWindow(bool toolsMenu) {
    m_window.reset();
    m_window = std::make_unique<frmMain>(frmMainParts{*m_globals, *m_serial, *m_factory, *m_folders,
                                                      *m_orva, *m_quorilex, *m_clock, m_master,
                                                      toolsMenu, m_dir.filePath("journal")});
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

QString tst_frmMain::controls() const {
    QWidget* w = m_window.get();
    const auto state = [w](const char* name) {
        return child<QPushButton>(w, name)->isEnabled() ? QStringLiteral("E") : QStringLiteral("D");
    };
    QPushButton* pause = child<QPushButton>(w, "cmdPause");
    QPushButton* resume = child<QPushButton>(w, "cmdResume");
    // The later of two siblings is drawn over the earlier.
    const QObjectList& siblings = pause->parent()->children();
    const bool pauseInFront = siblings.indexOf(pause) > siblings.indexOf(resume);
    return QStringList{state("cmdStart"),
                       state("cmdPause") + (pauseInFront ? "*" : ""),
                       state("cmdResume") + (pauseInFront ? "" : "*"),
                       state("cmdStop"),
                       state("cmdComPorts"),
                       state("cmdExcelMacro")}
        .join(u' ');
}

void tst_frmMain::layoutAtLoad() {
    QWidget* w = m_window.get();
    QCOMPARE(w->windowTitle(), QStringLiteral("Celvane  v1.2.0"));
    QCOMPARE(w->x(), 0);
    QCOMPARE(m_window->centralWidget()->size(), QSize(334, 252));
    QCOMPARE(child<QPushButton>(w, "cmdStart")->geometry(), QRect(40, 152, 73, 49));
    QCOMPARE(child<QPushButton>(w, "cmdStart")->text(), QStringLiteral("&Start"));
    QCOMPARE(child<QPushButton>(w, "cmdStop")->text(), QStringLiteral("S&top"));
    QCOMPARE(child<QLabel>(w, "lblExcel")->text(), QStringLiteral("MS EXCEL"));
    QCOMPARE(lampColour(w, "panComPort"), QColor(0xC0, 0xC0, 0xC0));
    QCOMPARE(lampColour(w, "panExcel"), QColor(0xC0, 0xC0, 0xC0));
    QVERIFY(child<QLabel>(w, "panStatus")->text().isEmpty());
    QVERIFY(!w->windowIcon().isNull());
    QCOMPARE(child<QLabel>(w, "imgComPort")->pixmap().size(), QSize(32, 32));
    QCOMPARE(child<QLabel>(w, "imgExcel")->pixmap().size(), QSize(32, 32));
    // The Tools menu is switched off unless asked for.
    QMenu* tools = child<QMenu>(w, "mnuTools");
    QVERIFY(!tools->menuAction()->isVisible());
    QVERIFY(!tools->menuAction()->isEnabled());
    QCOMPARE(controls(), QStringLiteral("E D E* D E E"));
}

void tst_frmMain::stateTableThroughACapture() {
    QWidget* w = m_window.get();
    QTest::mouseClick(child<QPushButton>(w, "cmdStart"), Qt::LeftButton);
    QCOMPARE(m_window->captureState(), qint16(1));
    QCOMPARE(controls(), QStringLiteral("D E* D E D E"));
    QCOMPARE(lampColour(w, "panComPort"), QColor(Qt::green));
    QCOMPARE(lampColour(w, "panExcel"), QColor(Qt::green));
    QCOMPARE(child<QLabel>(w, "panStatus")->text(), QStringLiteral("Ready"));

    QTest::mouseClick(child<QPushButton>(w, "cmdPause"), Qt::LeftButton);
    QCOMPARE(m_window->captureState(), qint16(-1));
    QCOMPARE(controls(), QStringLiteral("D D E* E D E"));
    QCOMPARE(lampColour(w, "panComPort"), QColor(Qt::yellow));
    QCOMPARE(lampColour(w, "panExcel"), QColor(Qt::yellow));
    QCOMPARE(child<QLabel>(w, "panStatus")->text(), QStringLiteral("Paused"));
    // While paused nothing is read.
    m_serial->arrived = QStringLiteral("held\r\n");
    tick();
    QCOMPARE(m_serial->arrived, QStringLiteral("held\r\n"));

    QTest::mouseClick(child<QPushButton>(w, "cmdResume"), Qt::LeftButton);
    QCOMPARE(controls(), QStringLiteral("D E* D E D E"));
    QCOMPARE(lampColour(w, "panExcel"), QColor(Qt::green));
    QCOMPARE(child<QLabel>(w, "panStatus")->text(), QStringLiteral("Ready"));

    // A failing write: Pause off until a pass succeeds.
    m_factory->last()->setBusy(true);
    tick();
    QCOMPARE(controls(), QStringLiteral("D D* D E D E"));
    QCOMPARE(lampColour(w, "panExcel"), QColor(Qt::yellow));
    m_factory->last()->setBusy(false);
    tick();
    QCOMPARE(controls(), QStringLiteral("D E* D E D E"));
    QCOMPARE(child<QLabel>(w, "panStatus")->text(), QStringLiteral("Bytes Received: 6"));

    m_factory->saveAsAnswer = m_dir.filePath("run1.xls");
    QTest::mouseClick(child<QPushButton>(w, "cmdStop"), Qt::LeftButton);
    QCOMPARE(m_window->captureState(), qint16(0));
    QCOMPARE(controls(), QStringLiteral("E D* D D E E"));
    QVERIFY(!m_globals->excelApp);
    QVERIFY(!m_serial->portOpen());
    QCOMPARE(m_factory->files.value(m_dir.filePath("run1.xls")).sheets[0].at({1, 1}),
             CellValue(QStringLiteral("held")));
}

void tst_frmMain::resumeAtLoadDoesNothing() {
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdResume"), Qt::LeftButton);
    QCOMPARE(m_window->captureState(), qint16(0));
    QCOMPARE(controls(), QStringLiteral("E D E* D E E"));
    QVERIFY(child<QLabel>(m_window.get(), "panStatus")->text().isEmpty());
    QCOMPARE(lampColour(m_window.get(), "panExcel"), QColor(0xC0, 0xC0, 0xC0));
}

void tst_frmMain::altTStops_data() {
    QTest::addColumn<bool>("toolsMenu");
    QTest::newRow("Tools menu hidden") << false;
    QTest::newRow("Tools menu shown") << true;
}

void tst_frmMain::altTStops() {
    QFETCH(bool, toolsMenu);
    makeWindow(toolsMenu);
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStart"), Qt::LeftButton);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    // The button shows itself pressed for a moment before it clicks.
    QTest::keyClick(m_window.get(), Qt::Key_T, Qt::AltModifier);
    QTRY_COMPARE(m_window->captureState(), qint16(0));
}

void tst_frmMain::groupedCountAfterResume() {
    QWidget* w = m_window.get();
    QTest::mouseClick(child<QPushButton>(w, "cmdStart"), Qt::LeftButton);
    m_serial->arrived = QString(1232, u'x') + QStringLiteral("\r\n");
    tick();
    QCOMPARE(child<QLabel>(w, "panStatus")->text(), QStringLiteral("Bytes Received: 1234"));
    QTest::mouseClick(child<QPushButton>(w, "cmdPause"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(w, "cmdResume"), Qt::LeftButton);
    QCOMPARE(child<QLabel>(w, "panStatus")->text(), QStringLiteral("Bytes Received: 1,234"));
    // The grouping stays until the next pass shows plain digits again.
    tick();
    QCOMPARE(child<QLabel>(w, "panStatus")->text(), QStringLiteral("Bytes Received: 1,234"));
    m_serial->arrived = QStringLiteral("x");
    tick();
    QCOMPARE(child<QLabel>(w, "panStatus")->text(), QStringLiteral("Bytes Received: 1235"));
}

void tst_frmMain::failedStartLeavesStateStopped() {
    m_serial->devicepresent = false;
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStart"), Qt::LeftButton);
    QCOMPARE(m_window->captureState(), qint16(0));
    QCOMPARE(child<QLabel>(m_window.get(), "panStatus")->text(),
             QStringLiteral("COM port not available"));
    QCOMPARE(controls(), QStringLiteral("E D E* D E E"));
    // Start can be pressed again at once.
    m_serial->devicepresent = true;
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStart"), Qt::LeftButton);
    QCOMPARE(m_window->captureState(), qint16(1));
}

void tst_frmMain::finalFlushLandsLastLine() {
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStart"), Qt::LeftButton);
    m_serial->arrived = QStringLiteral("first\r\n");
    tick();
    // The last line arrives after the last tick.
    m_serial->arrived = QStringLiteral("last\r\n");
    m_factory->saveAsAnswer = m_dir.filePath("flushed.xls");
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStop"), Qt::LeftButton);
    const MemorySheet& cells = m_factory->files.value(m_dir.filePath("flushed.xls")).sheets[0];
    QCOMPARE(cells.at({1, 1}), CellValue(QStringLiteral("first")));
    QCOMPARE(cells.at({2, 1}), CellValue(QStringLiteral("last")));
    QVERIFY(QDir(m_documents).entryList({"Celvane unwritten*"}).isEmpty());
}

void tst_frmMain::stopKeepsTextInAFile_data() {
    // Whether the spreadsheet closes during the capture; the text that arrives before Stop; the
    // file of the documents folder that keeps text, what it holds, and what the status text
    // says before its path.
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("says");
    const QString unwritten = QStringLiteral("Celvane unwritten data 2026-12-06 14-05-09.txt");
    QTest::newRow("a last line without its end") << false << "12\t13\r\npart" << unwritten << "part"
                                                 << "Received data that was not recorded is in ";
    // The workbook went with the office, the first line with it.
    QTest::newRow("office gone: everything received")
        << true << "12\t13\r\npart" << unwritten << "first\r\n12\t13\r\npart"
        << "The workbook was NOT saved. All received data is in ";
    QStringList fields;
    for (int i = 1; i <= 258; ++i)
        fields << QString::number(i);
    QTest::newRow("wider than the worksheet")
        << false << fields.join(u'\t') + "\r\n"
        << "Celvane overflow 2026-12-06 14-05-09.txt"
        << "2\t257\t258\r\n"
        << "Received text that did not fit the worksheet is in ";
}

void tst_frmMain::stopKeepsTextInAFile() {
    QFETCH(bool, closed);
    QFETCH(QString, text);
    QFETCH(QString, file);
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStart"), Qt::LeftButton);
    m_serial->arrived = QStringLiteral("first\r\n");
    tick();
    if (closed)
        m_factory->last()->closeApplication();
    m_serial->arrived = text;
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStop"), Qt::LeftButton);

    QCOMPARE(QDir(m_documents).entryList({"Celvane *"}), QStringList{file});
    QFile kept(QDir(m_documents).filePath(file));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QTEST(QString::fromLatin1(kept.readAll()), "kept");
    QFETCH(QString, says);
    QCOMPARE(child<QLabel>(m_window.get(), "panStatus")->text(),
             says + QDir(m_documents).filePath(file));
    // All received is in a saved file: the capture's journal is gone.
    QCOMPARE(QDir(m_dir.filePath("journal")).entryList(QDir::Files), QStringList());
}

void tst_frmMain::lostPortStaysInViewThroughPauseAndResume() {
    QWidget* w = m_window.get();
    QTest::mouseClick(child<QPushButton>(w, "cmdStart"), Qt::LeftButton);
    m_serial->loseDevice();
    tick();
    for (const char* button : {"cmdPause", "cmdResume", "cmdPause", "cmdResume"}) {
        QTest::mouseClick(child<QPushButton>(w, button), Qt::LeftButton);
        QCOMPARE(lampColour(w, "panComPort"), QColor(Qt::red));
        QCOMPARE(child<QLabel>(w, "panStatus")->text(), QStringLiteral("COM port not available"));
    }
    QCOMPARE(m_window->captureState(), qint16(1));
    tick();
    QCOMPARE(lampColour(w, "panComPort"), QColor(Qt::red));
}

void tst_frmMain::givingUpWhileTheOfficeKeepsUsWaiting() {
    // The macro would keep Stop waiting for ever; the waiting window shows at once.
    frmWaiting waiting(std::chrono::milliseconds(0));
    m_factory->wait = &waiting;
    m_factory->deadline = std::chrono::milliseconds::max();
    m_globals->macroEnabled = true;
    m_globals->macroName = QStringLiteral("Tidy");
    m_factory->macros.insert(QStringLiteral("spreadsheet.xls!Tidy"),
                             [](MemorySpreadsheet&) { return true; });
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStart"), Qt::LeftButton);
    m_factory->last()->holdNext(QStringLiteral("run"));
    // Reached while the macro runs: the program goes on answering, and the user gives up.
    QString shown;
    const ModalAnswer giveUp([&](QDialog* dialog) {
        shown = child<QLabel>(dialog, "lblWaiting")->text();
        QTest::mouseClick(child<QPushButton>(dialog, "cmdGiveUp"), Qt::LeftButton);
    });
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStop"), Qt::LeftButton);
    QVERIFY(giveUp.closedByUser());
    QCOMPARE(shown, QStringLiteral("Waiting for LibreOffice Calc..."));
    // Given up, the macro step failed and the stop went on to its end.
    QCOMPARE(child<QLabel>(m_window.get(), "panStatus")->text(),
             QStringLiteral("User macro did NOT run."));
    QCOMPARE(controls(), QStringLiteral("E D* D D E E"));
    QVERIFY(!m_globals->excelApp);
}

void tst_frmMain::closeDuringCaptureStopsBeforeSaving() {
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStart"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdPause"), Qt::LeftButton);
    // A macro choice made during the capture is used by its stop; the settings file still
    // holds the old one while the stop runs.
    m_globals->macroEnabled = true;
    m_globals->macroName = QStringLiteral("Tidy");
    QString storedWhileMacroRan = QStringLiteral("unset");
    m_factory->macros.insert(QStringLiteral("spreadsheet.xls!Tidy"), [&](MemorySpreadsheet& sheet) {
        storedWhileMacroRan = openSettings()->value("Excel Macro/Name").toString();
        return sheet.setCell(1, 1, QStringLiteral("tidied")).ok();
    });
    m_factory->saveAsAnswer = m_dir.filePath("closed.xls");
    m_window->close();

    QCOMPARE(m_factory->macroRuns, QStringList{"spreadsheet.xls!Tidy"});
    QCOMPARE(storedWhileMacroRan, QString());
    QCOMPARE(m_factory->dialogs.size(), 1);
    QVERIFY(m_factory->files.contains(m_dir.filePath("closed.xls")));
    QCOMPARE(openSettings()->value("Excel Macro/Name").toString(), QStringLiteral("Tidy"));
    QCOMPARE(openSettings()->value("Excel Macro/Enable").toString(), QStringLiteral("True"));
    QVERIFY(!m_globals->excelApp);
}

void tst_frmMain::stopWithBacklogKeepsWindowAnswering() {
    using namespace std::chrono_literals;
    QWidget* w = m_window.get();
    QTest::mouseClick(child<QPushButton>(w, "cmdStart"), Qt::LeftButton);
    // Thousands of lines wait, and every cell costs the office some time.
    constexpr int kLines = 20000;
    m_factory->last()->setWriteCost(20us);
    for (int line = 0; line < kLines; ++line)
        m_serial->arrived += QStringLiteral("%1 :: a b c d e f g\r\n").arg(line);
    const QString saved = m_dir.filePath("backlog.xls");
    m_factory->saveAsAnswer = saved;

    // The window's event loop is watched while Stop writes; a second Stop or a Start meanwhile
    // is ignored.
    qint64 longestGap = 0;
    bool progressShown = false;
    QElapsedTimer turn;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        longestGap = qMax(longestGap, turn.restart());
        if (progressShown ||
            !child<QLabel>(w, "panStatus")->text().startsWith("Writing received data: "))
            return;
        progressShown = true;
        m_window->cmdStop_Click();
        m_window->cmdStart_Click();
    });
    turn.start();
    watch.start(5);
    QTest::mouseClick(child<QPushButton>(w, "cmdStop"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_factory->files.contains(saved), 60000);
    watch.stop();

    QVERIFY(progressShown);
    QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
    QCOMPARE(m_factory->created(), 1);
    QCOMPARE(m_window->captureState(), qint16(0));
    const MemorySheet& cells = m_factory->files.value(saved).sheets[0];
    QCOMPARE(qsizetype(cells.size()), qsizetype(kLines * 8));
    QCOMPARE(cells.at({kLines, 1}), CellValue(double(kLines - 1)));
    QVERIFY(QDir(m_documents).entryList({"Celvane unwritten*"}).isEmpty());
}

void tst_frmMain::firstRunDefaults() {
    QCOMPARE(child<QLabel>(m_window.get(), "lblComPort")->text(), QStringLiteral("COM 1"));
    QCOMPARE(m_serial->commPort(), qint16(1));
    QCOMPARE(m_globals->macroEnabled, false);
    QCOMPARE(m_globals->macroName, QString());
}

void tst_frmMain::portChosenSurvivesRestart() {
    ModalAnswer answer([](QDialog* dialog) {
        QTest::mouseClick(child<QRadioButton>(dialog, "optComPort_3"), Qt::LeftButton);
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdComPorts"), Qt::LeftButton);
    QVERIFY(answer.closedByUser());
    QCOMPARE(child<QLabel>(m_window.get(), "lblComPort")->text(), QStringLiteral("COM 3"));
    QCOMPARE(m_serial->commPort(), qint16(3));

    m_window->close();
    QCOMPARE(openSettings()->value("Communication/ComPort").toString(), QStringLiteral("3"));
    m_serial->setCommPort(1);
    makeWindow();
    QCOMPARE(child<QLabel>(m_window.get(), "lblComPort")->text(), QStringLiteral("COM 3"));
    QCOMPARE(m_serial->commPort(), qint16(3));
}

void tst_frmMain::emptyMacroNameSurvivesRestart() {
    ModalAnswer answer([](QDialog* dialog) {
        QTest::mouseClick(child<QCheckBox>(dialog, "chkExcelMacro"), Qt::LeftButton);
        child<QLineEdit>(dialog, "txtExcelMacro")->clear();
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdExcelMacro"), Qt::LeftButton);
    QVERIFY(answer.closedByUser());
    QCOMPARE(m_globals->macroEnabled, true);
    m_window->close();
    auto settings = openSettings();
    QVERIFY(settings->contains("Excel Macro/Name"));
    QCOMPARE(settings->value("Excel Macro/Name").toString(), QString());
    m_globals->macroEnabled = false;
    m_globals->macroName = QStringLiteral("stale");
    makeWindow();
    QCOMPARE(m_globals->macroEnabled, true);
    QCOMPARE(m_globals->macroName, QString());
}

void tst_frmMain::emulatorFeedsTheCapture() {
    makeWindow(true);
    QMenu* tools = child<QMenu>(m_window.get(), "mnuTools");
    QVERIFY(tools->menuAction()->isVisible());
    QAction* emulator = tools->findChild<QAction*>("mnuToolsNalvoEmulation");
    emulator->trigger();
    QPointer<frmEmulation> first = m_window->emulator();
    QVERIFY(first);
    QVERIFY(m_globals->emulatorActive);
    emulator->trigger();
    QCOMPARE(m_window->emulator(), first.data()); // at most one emulator window

    QTest::mouseClick(child<QPushButton>(m_window.get(), "cmdStart"), Qt::LeftButton);
    m_serial->arrived = QStringLiteral("serial is not read\r\n");
    m_globals->emulatorOutput = m_orva->nextOutput();
    tick();
    MemorySpreadsheet& sheet = *m_factory->last();
    QCOMPARE(sheet.cell(m_globals->captureBook, 1, 3), CellValue(QStringLiteral("12-06-2026")));
    QCOMPARE(m_serial->arrived, QStringLiteral("serial is not read\r\n"));

    // The one-shot TAB request is cleared in the emulator's box once used.
    QCheckBox* inject = first->findChild<QCheckBox*>("chkInjectTab");
    inject->setChecked(true);
    QVERIFY(m_globals->injectSingleTab);
    m_globals->emulatorOutput = QStringLiteral("9999\r\n");
    tick();
    QVERIFY(!inject->isChecked());
    QCOMPARE(sheet.cell(m_globals->captureBook, 2, 2), CellValue(10000.0));
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
