#pragma once

#include <QString>

// The file formats a workbook is stored in, by the extension of its file name. Only formats
// that keep every sheet of a workbook count: .xls, .xlsx and .ods.

// The name a workbook is stored under: a name whose extension names none of these formats
// ("run 12.06.2026", "data.csv", "plain") gets ".xls".
QString workbookFileName(const QString& fileName);
// The office's filter for the extension of the file name; empty for any other extension.
QString storeFilterFor(const QString& fileName);
