#include "calcoptions.h"

#include <QStandardPaths>

CalcOptions CalcOptions::fromEnvironment() {
    CalcOptions options;
    options.office = QStringLiteral(LIBREOFFICE_PROGRAM_DIR "/soffice.bin");
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    options.profileDir = data + QStringLiteral("/Celvane/office");
    options.startupDir = config + QStringLiteral("/Celvane/startup");
    options.recoveryDir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QByteArray forced = qgetenv("CELVANE_HEADLESS");
    const bool noDisplay =
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    options.headless = (!forced.isEmpty() && forced != "0") || noDisplay;
    return options;
}
