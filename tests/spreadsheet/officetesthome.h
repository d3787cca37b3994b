#pragma once

#include "calcoptions.h"
#include "spreadsheetcontract.h"

#include <QTemporaryDir>

#include <sys/types.h>

// HOME and the XDG folders in a temporary folder with a dot in its name, where a headless office
// has made its profile. "My Macros" hold PersonalTidy (writes "ran" into file("ran")),
// file("macros.ods") the macros Tidy (writes "tidied" to J1) and Fails.
class OfficeTestHome {
public:
    OfficeTestHome();
    bool isReady() const { return m_ready; }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    CalcOptions options() const { return CalcOptions::fromEnvironment(); }
    // Opens a fresh copy of the master workbook made as file(name); 0 when that fails.
    WorkbookId openMasterCopy(SpreadsheetApp& app, const QString& name) const;

private:
    QTemporaryDir m_dir;
    bool m_ready = false;
};

// Every sheet of an .xls file, read by an independent reader; none when unreadable.
QList<SheetCells> readXls(const QString& path);
// The offices this process started and has not reaped.
QList<pid_t> officeProcesses();
