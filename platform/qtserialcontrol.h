#pragma once

#include "lineformat.h"
#include "linesettings.h"
#include "serialcontrol.h"
#include "serialdevices.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QSerialPort>
#include <QThread>

#include <atomic>

// The serial control on top of Qt SerialPort. Port n's device, line settings and line format
// are what the settings file holds for it (see PortSettings), read each time the port opens.
// The port is read on a thread of its own, whatever the caller's thread is busy with, and every
// piece of text is stamped with the time it was read from the device. When a port does not
// open, openError() says why in words the user can act on: the device does not exist (and which
// ones do), the user may not open it, or another program holds it.
class QtSerialControl final : public QObject, public SerialControl {
    Q_OBJECT
public:
    explicit QtSerialControl(const SerialDevices& devices, QObject* parent = nullptr);
    ~QtSerialControl() override;

    qint16 commPort() const override { return m_commPort; }
    bool setCommPort(qint16 port) override;
    bool portOpen() const override { return m_open; }
    bool setPortOpen(bool open) override;
    QString openError() const override { return m_openError; }
    LineFormat lineFormat() const override { return m_format; }
    ReceivedText input() override;
    bool portLost() const override { return m_lost; }

    // Opens a device with these settings, whatever the port number stands for; false when it
    // did not open, with the reason in openError(). lineName names the line settings in that
    // reason ("COM3Settings").
    bool openDevice(const QString& device, const LineSettings& line, const LineFormat& format,
                    const QString& lineName);

signals:
    // Emitted once when an open port goes away.
    void lost(const QString& reason);

private slots:
    // On the reading thread.
    void onErrorOccurred(QSerialPort::SerialPortError error);
    // On the reading thread: stamps and keeps what the port has just read from the device.
    void onReadyRead();

private:
    // Runs the work on the reading thread, which owns the port, and waits for it.
    template <class Work> void onReader(Work work);
    // The following on the reading thread.
    QString open(const QString& device, const LineSettings& line, const QString& lineName);
    // Why the device did not open, when no setting was to blame.
    QString whyNotOpened(const QString& device) const;
    // Closes the port; what it held unread is dropped.
    void close();

    const SerialDevices& m_devices;
    QThread m_reader;
    QSerialPort m_serialPort; // lives on m_reader
    QMutex m_mutex;
    ReceivedText m_pending; // read from the port, not yet handed out; under m_mutex
    LineFormat m_format;
    QString m_openError;
    qint16 m_commPort = 1;
    std::atomic<bool> m_open = false;
    std::atomic<bool> m_lost = false;
};
