#pragma once

#include <QString>
#include <QStringList>

// Qt name filters for a spreadsheet-style filter text: descriptions and patterns alternate,
// separated by commas, several patterns of one entry by ";" ("Excel workbook,*.xls" gives
// "Excel workbook (*.xls)"). An empty text gives no filter.
QStringList qtNameFilters(const QString& filter);

// Asks the user for a file name to save under, in a modal Qt file dialog (not the desktop's
// own, so that it behaves the same everywhere). The dialog starts in folder, with initialName
// filled in. The answer is the name the workbook is stored under (workbookFileName()), asked
// about when that file exists; empty when the user cancelled.
QString askSaveAsFilename(const QString& initialName, const QString& filter, const QString& title,
                          const QString& folder);
