#include "clsorva.h"
#include "clsquorilex.h"
#include "fakefolders.h"
#include "fakeserial.h"
#include "filecontent.h"
#include "fixedclock.h"
#include "frmmain.h"
#include "memoryspreadsheet.h"
#include "modalanswer.h"
#include "settings.h"

#include <QtTest>
#include <QtWidgets>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The window's parts; the folder holds settings, master workbook, journal and the kept files.
struct Rig {
    Rig() {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path("config"));
        folders.answer = dir.path();
        QDir().mkpath(path("master"));
        QFile(path("master/spreadsheet.xls")).open(QIODevice::WriteOnly);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    const MemorySheet& saved(const QString& name) { return factory.files[path(name)].sheets[0]; }

    QTemporaryDir dir;
    modGlobals globals;
    MemorySpreadsheetFactory factory;
    FakeSerial serial;
    FakeFolders folders;
    FixedClock clock;
    clsOrva orva{clock};
    clsQuorilex quorilex{clock};
};

} // namespace

class tst_frmMain : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_rig = std::make_unique<Rig>();
        makeWindow();
    }
    void cleanup() { m_window.reset(); }
    void throughACapture() {
        click("cmdResume"); // does nothing before a capture
        QCOMPARE(seen(), "E D E* D E E grey grey | ");
        QCOMPARE(m_window->findChild<QLabel*>("lblComPort")->toolTip(),
                 text("lblComPort") + ": /dev/ttyS0, 9600,n,8,1");
        click("cmdStart");
        QCOMPARE(seen(), "D E* D E D E green green | Ready");
        click("cmdPause");
        QCOMPARE(seen(), "D D E* E D E yellow yellow | Paused");
        click("cmdResume"); // before anything came
        QCOMPARE(text("panStatus"), "Ready");
        click("cmdPause");
        m_rig->serial.arrived = "held\r\n";
        tick(); // read and kept on disk, not written while paused
        QVERIFY(m_rig->serial.arrived.isEmpty() && m_rig->factory.last()->writeCount() == 0);
        QVERIFY(readFile(m_window->journal().path()).endsWith("held\r\n"));
        click("cmdResume");
        QCOMPARE(seen(), "D E* D E D E green green | Bytes Received: 6");
        m_rig->factory.last()->setBusy(true); // no Pause until a write succeeds
        tick();
        QCOMPARE(seen(), "D D* D E D E green yellow | MS Excel is blocked: please close the cell "
                         "you're editing or finish the dialog that's open.");
        m_rig->factory.last()->setBusy(false);
        tick();
        QCOMPARE(seen(), "D E* D E D E green green | Bytes Received: 6");
        m_rig->serial.arrived = "last\r\n"; // after the last pass
        m_rig->factory.saveAsAnswer = m_rig->path("run.xls");
        click("cmdStop");
        QCOMPARE(seen(), "E D* D D E E frame frame | ");
        QVERIFY(!m_rig->globals.excelApp && !m_rig->serial.portOpen() &&
                QDir(m_rig->dir.path()).entryList({"Celvane *"}).isEmpty());
        QCOMPARE(m_rig->saved("run.xls").at({1, 1}), CellValue(QStringLiteral("held")));
        QCOMPARE(m_rig->saved("run.xls").at({2, 1}), CellValue(QStringLiteral("last")));
    }
    // Closing stops the capture with the macro chosen meanwhile, then writes the settings, which
    // the next start reads.
    void closeDuringCaptureStopsBeforeSaving() {
        click("cmdStart");
        click("cmdPause");
        m_rig->globals.macroEnabled = true;
        m_rig->globals.macroName = "Tidy";
        QString storedWhileMacroRan = "unset";
        m_rig->factory.macros.insert("spreadsheet.xls!Tidy", [&](MemorySpreadsheet& sheet) {
            storedWhileMacroRan = openSettings()->value("Excel Macro/Name").toString();
            click("cmdStart"); // ignored until the stop is done
            return sheet.setCell(1, 1, QStringLiteral("tidied")).ok();
        });
        m_rig->factory.saveAsAnswer = m_rig->path("closed.xls");
        m_window->close();
        QCOMPARE(storedWhileMacroRan, QString());
        QCOMPARE(m_rig->saved("closed.xls").at({1, 1}), CellValue(QStringLiteral("tidied")));
        m_rig->globals = {}; // the macro chosen is forgotten
        makeWindow();
        QVERIFY(m_rig->globals.macroEnabled && m_rig->globals.macroName == "Tidy");
    }

    // The session ends while a dialog of the window is open: it closes as cancelled first.
    void sessionEndsUnderADialog_data() {
        QTest::addColumn<bool>("emulator"); // its message box; otherwise the macro dialog
        QTest::newRow("macro dialog") << false;
        QTest::newRow("emulator's message box") << true;
    }
    void sessionEndsUnderADialog() {
        QFETCH(bool, emulator);
        click("cmdStart");
        const ModalAnswer answer([&](QDialog* dialog) {
            if (auto* name = dialog->findChild<QLineEdit*>("txtExcelMacro"))
                name->setText("typed");
            m_window->endSession();
        });
        if (emulator)
            m_window->mnuToolsNalvoEmulation_Click();
        emulator
            ? m_window->emulator()->findChild<QComboBox*>("cboMachine")->setCurrentText("PELMAR")
            : click("cmdExcelMacro");
        QVERIFY(answer.closedByUser() && !m_window->isVisible() && m_rig->globals.macroName == "" &&
                (!emulator || !m_window->emulator()->isVisible()));
    }

    // The journal is on disk within a second; a full disk is shown and the capture goes on. At
    // Stop an incomplete journal is only part of the record; a complete one keeps what no file
    // could.
    void journal_data() {
        QTest::addColumn<bool>("diskFull"); // after the first line; at Stop the office is gone
        QTest::addColumn<QString>("says");  // %1 the folder of documents and journal
        QTest::newRow("full disk") << true
                                   << "The workbook was NOT saved. Part of the received data is in "
                                      "%1/Celvane part of received data 2026-12-06 14-05-09.txt";
        QTest::newRow("no documents for a line wider than the sheet")
            << false << "All received data is in %1/journal/capture 2026-12-06 14-05-09.journal";
    }
    void journal() {
        QFETCH(bool, diskFull);
        click("cmdStart");
        m_rig->serial.arrived = "a\r\n";
        tick();
        QTRY_VERIFY(m_window->journal().allOnDisk());
        const int full = ::open("/dev/full", O_WRONLY); // the journal writes into it from now on
        for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System))
            if (diskFull && fd.symLinkTarget() == m_window->journal().path())
                ::dup2(full, fd.fileName().toInt());
        ::close(full);
        m_rig->serial.arrived = diskFull ? "1\r\n" : QStringList(300, "1").join('\t') + "\r\n";
        tick();
        QVERIFY(!diskFull || seen() == "D E* D E D E yellow green | Received data is NOT kept on "
                                       "disk: No space left on device");
        QCOMPARE(m_rig->factory.last()->workbook(1).sheets[0].at({2, 1}), CellValue(1.0));
        diskFull ? m_rig->factory.last()->closeApplication()
                 : void(m_rig->folders.code = FolderCode::Missing);
        click("cmdStop");
        QFETCH(QString, says);
        QCOMPARE(text("panStatus"), says.arg(m_rig->dir.path()));
    }

private:
    void makeWindow() {
        m_window.reset();
        Rig& r = *m_rig;
        m_window = std::make_unique<frmMain>(
            frmMainParts{r.globals, r.serial, r.factory, r.folders, r.orva, r.quorilex, r.clock,
                         r.path("master"), false, r.path("journal")});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    QPushButton* button(const char* name) const { return m_window->findChild<QPushButton*>(name); }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    QString text(const char* label) const { return m_window->findChild<QLabel*>(label)->text(); }
    void tick() { m_window->tmrMain_Timer(); }
    // Start, Pause, Resume, Stop, COM, Macro as E(nabled) or D, * on the one of Pause and Resume
    // in front; the COM and spreadsheet lamps' colours; the status text.
    QString seen() const {
        QStringList parts;
        for (const char* name :
             {"cmdStart", "cmdPause", "cmdResume", "cmdStop", "cmdComPorts", "cmdExcelMacro"})
            parts << (button(name)->isEnabled() ? "E" : "D");
        const QObjectList& order = button("cmdPause")->parent()->children(); // later is in front
        parts[order.indexOf(button("cmdPause")) > order.indexOf(button("cmdResume")) ? 1 : 2] +=
            '*';
        const QHash<QRgb, QString> colours{{qRgb(0, 255, 0), "green"},
                                           {qRgb(255, 255, 0), "yellow"},
                                           {qRgb(255, 0, 0), "red"},
                                           {qRgb(192, 192, 192), "grey"}};
        for (const char* lamp : {"panComPort", "panExcel"})
            parts << colours.value(
                m_window->findChild<QFrame*>(lamp)->palette().color(QPalette::Window).rgb(),
                "frame");
        return parts.join(u' ') + " | " + text("panStatus");
    }

    std::unique_ptr<Rig> m_rig;
    std::unique_ptr<frmMain> m_window;
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
