#pragma once

#include "calcoptions.h"
#include "spreadsheet.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <sys/types.h>

// The cells of one sheet by (row, column), 1-based: a double for a number, a QString for a
// text. Empty cells are absent.
using SheetCells = QMap<QPair<int, int>, QVariant>;

// A home of the test's own: HOME and the XDG folders point into a temporary folder (with a dot
// in its name, which is no file extension), so the office's profile, the documents folder and
// the start-up folder belong to the test. The office runs headless; it is started and quit
// once, so that its profile exists (a new profile costs the first start a restart). Its "My
// Macros" hold PersonalTidy, which writes "ran" into file("ran"); file("macros.ods") is a
// workbook with the macros Tidy (writes "tidied" to J1), Fails and CloseMe.
class OfficeTestHome {
public:
    OfficeTestHome();
    // The home exists, an office started and quit in it, and the macros are in place.
    bool isReady() const { return m_ready; }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    // The bridge's options for this home (what the program itself would use).
    CalcOptions options() const { return CalcOptions::fromEnvironment(); }
    // Opens a fresh copy of the master workbook, made as file(name); 0 when that fails.
    WorkbookId openMasterCopy(SpreadsheetApp& app, const QString& name) const;

private:
    QTemporaryDir m_dir;
    bool m_ready = false;
};

// The master workbook beside the test executables.
QString masterWorkbook();
// Every sheet of an .xls file, read by an independent reader (xlrd); none when unreadable.
QList<SheetCells> readXls(const QString& path);
// The first cell, in row order, where the sheets differ from what was due, in value or in kind
// (a number and a text that reads as it differ); empty when none.
QString firstDifference(const QList<SheetCells>& actual, const QList<SheetCells>& expected);
// The offices this process started and has not reaped: its children named soffice.bin.
QList<pid_t> officeProcesses();
