#pragma once

#include "officetesthome.h"

#include <QString>
#include <QStringList>

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

// The first cell where a sheet differs from what was expected, in value or in kind (number
// or text); empty when none.
QString firstDifference(const SheetCells& actual, const SheetCells& expected);
