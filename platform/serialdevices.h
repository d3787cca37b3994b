#pragma once

#include <QList>
#include <QString>

// A serial device of this machine, as the system describes it.
struct SerialDevice {
    QString path{};        // "/dev/ttyUSB0"
    QString stablePath{};  // the name that survives replugging ("/dev/serial/by-id/..."), if any
    QString description{}; // "FT232R USB UART"
    QString manufacturer{};
    QString serialNumber{};

    // "/dev/ttyUSB0 — FT232R USB UART (FTDI, A50285BI)": the path, then what is known of it.
    QString label() const;
    bool operator==(const SerialDevice&) const = default;
};

// The serial devices present, and whether this user may open one.
class SerialDevices {
public:
    virtual ~SerialDevices() = default;
    virtual QList<SerialDevice> present() const = 0;
    // False when the user lacks the permission to read and write the device.
    virtual bool mayOpen(const QString& path) const = 0;
};

// The machine's own: Qt SerialPort's port information, with the stable names of
// /dev/serial/by-id.
class SystemSerialDevices final : public SerialDevices {
public:
    QList<SerialDevice> present() const override;
    bool mayOpen(const QString& path) const override;
};

// Why a path cannot be a serial device, as a sentence for the user; empty when it can: a
// character device that is a terminal, or a name under /dev that is not there now (a device
// unplugged). Devices this user may not open are given the benefit of the doubt.
QString notSerialDevice(const QString& path);
