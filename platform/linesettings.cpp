#include "linesettings.h"

#include <QStringList>

#include <algorithm>

namespace {

std::optional<qint32> baudFrom(const QString& field) {
    const bool digits = !field.isEmpty() && std::all_of(field.cbegin(), field.cend(), [](QChar c) {
        return c >= u'0' && c <= u'9';
    });
    bool ok = false;
    const qint32 baud = field.toInt(&ok);
    if (!digits || !ok || baud <= 0)
        return std::nullopt;
    return baud;
}

std::optional<QSerialPort::Parity> parityFrom(const QString& field) {
    const QString letter = field.toLower();
    if (letter == u"n")
        return QSerialPort::NoParity;
    if (letter == u"e")
        return QSerialPort::EvenParity;
    if (letter == u"o")
        return QSerialPort::OddParity;
    if (letter == u"m")
        return QSerialPort::MarkParity;
    if (letter == u"s")
        return QSerialPort::SpaceParity;
    return std::nullopt;
}

std::optional<QSerialPort::DataBits> dataBitsFrom(const QString& field) {
    if (field == u"5")
        return QSerialPort::Data5;
    if (field == u"6")
        return QSerialPort::Data6;
    if (field == u"7")
        return QSerialPort::Data7;
    if (field == u"8")
        return QSerialPort::Data8;
    return std::nullopt;
}

std::optional<QSerialPort::StopBits> stopBitsFrom(const QString& field) {
    if (field == u"1")
        return QSerialPort::OneStop;
    if (field == u"1.5")
        return QSerialPort::OneAndHalfStop;
    if (field == u"2")
        return QSerialPort::TwoStop;
    return std::nullopt;
}

std::optional<QSerialPort::FlowControl> flowControlFrom(const QString& field) {
    const QString name = field.toLower();
    if (name == u"none")
        return QSerialPort::NoFlowControl;
    if (name == u"rtscts")
        return QSerialPort::HardwareControl;
    if (name == u"xonxoff")
        return QSerialPort::SoftwareControl;
    return std::nullopt;
}

} // namespace

std::optional<LineSettings> LineSettings::parse(const QString& text) {
    QStringList fields = text.split(u',');
    if (fields.size() < 4 || fields.size() > 5)
        return std::nullopt;
    for (QString& field : fields)
        field = field.trimmed();
    const auto baud = baudFrom(fields[0]);
    const auto parity = parityFrom(fields[1]);
    const auto dataBits = dataBitsFrom(fields[2]);
    const auto stopBits = stopBitsFrom(fields[3]);
    const auto flowControl =
        fields.size() == 5 ? flowControlFrom(fields[4]) : QSerialPort::NoFlowControl;
    if (!baud || !parity || !dataBits || !stopBits || !flowControl)
        return std::nullopt;
    return LineSettings{*baud, *parity, *dataBits, *stopBits, *flowControl};
}

bool LineSettings::applyTo(QSerialPort& port) const {
#ifndef Q_OS_WIN
    // Serial ports here know one or two stop bits only; 1.5 would silently become 1.
    if (stopBits == QSerialPort::OneAndHalfStop)
        return false;
#endif
    return port.setBaudRate(baud) && port.setDataBits(dataBits) && port.setParity(parity) &&
           port.setStopBits(stopBits) && port.setFlowControl(flowControl);
}

double LineSettings::bitsPerCharacter() const {
    const double parityBits = parity == QSerialPort::NoParity ? 0 : 1;
    const double stops = stopBits == QSerialPort::OneStop          ? 1
                         : stopBits == QSerialPort::OneAndHalfStop ? 1.5
                                                                   : 2;
    return 1 + int(dataBits) + parityBits + stops;
}
