#pragma once

#include "lineformat.h"
#include "linesettings.h"
#include "qtserialcontrol.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

// A look at what an instrument sends, before a capture: reads a device with given line
// settings and keeps its last lines as received, each with the cells it becomes under a line
// format, worked out by the code that writes them in a capture. No spreadsheet is needed.
class PortPreview : public QObject {
    Q_OBJECT
public:
    // How many lines are kept, the text after the last line end besides.
    static constexpr int kLines = 8;

    explicit PortPreview(const SerialDevices& devices, QObject* parent = nullptr);

    // Reads the device with these settings from now on, closing what was open and forgetting
    // what it received; false when the device does not open, with the reason in error().
    bool start(const QString& device, const LineSettings& line);
    // Closes the device.
    void stop();
    QString error() const { return m_port.openError(); }
    // The format the cells follow; the lines kept are worked out anew.
    void setFormat(const LineFormat& format);

    struct Line {
        QString received; // as received, CR, LF and TAB made visible: "23.5,41.2<LF>"
        QString cells;    // what it becomes: "23.5 | 41.2"; empty while its line end is to come
        bool operator==(const Line&) const = default;
    };
    // The lines kept, the oldest first; the text after the last line end comes last.
    const QList<Line>& lines() const { return m_lines; }

signals:
    void changed();

private:
    void poll();
    void split();
    // When the character at a position of the text kept was read.
    QDateTime arrivalAt(qsizetype position) const;

    QtSerialControl m_port;
    QTimer m_timer;
    LineFormat m_format;
    QString m_text;                          // what the lines kept were received as
    QList<ReceivedText::Arrival> m_arrivals; // when, as ends in m_text
    QList<Line> m_lines;
};
