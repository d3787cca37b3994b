#include "portpreview.h"

#include "linesplitter.h"
#include "numbertext.h"

#include <QDateTime>
#include <QStringList>

namespace {

// Polled as often as the capture reads its port.
constexpr int kPollMs = 100;
// The most of a line without a line end that is kept.
constexpr qsizetype kLongestLine = 4096;

QString visible(QStringView text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\r')
            shown += QStringLiteral("<CR>");
        else if (c == u'\n')
            shown += QStringLiteral("<LF>");
        else if (c == u'\t')
            shown += QStringLiteral("<TAB>");
        else
            shown += c;
    }
    return shown;
}

// A cell as the sheet shows it: numbers as numbers, texts in quotes, times as date and time.
QString shown(const CellValue& value) {
    if (const double* number = std::get_if<double>(&value))
        return shortestDecimal(*number);
    if (const QDateTime* time = std::get_if<QDateTime>(&value))
        return time->toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    const QString text = std::holds_alternative<LiteralText>(value)
                             ? std::get<LiteralText>(value).text
                             : std::get<QString>(value);
    if (std::holds_alternative<QString>(value))
        if (const auto number = numberFromText(text))
            return shortestDecimal(*number);
    return u'"' + text + u'"';
}

} // namespace

PortPreview::PortPreview(const SerialDevices& devices, QObject* parent)
    : QObject(parent)
    , m_port(devices) {
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &PortPreview::poll);
}

bool PortPreview::start(const QString& device, const LineSettings& line) {
    stop();
    m_text.clear();
    m_arrivals.clear();
    split();
    if (!m_port.openDevice(device, line, m_format, QStringLiteral("The line")))
        return false;
    m_timer.start();
    return true;
}

void PortPreview::stop() {
    m_timer.stop();
    m_port.setPortOpen(false);
}

void PortPreview::setFormat(const LineFormat& format) {
    m_format = format;
    split();
}

void PortPreview::poll() {
    const ReceivedText received = m_port.input();
    if (received.text.isEmpty())
        return;
    for (const ReceivedText::Arrival& arrival : received.arrivals)
        m_arrivals.append({m_text.size() + arrival.end, arrival.msecs});
    m_text += received.text;
    split();
}

QDateTime PortPreview::arrivalAt(qsizetype position) const {
    for (const ReceivedText::Arrival& arrival : m_arrivals) {
        if (arrival.end > position)
            return QDateTime::fromMSecsSinceEpoch(arrival.msecs);
    }
    return QDateTime::currentDateTime();
}

void PortPreview::split() {
    const LineSplitter splitter(m_format);
    const QStringView text(m_text);
    QList<qsizetype> starts{0};
    QList<Line> lines;
    for (LineSplitter::LineEnd end = splitter.lineEnd(text, 0, false); end.at >= 0;
         end = splitter.lineEnd(text, starts.last(), false)) {
        const qsizetype start = starts.last();
        const LineSplitter::Row row =
            splitter.cells(text.sliced(start, end.at - start), 1, SheetMaxColumns,
                           arrivalAt(end.at + end.length - 1));
        QStringList cells;
        for (const CellValue& value : row.values)
            cells << shown(value);
        lines << Line{visible(text.sliced(start, end.at + end.length - start)),
                      cells.join(QStringLiteral(" | "))};
        starts << end.at + end.length;
    }
    // Only the last lines and a bounded rest of the line after them are kept.
    const qsizetype keptLines = qMin(lines.size(), qsizetype(kLines));
    const qsizetype keepFrom = starts[lines.size() - keptLines];
    lines.remove(0, lines.size() - keptLines);
    const qsizetype linesEnd = starts.last();
    const qsizetype restFrom = qMax(linesEnd, text.size() - kLongestLine);
    const QStringView rest = text.sliced(restFrom);
    if (!rest.isEmpty())
        lines << Line{visible(rest), QString()};
    // The times go with the text kept; those of what is dropped go too.
    QList<ReceivedText::Arrival> arrivals;
    for (const ReceivedText::Arrival& arrival : std::as_const(m_arrivals)) {
        if (arrival.end > keepFrom && arrival.end <= linesEnd)
            arrivals.append({arrival.end - keepFrom, arrival.msecs});
        else if (arrival.end > restFrom)
            arrivals.append({arrival.end - restFrom + linesEnd - keepFrom, arrival.msecs});
    }
    m_arrivals = arrivals;
    m_text = text.sliced(keepFrom, linesEnd - keepFrom).toString() + rest.toString();
    m_lines = lines;
    emit changed();
}
