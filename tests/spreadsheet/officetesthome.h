#pragma once

#include "calcoptions.h"
#include "spreadsheet.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <optional>

#include <sys/types.h>

// The cells of one sheet by (row, column), 1-based: a double for a number, a QString for a
// text. Empty cells are absent.
using SheetCells = QMap<QPair<int, int>, QVariant>;

// A home of the test's own: HOME and the XDG folders point into a temporary folder, so the
// office's profile, the documents folder and the start-up folder belong to the test. The office
// runs headless.
class OfficeTestHome {
public:
    OfficeTestHome();
    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    // The bridge's options for this home (what the program itself would use).
    CalcOptions options() const { return CalcOptions::fromEnvironment(); }
    // Starts and quits an office once, so that its profile exists (a new profile costs the
    // first start a restart) and can be given macros.
    bool prepareProfile() const;

private:
    QTemporaryDir m_dir;
};

// The master workbook beside the test executables.
QString masterWorkbook();

// Opens a fresh copy of the master workbook, made at path; 0 when that fails.
WorkbookId openMasterCopy(SpreadsheetApp& app, const QString& path);
// A workbook (.ods) with the test macros Tidy (writes "tidied" to J1), Fails and CloseMe.
bool makeMacroBook(const QString& path);
// "My Macros" of the profile: PersonalTidy writes "ran" into the file mark.
bool makeUserMacros(const QString& profileDir, const QString& mark);
// Every sheet of an .xls file, read by an independent reader (xlrd); no value when unreadable.
std::optional<QList<SheetCells>> readXls(const QString& path);
// True once the process has ended and been reaped (and was a process at all).
bool processGone(pid_t pid);
