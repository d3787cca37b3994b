#pragma once

#include "spreadsheet.h"

#include <QString>

#include <memory>

// State shared between the main window, the receive path, capture start and stop, and the
// emulator window. One object lives for the whole run; modMain owns it and hands it out.
struct modGlobals {
    // The emulator's hand-over to the receive path.
    bool emulatorActive = false;  // the emulator window is loaded
    QString emulatorOutput;       // its newest output, taken and emptied by the receive path
    bool injectSingleTab = false; // rewrite the next output as two TAB-separated numbers

    // First column of the current block of data lines.
    qint16 blockColumn = 1;

    // The spreadsheet and the capture workbook of the running capture; empty outside one.
    std::unique_ptr<SpreadsheetApp> excelApp;
    WorkbookId captureBook = 0;

    // The user macro run at capture stop.
    bool macroEnabled = false;
    QString macroName;

    // The emulator's range controls: which bar of a group last had the focus (1 master,
    // 2 minimum, 3 maximum) and the maintained distance between minimum and maximum.
    qint16 measureFocus = 0;
    qint16 measureWindow = 0;
    qint16 tempFocus = 0;
    qint16 tempWindow = 0;
};
