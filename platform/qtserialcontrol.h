#pragma once

#include "serialcontrol.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>

// The serial control on top of Qt SerialPort. Port n is "COMn" on Windows; elsewhere the device
// named in the settings file under [Ports] COMn=..., or /dev/ttyS(n-1) when there is no such
// key. Its line settings are [Ports] COMnSettings=... (see LineSettings), 9600 baud, no parity,
// 8 data bits, 1 stop bit and no flow control when there is no such key. Both are read each time
// the port opens, and so are the keys of its line format (see LineFormat). Every piece of text
// is stamped with the time it was read from the device.
class QtSerialControl final : public QObject, public SerialControl {
    Q_OBJECT
public:
    explicit QtSerialControl(QObject* parent = nullptr);

    qint16 commPort() const override { return m_commPort; }
    bool setCommPort(qint16 port) override;
    bool portOpen() const override { return m_serialPort.isOpen(); }
    bool setPortOpen(bool open) override;
    QString openError() const override { return m_openError; }
    LineFormat lineFormat() const override { return m_format; }
    ReceivedText input() override;
    bool portLost() const override { return m_lost; }

    // The device path that port number n stands for, as read now from the settings file.
    static QString deviceForPort(qint16 port);

signals:
    // Emitted once when an open port goes away.
    void lost(const QString& reason);

private slots:
    void onErrorOccurred(QSerialPort::SerialPortError error);
    // Stamps the bytes the port has just read from the device.
    void onReadyRead();

private:
    // Takes what the port holds, stamped, into m_pending.
    void takeAvailable();

    QSerialPort m_serialPort;
    LineFormat m_format;
    ReceivedText m_pending; // read from the port, not yet handed out
    qint64 m_stamped = 0;   // of what the port holds, the bytes already stamped
    QString m_openError;
    qint16 m_commPort = 1;
    bool m_lost = false;
};
