#include "qtserialcontrol.h"

#include "settings.h"

QtSerialControl::QtSerialControl(QObject* parent)
    : QObject(parent) {
    // Nothing may be lost while the capture is paused: no limit on what the port collects.
    m_serialPort.setReadBufferSize(0);
    connect(&m_serialPort, &QSerialPort::errorOccurred, this, &QtSerialControl::onErrorOccurred);
}

bool QtSerialControl::setCommPort(qint16 port) {
    if (port < 1 || m_serialPort.isOpen())
        return false;
    m_commPort = port;
    return true;
}

QString QtSerialControl::deviceForPort(qint16 port) {
    const QString key = QStringLiteral("COM%1").arg(port);
#ifdef Q_OS_WIN
    return key;
#else
    auto settings = openSettings();
    const QString mapped = settings->value(QStringLiteral("Ports/") + key).toString().trimmed();
    if (!mapped.isEmpty())
        return mapped;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

bool QtSerialControl::setPortOpen(bool open) {
    if (!open) {
        if (!m_serialPort.isOpen())
            return false;
        m_serialPort.close();
        return true;
    }
    if (m_serialPort.isOpen())
        return false;
    m_serialPort.setPortName(deviceForPort(m_commPort));
    if (!m_serialPort.open(QIODevice::ReadOnly))
        return false;
    const bool configured = m_serialPort.setBaudRate(QSerialPort::Baud9600) &&
                            m_serialPort.setDataBits(QSerialPort::Data8) &&
                            m_serialPort.setParity(QSerialPort::NoParity) &&
                            m_serialPort.setStopBits(QSerialPort::OneStop) &&
                            m_serialPort.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        m_serialPort.close();
        return false;
    }
    m_lost = false;
    return true;
}

QString QtSerialControl::input() {
    QByteArray data;
    data.swap(m_pending);
    if (m_serialPort.isOpen())
        data += m_serialPort.readAll();
    return QString::fromLatin1(data);
}

void QtSerialControl::onErrorOccurred(QSerialPort::SerialPortError error) {
    // A device that went away shows as a resource error, or (a pseudo-terminal whose other end
    // closed) as a read error on every later attempt.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || !m_serialPort.isOpen())
        return;
    // Keep what arrived before the device went, then close once so that a hung-up device
    // cannot raise a stream of further errors.
    m_pending += m_serialPort.readAll();
    const QString reason = m_serialPort.errorString();
    m_serialPort.close();
    m_serialPort.clearError();
    m_lost = true;
    emit lost(reason);
}
