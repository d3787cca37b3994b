#pragma once

#include "serialcontrol.h"

#include <QDateTime>

#include <utility>

// A serial control in memory: the test feeds what "arrives", and can make the device vanish.
class FakeSerial final : public SerialControl {
public:
    qint16 commPort() const override { return m_port; }
    bool setCommPort(qint16 port) override { return !m_open && port >= 1 && (m_port = port); }
    bool portOpen() const override { return m_open; }
    bool setPortOpen(bool open) override {
        m_openError = open ? badSettings : m_openError;
        if (open == m_open || (open && (!devicepresent || !badSettings.isEmpty())))
            return false;
        m_lost = m_lost && !open;
        m_open = open;
        return true;
    }
    ReceivedText input() override {
        ReceivedText text{std::exchange(arrived, next.isEmpty() ? QString() : next.takeFirst()),
                          {}};
        if (readAt.isValid() && !text.text.isEmpty())
            text.arrivals = {{text.text.size(), readAt.toMSecsSinceEpoch()}};
        return text;
    }
    QString openError() const override { return m_openError; }
    LineFormat lineFormat() const override { return format; }
    bool portLost() const override { return m_lost; }
    void loseDevice() { devicepresent = m_open = false, m_lost = true; } // while open

    QStringList next;             // what arrives by each following read, one each
    QString arrived, badSettings; // badSettings: why opening fails, a setting being to blame
    QDateTime readAt;             // when what arrives was read; unset: the time it is taken
    LineFormat format;
    bool devicepresent = true;

private:
    qint16 m_port = 1;
    bool m_open = false, m_lost = false;
    QString m_openError;
};
