#pragma once

#include "lineformat.h"

#include <QList>
#include <QString>
#include <QtGlobal>

// Text received from a port, with the times at which its bytes were read from the device: each
// arrival says where a piece read at one moment ends in the text, and that moment in
// milliseconds since the epoch. Text without arrivals was read just now.
struct ReceivedText {
    struct Arrival {
        qsizetype end = 0;
        qint64 msecs = 0;
        bool operator==(const Arrival&) const = default;
    };
    QString text;
    QList<Arrival> arrivals;
};

// The serial control the program polls: a port number, open or closed, and the text received
// since the last read. Each received byte is one character (byte value = character code).
class SerialControl {
public:
    virtual ~SerialControl() = default;

    // Port number for the next open.
    virtual qint16 commPort() const = 0;
    // Only while the port is closed; false when the number is refused.
    virtual bool setCommPort(qint16 port) = 0;

    virtual bool portOpen() const = 0;
    // Opens or closes the port; false when that failed (opening a missing or busy device,
    // closing a port that is not open).
    virtual bool setPortOpen(bool open) = 0;
    // Why the last open failed when a setting was to blame, as a sentence for the user
    // ("COM3Settings "115200,q,8,1" is not a line setting"); empty when the device was simply
    // not available (missing or busy) and after a successful open.
    virtual QString openError() const = 0;
    // How the instrument on the port writes its lines, as read when the port last opened.
    virtual LineFormat lineFormat() const = 0;

    // Everything received since the last call, in arrival order, and removes it.
    virtual ReceivedText input() = 0;

    // True once an open port went away under us (device unplugged, peer closed); the port
    // has then been closed. Text received before the loss is still returned by input().
    // Cleared by the next successful open.
    virtual bool portLost() const = 0;
};
