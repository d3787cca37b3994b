#include "linesettings.h"

#include <QStringList>

#include <algorithm>

namespace {

// The value a field names, in any letter case; nothing when it names none of them.
template <typename T>
std::optional<T> named(const QString& field,
                       std::initializer_list<std::pair<const char16_t*, T>> names) {
    for (const auto& [name, value] : names) {
        if (field.compare(QStringView(name), Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

} // namespace

std::optional<qint32> LineSettings::parseBaud(const QString& field) {
    const bool digits = !field.isEmpty() && std::all_of(field.cbegin(), field.cend(), [](QChar c) {
        return c >= u'0' && c <= u'9';
    });
    bool ok = false;
    const qint32 baud = field.toInt(&ok);
    if (!digits || !ok || baud <= 0)
        return std::nullopt;
    return baud;
}

std::optional<LineSettings> LineSettings::parse(const QString& text) {
    QStringList fields = text.split(u',');
    if (fields.size() < 4 || fields.size() > 5)
        return std::nullopt;
    for (QString& field : fields)
        field = field.trimmed();
    const auto baud = parseBaud(fields[0]);
    using P = QSerialPort;
    const auto parity = named<P::Parity>(fields[1], {{u"n", P::NoParity},
                                                     {u"e", P::EvenParity},
                                                     {u"o", P::OddParity},
                                                     {u"m", P::MarkParity},
                                                     {u"s", P::SpaceParity}});
    const auto dataBits = named<P::DataBits>(
        fields[2], {{u"5", P::Data5}, {u"6", P::Data6}, {u"7", P::Data7}, {u"8", P::Data8}});
    const auto stopBits = named<P::StopBits>(
        fields[3], {{u"1", P::OneStop}, {u"1.5", P::OneAndHalfStop}, {u"2", P::TwoStop}});
    const auto flowControl =
        named<P::FlowControl>(fields.size() == 5 ? fields[4] : QStringLiteral("none"),
                              {{u"none", P::NoFlowControl},
                               {u"rtscts", P::HardwareControl},
                               {u"xonxoff", P::SoftwareControl}});
    if (!baud || !parity || !dataBits || !stopBits || !flowControl)
        return std::nullopt;
    return LineSettings{*baud, *parity, *dataBits, *stopBits, *flowControl};
}

QString LineSettings::text() const {
    using P = QSerialPort;
    const QString parityName = parity == P::EvenParity    ? QStringLiteral("e")
                               : parity == P::OddParity   ? QStringLiteral("o")
                               : parity == P::MarkParity  ? QStringLiteral("m")
                               : parity == P::SpaceParity ? QStringLiteral("s")
                                                          : QStringLiteral("n");
    const QString stops =
        stopBits == P::OneAndHalfStop ? QStringLiteral("1.5") : QString::number(int(stopBits));
    QString text =
        QStringLiteral("%1,%2,%3,%4").arg(baud).arg(parityName).arg(int(dataBits)).arg(stops);
    if (flowControl == P::HardwareControl)
        text += QStringLiteral(",rtscts");
    else if (flowControl == P::SoftwareControl)
        text += QStringLiteral(",xonxoff");
    return text;
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
