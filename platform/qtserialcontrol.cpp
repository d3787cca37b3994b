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
    // The port is read where it lives, as the text arrives.
    connect(&m_serialPort, &QSerialPort::errorOccurred, this, &QtSerialControl::onErrorOccurred,
            Qt::DirectConnection);
    connect(&m_serialPort, &QSerialPort::readyRead, this, &QtSerialControl::onReadyRead,
            Qt::DirectConnection);
    m_serialPort.moveToThread(&m_reader);
    m_reader.start();
}

QtSerialControl::~QtSerialControl() {
    onReader([this] { close(); });
    m_reader.quit();
    m_reader.wait();
}

template <class Work> void QtSerialControl::onReader(Work work) {
    QMetaObject::invokeMethod(&m_serialPort, work, Qt::BlockingQueuedConnection);
}

bool QtSerialControl::setCommPort(qint16 port) {
    if (port < 1 || m_open)
        return false;
    m_commPort = port;
    return true;
}

bool QtSerialControl::setPortOpen(bool open) {
    if (!open) {
        if (!m_open)
            return false;
        onReader([this] { close(); });
        return true;
    }
    if (m_open)
        return false;
    const PortSettings settings = PortSettings::read(m_commPort, &m_openError);
    if (!m_openError.isEmpty())
        return false;
    return openDevice(settings.device, settings.line, settings.format,
                      QStringLiteral("COM%1Settings").arg(m_commPort));
}

bool QtSerialControl::openDevice(const QString& device, const LineSettings& line,
                                 const LineFormat& format, const QString& lineName) {
    onReader([&] { m_openError = open(device, line, lineName); });
    if (!m_openError.isEmpty())
        return false;
    m_format = format;
    m_lost = false;
    return true;
}

QString QtSerialControl::open(const QString& device, const LineSettings& line,
                              const QString& lineName) {
    if (m_serialPort.isOpen())
        close();
    m_serialPort.setPortName(device);
    if (!m_devices.mayOpen(device) || !m_serialPort.open(QIODevice::ReadOnly)) {
        const QString why = whyNotOpened(device);
        m_serialPort.clearError();
        return why;
    }
    if (!line.applyTo(m_serialPort)) {
        close();
        return QStringLiteral("%1 \"%2\" is refused by %3").arg(lineName, line.text(), device);
    }
    m_open = true;
    return {};
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
    ReceivedText taken;
    const QMutexLocker lock(&m_mutex);
    std::swap(taken, m_pending);
    return taken;
}

void QtSerialControl::onReadyRead() {
    const QByteArray bytes = m_serialPort.readAll();
    if (bytes.isEmpty())
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QMutexLocker lock(&m_mutex);
    m_pending.text += QString::fromLatin1(bytes);
    m_pending.arrivals.append({m_pending.text.size(), now});
}

void QtSerialControl::close() {
    if (m_serialPort.isOpen())
        m_serialPort.close();
    m_open = false;
}

void QtSerialControl::onErrorOccurred(QSerialPort::SerialPortError error) {
    // A device that went away shows as a resource error, or (a pseudo-terminal whose other end
    // closed) as a read error on every later attempt.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || !m_serialPort.isOpen())
        return;
    // What arrived before the device went is kept already: it was read as it came. Close once
    // so that a hung-up device cannot raise a stream of further errors.
    const QString reason = m_serialPort.errorString();
    close();
    m_serialPort.clearError();
    m_lost = true;
    emit lost(reason);
}
