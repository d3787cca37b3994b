#include "qtserialcontrol.h"

#include "linesettings.h"
#include "settings.h"

#include <QDateTime>

namespace {

// The line without a COMnSettings key.
const QString kDefaultLine = QStringLiteral("9600,n,8,1");

// What the settings file holds under [Ports] for a key. A value with commas that is not quoted
// reads as a list; it is the text as written all the same.
QString portSetting(const QString& key) {
    auto settings = openSettings();
    return settings->value(QStringLiteral("Ports/") + key).toStringList().join(u',').trimmed();
}

} // namespace

QtSerialControl::QtSerialControl(QObject* parent)
    : QObject(parent) {
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

QString QtSerialControl::deviceForPort(qint16 port) {
    const QString key = QStringLiteral("COM%1").arg(port);
#ifdef Q_OS_WIN
    return key;
#else
    const QString mapped = portSetting(key);
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
    m_openError.clear();
    const QString key = QStringLiteral("COM%1Settings").arg(m_commPort);
    const QString written = portSetting(key);
    const QString text = written.isEmpty() ? kDefaultLine : written;
    const auto line = LineSettings::parse(text);
    if (!line) {
        m_openError = QStringLiteral("%1 \"%2\" is not a line setting").arg(key, text);
        return false;
    }
    const auto format =
        LineFormat::read(QStringLiteral("COM%1").arg(m_commPort), portSetting, m_openError);
    if (!format)
        return false;
    m_format = *format;
    const QString device = deviceForPort(m_commPort);
    m_serialPort.setPortName(device);
    if (!m_serialPort.open(QIODevice::ReadOnly))
        return false;
    if (!line->applyTo(m_serialPort)) {
        m_serialPort.close();
        m_openError = QStringLiteral("%1 \"%2\" is refused by %3").arg(key, text, device);
        return false;
    }
    m_lost = false;
    return true;
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
    m_serialPort.close();
    m_serialPort.clearError();
    m_lost = true;
    emit lost(reason);
}
