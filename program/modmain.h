#pragma once

#include "clock.h"
#include "modglobals.h"
#include "modshell.h"
#include "qtserialcontrol.h"
#include "spreadsheet.h"
#include "stopsignals.h"

#include <QLockFile>
#include <QString>

#include <memory>

class clsOrva;
class clsQuorilex;
class frmMain;

// The program: refuses to run twice, creates the two instrument models for the whole run, and
// shows the main window. SIGTERM, SIGHUP and SIGINT (logout, shutdown, Ctrl+C) end it as closing
// the window does, but a running capture stops without asking anything (see frmMain::endSession).
class modMain {
public:
    struct Options {
        bool toolsMenu = false; // show and enable the Tools menu (the emulator)
        QString masterFolder;   // where the master workbook lies
    };

    explicit modMain(std::unique_ptr<SpreadsheetFactory> spreadsheets);
    ~modMain();

    // The entry routine. False when another copy of the program runs: the user has been told
    // in a message box, and no window was made.
    bool Main(const Options& options);

    frmMain* mainWindow() const { return m_window.get(); }

    // Where the lock that keeps a second copy out lies (beside the settings file).
    static QString lockPath();

private:
    // Outlives everything else, so that its deadline holds until the program has ended.
    std::unique_ptr<StopSignals> m_stopSignals;
    QLockFile m_lock;
    SystemClock m_clock;
    modGlobals m_globals;
    std::unique_ptr<clsOrva> m_orva;
    std::unique_ptr<clsQuorilex> m_quorilex;
    SystemSerialDevices m_serialDevices;
    QtSerialControl m_serial{m_serialDevices};
    std::unique_ptr<SpreadsheetFactory> m_spreadsheets;
    SystemFolderQuery m_folders;
    std::unique_ptr<frmMain> m_window;
};
