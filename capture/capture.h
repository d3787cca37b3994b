#pragma once

#include "captureview.h"
#include "modglobals.h"
#include "modshell.h"
#include "serialcontrol.h"
#include "spreadsheet.h"

#include <QString>

// Opens and closes a capture: the working copy of the master workbook in the user's documents
// folder, the spreadsheet with that copy open, the serial port, and the main window's lamps,
// status text and buttons.
class Capture {
public:
    // masterFolder holds the master workbook "spreadsheet.xls" (the program's own folder).
    Capture(modGlobals& globals, SerialControl& serial, SpreadsheetFactory& factory,
            modShell& shell, CaptureView& view, QString masterFolder);

    // Everything a capture needs, in order; true when the capture can run. On failure the
    // status text says why, the failing part's lamp is red and nothing this call started is
    // left running.
    bool CaptureStart();

    // Ends the capture: port closed, window back to idle, the user macro, a new name for a
    // workbook with unsaved data, and the spreadsheet closed. No failure ends it early. True
    // when the workbook's data is in a file or was the user's to keep: it had no unsaved
    // changes, was saved under the new name, or the spreadsheet ended normally (keeping a
    // recovery copy, or asking the user). False when the spreadsheet ended, or had to be ended,
    // with unsaved data that no file holds; the status text then says the workbook was NOT
    // saved. Unattended (the session is ending, nobody answers), it runs no macro and asks
    // nothing: the spreadsheet keeps a modified workbook as a recovery copy as it quits.
    bool CaptureStop(bool unattended = false);

private:
    // Start, Stop, Pause (in front of Resume), Resume and the COM port button for a running
    // capture, or for none.
    void showCaptureButtons(bool capturing);
    bool failExcel(const QString& text);
    // Tells the spreadsheet to quit and empties both references, whatever it does. Its answer:
    // the path of a recovery copy it kept of unsaved data (empty when none), or why it did not
    // end normally. Unasked, it keeps every modified workbook so.
    Result<QString> quitSpreadsheet(bool unasked = false);
    void loadPersonalMacros();
    void runUserMacro();
    // True when the workbook holds no unsaved data afterwards.
    bool saveUnderNewName();
    // Adds a sentence to what the status text shows during this stop.
    void addStopMessage(const QString& sentence);

    modGlobals& m_globals;
    SerialControl& m_serial;
    SpreadsheetFactory& m_factory;
    modShell& m_shell;
    CaptureView& m_view;
    QString m_masterFolder;
    QString m_stopMessages;
};
