#pragma once

#include <QString>
#include <QtGlobal>

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

    // Everything received since the last call, in arrival order, and removes it.
    virtual QString input() = 0;

    // True once an open port went away under us (device unplugged, peer closed); the port
    // has then been closed. Text received before the loss is still returned by input().
    // Cleared by the next successful open.
    virtual bool portLost() const = 0;
};
