#include "qtserialcontrol.h"

#include "portsettings.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStringList>

QtSerialControl::QtSerialControl(const SerialDevices& devices, QObject* parent)
    : QObject(parent)
    , m_devices(devices) {
    // Nothing may be lost while the capture is paused: no limit on what the port collects.
    m_serialPort.setReadBufferSize(0);
    connect(&m_serialPort, &QSerialPort::errorOccurred, this, &QtSerialControl::onErrorOccurred);
    connect(&m_serialPort, &QSerialPort::readyRead, this, &QtSerialControl::onReadyRead);
}

bool QtSerialControl::setCommPort(qint16 port) {
    if (port < 1 || m_serialPort.isOpen())
        return false;
    m_commPort = port;
    return true;
}

bool QtSerialControl::setPortOpen(bool open) {
    if (!open) {
        if (!m_serialPort.isOpen())
            return false;
        close();
        return true;
    }
    if (m_serialPort.isOpen())
        return false;
    const PortSettings settings = PortSettings::read(m_commPort, &m_openError);
    if (!m_openError.isEmpty())
        return false;
    return openDevice(settings.device, settings.line, settings.format,
                      QStringLiteral("COM%1Settings").arg(m_commPort));
}

bool QtSerialControl::openDevice(const QString& device, const LineSettings& line,
                                 const LineFormat& format, const QString& lineName) {
    if (m_serialPort.isOpen())
        close();
    m_openError.clear();
    m_serialPort.setPortName(device);
    if (!m_devices.mayOpen(device) || !m_serialPort.open(QIODevice::ReadOnly)) {
        m_openError = whyNotOpened(device);
        m_serialPort.clearError();
        return false;
    }
    if (!line.applyTo(m_serialPort)) {
        close();
        m_openError =
            QStringLiteral("%1 \"%2\" is refused by %3").arg(lineName, line.text(), device);
        return false;
    }
    m_format = format;
    m_lost = false;
    return true;
}

QString QtSerialControl::whyNotOpened(const QString& device) const {
#ifndef Q_OS_WIN // there a port is named COMn, not a file
    if (!QFileInfo::exists(device)) {
        QStringList present;
        for (const SerialDevice& serial : m_devices.present())
            present << serial.path;
        return present.isEmpty()
                   ? QStringLiteral("%1 does not exist, and no serial device is present")
                         .arg(device)
                   : QStringLiteral("%1 does not exist; the serial devices present are %2")
                         .arg(device, present.join(QStringLiteral(", ")));
    }
    if (!m_devices.mayOpen(device))
        return QStringLiteral("no permission to open %1: add your user to the \"%2\" group and log "
                              "in again")
            .arg(device, QFileInfo(QFileInfo(device).canonicalFilePath()).group());
#endif
    if (m_serialPort.error() == QSerialPort::PermissionError)
        return QStringLiteral("%1 is in use by another program").arg(device);
    return QStringLiteral("%1 cannot be opened: %2").arg(device, m_serialPort.errorString());
}

ReceivedText QtSerialControl::input() {
    takeAvailable();
    ReceivedText taken;
    std::swap(taken, m_pending);
    return taken;
}

void QtSerialControl::onReadyRead() {
    const qint64 available = m_serialPort.bytesAvailable();
    if (available <= m_stamped)
        return;
    m_stamped = available;
    m_pending.arrivals.append(
        {m_pending.text.size() + available, QDateTime::currentMSecsSinceEpoch()});
}

void QtSerialControl::close() {
    m_serialPort.close();
    // What the port held unread is gone with it, and so are the times of it.
    m_pending.arrivals.removeIf([this](const ReceivedText::Arrival& arrival) {
        return arrival.end > m_pending.text.size();
    });
    m_stamped = 0;
}

void QtSerialControl::takeAvailable() {
    if (!m_serialPort.isOpen())
        return;
    // Bytes the port read without telling us yet are stamped now.
    onReadyRead();
    m_pending.text += QString::fromLatin1(m_serialPort.readAll());
    m_stamped = 0;
}

void QtSerialControl::onErrorOccurred(QSerialPort::SerialPortError error) {
    // A device that went away shows as a resource error, or (a pseudo-terminal whose other end
    // closed) as a read error on every later attempt.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || !m_serialPort.isOpen())
        return;
    // Keep what arrived before the device went, then close once so that a hung-up device
    // cannot raise a stream of further errors.
    takeAvailable();
    const QString reason = m_serialPort.errorString();
    close();
    m_serialPort.clearError();
    m_lost = true;
    emit lost(reason);
}
