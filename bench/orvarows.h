#pragma once

#include "officetesthome.h"

#include <utility>

// What a saved workbook holds of ORVA lines sent with a running index (0000 ... 9999, 0000 ...),
// read in row order over all sheets. Each row must be one whole line in columns 1 to 8, or, with
// the time of arrival, its time in column 1 and the line in columns 2 to 9.
struct OrvaRows {
    qint64 rows = 0;      // whole ORVA lines
    qint64 lost = 0;      // lines sent that no row holds
    qint64 doubled = 0;   // rows holding a line again, or out of order
    qint64 malformed = 0; // rows that are no whole ORVA line
    QString firstProblem;
    // With the time of arrival: each line found, by its running number (0, 1, ... without
    // wrapping round), and its time in milliseconds since the epoch.
    QList<std::pair<qint64, qint64>> arrivals;

    bool complete() const { return lost == 0 && doubled == 0 && malformed == 0; }
};

OrvaRows readOrvaRows(const QList<SheetCells>& sheets, qint64 linesSent, bool timed = false);
