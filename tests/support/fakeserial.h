#pragma once

#include "serialcontrol.h"

#include <utility>

// A serial control in memory: the test feeds what "arrives", and can make the device vanish.
class FakeSerial final : public SerialControl {
public:
    qint16 commPort() const override { return m_port; }
    bool setCommPort(qint16 port) override {
        if (m_open || port < 1)
            return false;
        m_port = port;
        return true;
    }
    bool portOpen() const override { return m_open; }
    bool setPortOpen(bool open) override {
        ++openCalls;
        if (open == m_open)
            return false;
        if (open) {
            m_openError = badSettings;
            if (!devicepresent || !m_openError.isEmpty())
                return false;
            m_lost = false;
        }
        m_open = open;
        return true;
    }
    QString input() override { return std::exchange(arrived, QString()); }
    QString openError() const override { return m_openError; }
    bool portLost() const override { return m_lost; }

    void loseDevice() { // while open
        devicepresent = false;
        m_open = false;
        m_lost = true;
    }

    QString arrived;
    bool devicepresent = true;
    QString badSettings; // why opening fails while a setting is to blame
    int openCalls = 0;

private:
    qint16 m_port = 1;
    bool m_open = false;
    bool m_lost = false;
    QString m_openError;
};
