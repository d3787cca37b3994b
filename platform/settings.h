#pragma once

#include <QSettings>

#include <memory>

// The one per-user settings file of the program: INI format, organisation and application
// "Celvane" (on Linux ~/.config/Celvane/Celvane.ini).
std::unique_ptr<QSettings> openSettings();
