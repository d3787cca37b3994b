#pragma once

#include "serialcontrol.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>

// The serial control on top of Qt SerialPort. Port n is "COMn" on Windows; elsewhere the device
// named in the settings file under [Ports] COMn=..., or /dev/ttyS(n-1) when there is no such
// key. Its line settings are [Ports] COMnSettings=... (see LineSettings), 9600 baud, no parity,
// 8 data bits, 1 stop bit and no flow control when there is no such key. Both are read each time
// the port opens.
class QtSerialControl final : public QObject, public SerialControl {
    Q_OBJECT
public:
    explicit QtSerialControl(QObject* parent = nullptr);

    qint16 commPort() const override { return m_commPort; }
    bool setCommPort(qint16 port) override;
    bool portOpen() const override { return m_serialPort.isOpen(); }
    bool setPortOpen(bool open) override;
    QString openError() const override { return m_openError; }
    QString input() override;
    bool portLost() const override { return m_lost; }

    // The device path that port number n stands for, as read now from the settings file.
    static QString deviceForPort(qint16 port);

signals:
    // Emitted once when an open port goes away.
    void lost(const QString& reason);

private slots:
    void onErrorOccurred(QSerialPort::SerialPortError error);

private:
    QSerialPort m_serialPort;
    QByteArray m_pending; // read before the port was closed on a loss
    QString m_openError;
    qint16 m_commPort = 1;
    bool m_lost = false;
};
