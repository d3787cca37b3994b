#pragma once

#include "calcspreadsheet.h"
#include "capture.h"
#include "fakeserial.h"
#include "fixedclock.h"
#include "modshell.h"
#include "officetesthome.h"
#include "receivepath.h"
#include "recordingcaptureview.h"

// One capture into a real office without the main window: capture start and stop with Calc,
// the receive path on a serial port in memory, a window that records. Block time stamps read
// 14:30:00 (14.5 hours).
struct CaptureRig {
    explicit CaptureRig(const QString& masterFolder);

    // Feeds text as received and pumps, retrying a busy office, until every complete line is
    // written; false when a write failed otherwise.
    bool receive(const QString& text);
    // Stops the capture and answers the question for a new name with path.
    bool stopSavingAs(const QString& path);

    modGlobals globals;
    FakeSerial serial;
    RecordingCaptureView view;
    SystemFolderQuery folders;
    modShell shell{folders, view};
    CalcSpreadsheetFactory factory;
    FixedClock clock;
    Capture capture;
    ReceivePath path{globals, serial, view, clock};
};

// An ORVA line of 12-06-2026 14:05:09, and its eight cells from column 1 of the row.
QString orvaLine(int index, int measurement, int temperature);
void addOrvaRow(SheetCells& cells, int row, int index, int measurement, int temperature);
// The numbers first to last as texts, and as received lines ended by CR LF.
QStringList numbers(int first, int last);
QString asLines(const QStringList& texts);
// The numbers first to last one per row in column, from row on.
void addColumn(SheetCells& cells, int column, int row, int first, int last);
// The first cell where the sheets differ from what was due, in value or in kind; empty if none.
QString firstDifference(const QList<SheetCells>& actual, const QList<SheetCells>& expected);
