#pragma once

#include <QString>
#include <QtGlobal>

// The three values kept between runs: read once when the main window loads, written once
// when it unloads.
struct AppSettings {
    qint16 comPort = 1;
    bool macroEnabled = false;
    QString macroName;
};

// Reads the settings file; absent or unreadable values take their defaults: a port that is
// not a number from 1 to 255 is 1; "Enable" is true for "True" in any letter case or a non-zero
// number, false for anything else.
AppSettings loadAppSettings();
void saveAppSettings(const AppSettings& settings);
