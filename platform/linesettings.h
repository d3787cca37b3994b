#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

// The parameters of a serial line, written in the classic "baud,parity,data bits,stop bits"
// form with an optional fifth field for the flow control: "9600,n,8,1", "115200,e,7,1,rtscts".
struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;

    // The settings a text names, nothing when it names none. Baud: a positive whole number;
    // parity n, e, o, m or s; data bits 5 to 8; stop bits 1, 1.5 or 2; flow control none,
    // rtscts or xonxoff. Letter case and blanks around a field do not matter.
    static std::optional<LineSettings> parse(const QString& text);
    // The baud rate a field names: a positive whole number in digits alone.
    static std::optional<qint32> parseBaud(const QString& field);

    // The text that names them, as parse() reads it: "115200,e,7,1", with the flow control only
    // when there is one ("9600,n,8,1,rtscts").
    QString text() const;

    // Sets them on an open port; false when the device refuses one of them.
    bool applyTo(QSerialPort& port) const;

    // Bits on the line for one character: the start bit, data bits, parity bit and stop bits.
    double bitsPerCharacter() const;

    bool operator==(const LineSettings&) const = default;
};
