#include "portsettings.h"

#include "settings.h"

namespace {

QString portName(qint16 port) {
    return QStringLiteral("COM%1").arg(port);
}

QString keyOf(const QString& key) {
    return QStringLiteral("Ports/") + key;
}

} // namespace

PortSettings PortSettings::read(qint16 port, QString* error) {
    const auto settings = openSettings();
    // A value with commas that is not quoted reads as a list; it is the text as written.
    const auto setting = [&](const QString& key) {
        return settings->value(keyOf(key)).toStringList().join(u',').trimmed();
    };
    QString why;
    PortSettings read;
    const QString name = portName(port);
#ifdef Q_OS_WIN
    read.device = name;
#else
    read.device = setting(name);
    if (read.device.isEmpty())
        read.device = QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
    const QString lineKey = name + QStringLiteral("Settings");
    const QString lineText = setting(lineKey);
    if (!lineText.isEmpty()) {
        if (const auto line = LineSettings::parse(lineText))
            read.line = *line;
        else
            why = QStringLiteral("%1 \"%2\" is not a line setting").arg(lineKey, lineText);
    }
    QString formatError;
    if (const auto format = LineFormat::read(name, setting, formatError))
        read.format = *format;
    else if (why.isEmpty())
        why = formatError;
    if (error)
        *error = why;
    return read;
}

QString PortSettings::write(qint16 port) const {
    const auto settings = openSettings();
    const QString name = portName(port);
#ifndef Q_OS_WIN
    settings->setValue(keyOf(name), device);
#endif
    settings->setValue(keyOf(name + QStringLiteral("Settings")), line.text());
    for (const auto& [key, value] : format.settings(name))
        settings->setValue(keyOf(key), value);
    settings->sync();
    if (settings->status() == QSettings::NoError)
        return {};
    return QStringLiteral("The settings file %1 cannot be written.").arg(settings->fileName());
}

QString PortSettings::summary(qint16 port) const {
    return QStringLiteral("COM %1: %2, %3").arg(port).arg(device, line.text());
}
