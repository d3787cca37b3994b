#pragma once

#include "officetesthome.h"

#include <QList>
#include <QString>

// What a saved workbook holds of the lines an ORVA instrument sent with a running index
// (0000, 0001, ... 9999, 0000, ...), read in row order over all its sheets.
struct OrvaRows {
    qint64 rows = 0;      // rows holding a whole ORVA line in columns 1 to 8
    qint64 lost = 0;      // lines sent that no row holds
    qint64 doubled = 0;   // rows whose line a row before already held, or out of order
    qint64 malformed = 0; // rows that are not a whole ORVA line in columns 1 to 8
    QString firstProblem; // what was wrong first, for a reader of the test's output

    bool complete() const { return lost == 0 && doubled == 0 && malformed == 0; }
};

// Every row must be one line, in the order sent: the leading 0, the index, the date and time
// as texts, the measurement (40 to 60) and temperature (20 to 25) as numbers, with their unit
// tags, and nothing right of column 8.
OrvaRows readOrvaRows(const QList<SheetCells>& sheets, qint64 linesSent);
