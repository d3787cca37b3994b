#pragma once

#include "lineformat.h"
#include "linesettings.h"

#include <QString>

// What the settings file holds for port n under [Ports]:
//
//     COMn          the device the port stands for (on Windows the port is COMn itself);
//                   /dev/ttyS(n-1) when there is no such key
//     COMnSettings  its line settings (see LineSettings), 9600,n,8,1 when there are none
//     COMnLineEnd, COMnFields, COMnDecimal, COMnTime   its line format (see LineFormat)
//
// The serial control reads them each time the port opens; the port settings window writes
// them. The file stays one to read and edit by hand.
struct PortSettings {
    QString device;
    LineSettings line;
    LineFormat format;

    // What the file holds for the port. A value that cannot be read leaves its default in
    // place and puts the reason, as a sentence for the user, in error (the first one only):
    // "COM3Settings "115200,q,8,1" is not a line setting".
    static PortSettings read(qint16 port, QString* error = nullptr);
    // Writes them for the port; empty when that worked, otherwise why not, for the user.
    QString write(qint16 port) const;
    // "COM 3: /dev/ttyUSB0, 115200,n,8,1"
    QString summary(qint16 port) const;
};
