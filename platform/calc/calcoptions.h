#pragma once

#include <QString>

// Where the office program lives and where it keeps what belongs to the user.
struct CalcOptions {
    // The office program itself (not its start-up wrapper).
    QString office;
    // The office's own user profile: persistent, private to this program. Its "My Macros"
    // library stands for the personal macro workbook.
    QString profileDir;
    // The folder that stands for the spreadsheet's start-up folder ("Personal.xls" lives here).
    QString startupDir;
    // Where a modified workbook is kept when the office ends with nobody to ask.
    QString recoveryDir;
    // The office shows no window at all.
    bool headless = true;

    // The defaults for this user: the profile in the user's data folder, the start-up folder in
    // the user's configuration folder, recovery copies in the user's documents folder. The
    // office runs headless when CELVANE_HEADLESS is set (to anything but "0") or when there is
    // no display.
    static CalcOptions fromEnvironment();
};
