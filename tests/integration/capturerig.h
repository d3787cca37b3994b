#pragma once

#include "calcspreadsheet.h"
#include "capture.h"
#include "fakeserial.h"
#include "fixedclock.h"
#include "modshell.h"
#include "officetesthome.h"
#include "receivepath.h"
#include "recordingcaptureview.h"

#include <QString>
#include <QStringList>

// One capture into a real office, without the main window: capture start and stop with the
// Calc bridge, the documents folder of the home the process runs in, a serial port in memory,
// the receive path and a window that records. Block time stamps read 14:30:00 (14.5 hours).
struct CaptureRig {
    // masterFolder holds the master workbook (normally the program's folder).
    explicit CaptureRig(const QString& masterFolder);

    // Feeds text as received on the port and pumps until every complete line is written, as
    // the capture does: a busy office is retried. False when a write failed otherwise. An
    // incomplete last line stays in the receive buffer.
    bool receive(const QString& text);

    // Stops the capture and answers the question for a new name with path. True when the
    // question came and was answered.
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

// Received text and the cells it gives, for checks of whole captures.

// An ORVA line of 12-06-2026 14:05:09 with the index (four digits) and the two values.
QString orvaLine(int index, int measurement, int temperature);
// The eight cells of that line as the reader sees them, from column 1 of the row.
void addOrvaRow(SheetCells& cells, int row, int index, int measurement, int temperature);
// The numbers first to last, as texts.
QStringList numbers(int first, int last);
// The texts as received lines, each ended by CR LF.
QString asLines(const QStringList& texts);
// The numbers first to last one per row in column, from row on.
void addColumn(SheetCells& cells, int column, int row, int first, int last);
