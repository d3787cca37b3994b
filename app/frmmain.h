#pragma once

#include "capture.h"
#include "capturejournal.h"
#include "captureview.h"
#include "clock.h"
#include "frmemulation.h"
#include "modglobals.h"
#include "modshell.h"
#include "receivepath.h"
#include "serialcontrol.h"
#include "spreadsheet.h"
#include "statusview.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class clsOrva;
class clsQuorilex;
class frmAbout;

class frmExcelMacro;

// What the main window works with; all of it outlives the window.
struct frmMainParts {
    modGlobals& globals;
    SerialControl& serial; // the window's serial control MSComm1
    SpreadsheetFactory& spreadsheets;
    FolderQuery& folders;
    clsOrva& orva;
    clsQuorilex& quorilex;
    const Clock& clock;
    QString masterFolder;   // where the master workbook lies
    bool toolsMenu = false; // show and enable the Tools menu, which opens the emulator
    QString journalFolder;  // where each capture keeps what it receives (none: nowhere)
};

// The program's main window: the capture commands, the COM port and macro choices, and the
// status panel with its two lamps and the status text.
class frmMain : public QMainWindow, public ReceiveView, public CaptureView {
    Q_OBJECT
public:
    explicit frmMain(const frmMainParts& parts);
    ~frmMain() override;

    // 0 stopped, 1 capturing, -1 paused.
    qint16 captureState() const { return m_captureState; }
    const ReceivePath& receivePath() const { return m_receive; }
    const CaptureJournal& journal() const { return m_journal; }
    frmEmulation* emulator() const { return m_emulator; }

    // The status panel, the buttons and the emulator's hand-over, as the capture shows them.
    void setLamp(Lamp lamp, quint32 colour) override;
    void setStatusText(const QString& text) override;
    void setPauseEnabled(bool enabled) override;
    void injectSingleTabUsed() override;
    void setButtonEnabled(CaptureButton button, bool enabled) override;
    void bringToFront(CaptureButton button) override;
    quint32 statusFrameColour() const override;
    void showMessage(const QString& title, const QString& text) override;

public slots:
    void cmdStart_Click();
    void cmdPause_Click();
    void cmdResume_Click();
    void cmdStop_Click();
    void cmdClose_Click();
    void cmdComPorts_Click();
    void cmdExcelMacro_Click();
    void mnuHelpAbout_Click();
    void mnuToolsNalvoEmulation_Click();
    void tmrMain_Timer();
    // The session ends (logout, shutdown): what was received is made safe on disk first, then
    // the window closes as Close does. A running capture stops at once without asking anything
    // or running the user's macro (nobody is there to answer); where the workbook or the text
    // went is told at the next start.
    void endSession();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus(bool toolsMenu);
    void Form_Load();
    void Form_Unload();
    void showComPort();
    // What the last session's end kept, and the captures that were interrupted.
    void recoverInterruptedCaptures();
    // Every dialog of ours still open closes as cancelled, so that none is unloaded inside its
    // own modal loop.
    void closeOpenDialogs();
    void showJournalTrouble();
    // The user's documents folder; empty when it cannot be found.
    QString documentsFolder();
    // Adds a sentence to what the status text shows.
    void addStatusSentence(const QString& sentence);
    // Stop: the pump ends, the waiting lines are written in passes, then the capture stops.
    void beginStop();
    void finishStop();
    QPushButton* button(CaptureButton which) const;

    modGlobals& m_globals;
    SerialControl& MSComm1;
    clsOrva& m_orva;
    clsQuorilex& m_quorilex;
    const Clock& m_clock;
    modShell m_shell;
    Capture m_capture;
    CaptureJournal m_journal;
    ReceivePath m_receive;
    QTimer tmrMain;
    qint16 m_captureState = 0;
    bool m_unloaded = false;
    bool m_stopping = false;       // Stop is writing what waits, or finishing
    bool m_finishing = false;      // Stop keeps the rest and closes the spreadsheet
    bool m_closeAfterStop = false; // the window closes when the stop is done
    bool m_unattended = false;     // the session ends: nobody answers a question

    QPushButton* cmdStart;
    QPushButton* cmdPause;
    QPushButton* cmdResume;
    QPushButton* cmdStop;
    QPushButton* cmdClose;
    QGroupBox* fraStatus;
    QFrame* panComPort;
    QLabel* imgComPort;
    QLabel* lblComPort;
    QPushButton* cmdComPorts;
    QFrame* panExcel;
    QLabel* imgExcel;
    QLabel* lblExcel;
    QPushButton* cmdExcelMacro;
    QLabel* panStatus;
    QMenu* mnuTools;
    QAction* mnuToolsNalvoEmulation;
    QMenu* mnuHelp;
    QAction* mnuHelpAbout;

    std::unique_ptr<frmAbout> m_about;
    std::unique_ptr<frmExcelMacro> m_macroDialog; // made on first use, kept hidden
    QPointer<frmEmulation> m_emulator;
};
