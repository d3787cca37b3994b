#include "qtserialcontrol.h"

#include "linesettings.h"
#include "settings.h"

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
