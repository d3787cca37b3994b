#pragma once

#include "serialdevices.h"

// Serial devices as the test says they are.
class FakeSerialDevices final : public SerialDevices {
public:
    explicit FakeSerialDevices(QList<SerialDevice> present = {})
        : devices(std::move(present)) {}
    QList<SerialDevice> present() const override { return devices; }
    bool mayOpen(const QString&) const override { return allowed; }

    QList<SerialDevice> devices;
    bool allowed = true;
};
