#include "appsettings.h"

#include "numbertext.h"
#include "settings.h"

#include <cmath>

namespace {

const QString kComPort = QStringLiteral("Communication/ComPort");
const QString kEnable = QStringLiteral("Excel Macro/Enable");
const QString kName = QStringLiteral("Excel Macro/Name");

qint16 portFromText(const QString& text) {
    const auto number = numberFromText(text);
    if (!number)
        return 1;
    const double port = std::nearbyint(*number);
    return port >= 1 && port <= 255 ? qint16(port) : qint16(1);
}

bool flagFromText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (const auto number = numberFromText(trimmed))
        return *number != 0;
    return false;
}

} // namespace

AppSettings loadAppSettings() {
    auto store = openSettings();
    AppSettings settings;
    settings.comPort = portFromText(store->value(kComPort, QStringLiteral("1")).toString());
    settings.macroEnabled = flagFromText(store->value(kEnable, QStringLiteral("False")).toString());
    settings.macroName = store->value(kName, QString()).toString();
    return settings;
}

void saveAppSettings(const AppSettings& settings) {
    auto store = openSettings();
    store->setValue(kComPort, QString::number(settings.comPort));
    store->setValue(kEnable,
                    settings.macroEnabled ? QStringLiteral("True") : QStringLiteral("False"));
    store->setValue(kName, settings.macroName);
    store->sync();
}
