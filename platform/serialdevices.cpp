#include "serialdevices.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString SerialDevice::label() const {
    QStringList known;
    if (!manufacturer.isEmpty())
        known << manufacturer;
    if (!serialNumber.isEmpty())
        known << serialNumber;
    QString text = path;
    if (!description.isEmpty() || !known.isEmpty())
        text += QStringLiteral(" \u2014 ") + description;
    if (!known.isEmpty())
        text += (description.isEmpty() ? QStringLiteral("(") : QStringLiteral(" (")) +
                known.join(QStringLiteral(", ")) + u')';
    return text;
}

QList<SerialDevice> SystemSerialDevices::present() const {
    // The stable names are links to the devices.
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    const QFileInfoList links =
        byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    QList<SerialDevice> devices;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        SerialDevice device{port.systemLocation(),
                            {},
                            port.description(),
                            port.manufacturer(),
                            port.serialNumber()};
        for (const QFileInfo& link : links) {
            if (link.canonicalFilePath() == QFileInfo(device.path).canonicalFilePath())
                device.stablePath = link.absoluteFilePath();
        }
        devices << device;
    }
    return devices;
}

#ifdef Q_OS_WIN
// A port is named COMn there, and no group keeps a user from it.
bool SystemSerialDevices::mayOpen(const QString&) const {
    return true;
}

QString notSerialDevice(const QString&) {
    return {};
}
#else
bool SystemSerialDevices::mayOpen(const QString& path) const {
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
}

QString notSerialDevice(const QString& path) {
    const QString notOne = QStringLiteral("%1 is not a serial device.").arg(path);
    const QFileInfo file(path);
    if (!file.exists())
        return path.startsWith(QStringLiteral("/dev/")) ? QString() : notOne;
    struct stat status {};
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &status) != 0 || !S_ISCHR(status.st_mode))
        return notOne;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return {};
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal ? QString() : notOne;
}
#endif
