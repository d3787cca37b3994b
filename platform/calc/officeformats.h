#pragma once

#include <QString>

// The file formats a workbook is stored in, by the extension of its file name.

// The name a workbook is stored under: a name without an extension gets ".xls".
QString workbookFileName(const QString& fileName);
// The office's filter for the extension of the file name (.xls, .xlsx, .ods, .csv); empty for
// any other extension.
QString storeFilterFor(const QString& fileName);
