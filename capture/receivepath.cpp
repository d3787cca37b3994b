#include "receivepath.h"

#include "numbertext.h"

#include <QLocale>

#include <cmath>
#include <utility>

namespace {

const QString kLineEnd = QStringLiteral("\r\n");
const QString kSeparator = QStringLiteral("\r\n\r\n\r\n");
const QString kBusyText = QStringLiteral(
    "MS Excel is blocked: please close the cell you're editing or finish the dialog that's open.");
const QString kClosedText = QStringLiteral(
    "Our MS Excel spreadsheet has been closed:  we cannot record any more of your data.");
const QString kNoLineEndText =
    QStringLiteral("No line end (CR LF) received in the last 4,096 bytes");

// Received characters without a line end after which the port's lamp warns.
constexpr qint64 kLineEndWatch = 4096;

// Ticks between two attempts to open a port that went away (about a second).
constexpr int kReopenTicks = 10;
// How many cells one call may write: adapted so that a call takes between these times, and the
// window is never held long by one call.
constexpr qint64 kQuickCallMs = 10;
constexpr qint64 kSlowCallMs = 40;
constexpr qsizetype kFewestBlockCells = 16;
constexpr qsizetype kMostBlockCells = 8192;
// How long after Stop the source is still read: an instrument that never pauses cannot hold
// the stop open.
constexpr qint64 kStopReadMs = 30000;

bool isTokenLine(QStringView line) {
    return line.contains(u"::");
}

enum class Separator { None, Beginning, Whole };

// Whether the text at a field start is a block separator, or only the beginning of one so far.
Separator separatorAt(QStringView fieldStart, bool finalPass) {
    if (fieldStart.startsWith(kSeparator))
        return Separator::Whole;
    if (!finalPass && fieldStart.size() < kSeparator.size() &&
        QStringView(kSeparator).startsWith(fieldStart))
        return Separator::Beginning;
    return Separator::None;
}

// What a token line holds past the last column, from its next token on; nothing when only
// "::" and "=" are left, which take no column.
QStringView tokensPastLastColumn(QStringView rest) {
    QStringView tokens = rest;
    QStringView token;
    if (!ReceivePath::NextToken(tokens, token))
        return {};
    const QStringView from = rest.sliced(token.data() - rest.data());
    do {
        if (token != u"::" && token != u"=")
            return from;
    } while (ReceivePath::NextToken(tokens, token));
    return {};
}

} // namespace

ReceivePath::ReceivePath(modGlobals& globals, SerialControl& serial, ReceiveView& view,
                         const Clock& clock)
    : m_globals(globals)
    , m_serial(serial)
    , m_view(view)
    , m_clock(clock) {}

bool ReceivePath::pump() {
    m_buffer += ReadReceivedText();
    m_backlog = false;
    if (m_head < m_buffer.size())
        ProcessReceiveBuffer();
    return m_backlog;
}

QString ReceivePath::ReadReceivedText() {
    QString text;
    bool cut = false;
    if (m_globals.emulatorActive) {
        if (m_globals.emulatorOutput.isEmpty())
            return {};
        text.swap(m_globals.emulatorOutput);
        if (m_globals.injectSingleTab) {
            // Only an output that is a number as a whole can give the second value.
            if (const auto whole = numberFromText(text))
                text = shortestDecimal(numericPrefix(text)) + u'\t' + shortestDecimal(*whole + 1) +
                       kLineEnd;
            m_globals.injectSingleTab = false;
            m_view.injectSingleTabUsed();
        }
    } else {
        text = m_serial.input();
        cut = superviseSerial();
    }
    m_bytesReceived += text.size();
    // As received: before a cut line gets its end.
    if (m_journal)
        m_journal->append(text);
    if (cut)
        endCutLine(text);
    watchLineEnds(text);
    return text;
}

bool ReceivePath::superviseSerial() {
    if (!m_portDown) {
        if (!m_serial.portLost())
            return false;
        m_portDown = true;
        m_ticksDown = 0;
        showPortLamp();
        m_view.setStatusText(PortNotAvailableText);
        return true;
    }
    if (++m_ticksDown % kReopenTicks != 0 || !m_serial.setPortOpen(true))
        return false;
    m_portDown = false;
    showPortLamp();
    showByteCount();
    return false;
}

void ReceivePath::endCutLine(QString& text) const {
    const QString waiting = m_buffer.sliced(m_head) + text;
    if (waiting.isEmpty() || waiting.endsWith(kLineEnd))
        return;
    text += waiting.endsWith(u'\r') ? QStringLiteral("\n") : kLineEnd;
}

void ReceivePath::watchLineEnds(QStringView text) {
    if (text.isEmpty())
        return;
    const bool warned = m_sinceLineEnd >= kLineEndWatch;
    if (const qsizetype end = text.lastIndexOf(kLineEnd); end >= 0)
        m_sinceLineEnd = text.size() - end - kLineEnd.size();
    else if (m_endsInCr && text.startsWith(u'\n'))
        m_sinceLineEnd = text.size() - 1;
    else
        m_sinceLineEnd += text.size();
    m_endsInCr = text.endsWith(u'\r');
    if (warned != (m_sinceLineEnd >= kLineEndWatch)) {
        showPortLamp();
        showByteCount();
    }
}

QString ReceivePath::portTrouble() const {
    if (m_portDown)
        return PortNotAvailableText;
    if (m_sinceLineEnd >= kLineEndWatch)
        return kNoLineEndText;
    return m_journal ? m_journal->trouble() : QString();
}

void ReceivePath::showPortLamp() {
    m_view.setLamp(Lamp::ComPort, m_portDown                ? LampColour::Red
                                  : portTrouble().isEmpty() ? LampColour::Green
                                                            : LampColour::Yellow);
}

bool ReceivePath::showPortTrouble() {
    const QString trouble = portTrouble();
    if (trouble.isEmpty())
        return false;
    showPortLamp();
    m_view.setStatusText(trouble);
    return true;
}

void ReceivePath::ProcessReceiveBuffer() {
    const PassEnd end = writeLines(false);
    if (end == PassEnd::Failed)
        return;
    m_backlog = end == PassEnd::Budget;
    m_view.setLamp(Lamp::Excel, LampColour::Green);
    showByteCount();
    m_view.setPauseEnabled(true);
}

void ReceivePath::beginStop() {
    m_stopWritten = 0;
    m_stopClock.start();
}

bool ReceivePath::stopPass() {
    if (m_stopClock.elapsed() < kStopReadMs)
        m_buffer += ReadReceivedText();
    const qsizetype waiting = waitingLines();
    const PassEnd end = waiting > 0 ? writeLines(false) : PassEnd::Complete;
    if (end == PassEnd::Failed)
        return false;
    const qsizetype left = waitingLines();
    m_stopWritten += waiting - left;
    if (m_stopWritten > 0 || waiting > 0)
        showStopProgress(left);
    return end == PassEnd::Budget;
}

qsizetype ReceivePath::waitingLines() const {
    return QStringView(m_buffer).sliced(m_head).count(kLineEnd);
}

void ReceivePath::showStopProgress(qsizetype waiting) {
    const QLocale locale;
    m_view.setStatusText(
        QStringLiteral("Writing received data: %1 of %2 lines")
            .arg(locale.toString(m_stopWritten), locale.toString(m_stopWritten + waiting)));
}

QString ReceivePath::finalFlush() {
    m_buffer += ReadReceivedText();
    // A write left unanswered gets its time: its late answer decides whether its line is in.
    if (m_globals.excelApp)
        m_globals.excelApp->settle();
    if (m_head < m_buffer.size() && writeLines(true) == PassEnd::Complete) {
        m_view.setLamp(Lamp::Excel, LampColour::Green);
        showByteCount();
    }
    const QString unwritten = m_buffer.mid(m_head);
    m_buffer.clear();
    m_head = 0;
    return unwritten;
}

void ReceivePath::clear() {
    m_buffer.clear();
    m_head = 0;
    m_bytesReceived = 0;
    m_blockStamp.reset();
    m_restampDue = false;
    m_portDown = false;
    m_overflow.clear();
    m_sinceLineEnd = 0;
    m_endsInCr = false;
}

void ReceivePath::showByteCount() {
    // The port's trouble stays in view until it is over.
    const QString trouble = portTrouble();
    m_view.setStatusText(!trouble.isEmpty()     ? trouble
                         : m_bytesReceived == 0 ? QStringLiteral("Ready")
                                                : QStringLiteral("Bytes Received: ") +
                                                      QString::number(m_bytesReceived));
}

ReceivePath::PassEnd ReceivePath::failAt(qsizetype lineStart, const Status& status) {
    // Rows gathered but not written go back into the buffer with their row.
    if (!m_block.rows.isEmpty()) {
        lineStart = m_block.lineStart;
        m_currentRow = m_block.row;
        m_block = {};
    }
    dropWritten(lineStart);
    showFailure(status);
    return PassEnd::Failed;
}

void ReceivePath::showFailure(const Status& status) {
    m_view.setLamp(Lamp::Excel, status.busy() ? LampColour::Yellow : LampColour::Red);
    m_view.setStatusText(status.busy() ? kBusyText : kClosedText);
    m_view.setPauseEnabled(false);
}

Status ReceivePath::queueRow(qsizetype lineStart, int row, int column, CellRow values,
                             QStringView overflow) {
    if (values.isEmpty())
        return {};
    const bool joins = !m_block.rows.isEmpty() && m_block.column == column &&
                       m_block.rows.first().size() == values.size() &&
                       m_block.row + m_block.rows.size() == row;
    if (!joins) {
        if (Status status = writeBlock(); !status.ok())
            return status;
        m_block.lineStart = lineStart;
        m_block.row = row;
        m_block.column = column;
    }
    m_block.rows << std::move(values);
    if (!overflow.isEmpty()) {
        m_block.overflow += QString::number(row) + u'\t';
        m_block.overflow += overflow;
        m_block.overflow += kLineEnd;
    }
    if (m_block.rows.size() * m_block.rows.first().size() >= m_blockCells)
        return writeBlock();
    return {};
}

Status ReceivePath::writeBlock() {
    if (m_block.rows.isEmpty())
        return {};
    if (!m_globals.excelApp)
        return Status::failure(SpreadsheetStatus::Closed);
    QElapsedTimer call;
    call.start();
    const Status status = m_globals.excelApp->setBlock(m_block.row, m_block.column, m_block.rows);
    if (!status.ok())
        return status;
    const qsizetype cells = m_block.rows.size() * m_block.rows.first().size();
    if (call.elapsed() > kSlowCallMs)
        m_blockCells = qMax(kFewestBlockCells, cells / 2);
    else if (call.elapsed() < kQuickCallMs && cells >= m_blockCells)
        m_blockCells = qMin(kMostBlockCells, m_blockCells * 2);
    m_block.rows.clear();
    m_overflow += std::exchange(m_block.overflow, QString());
    return status;
}

Status ReceivePath::writeCell(int row, int column, const CellValue& value) {
    if (Status status = writeBlock(); !status.ok())
        return status;
    if (!m_globals.excelApp)
        return Status::failure(SpreadsheetStatus::Closed);
    return m_globals.excelApp->setCell(row, column, value);
}

Status ReceivePath::addWorksheet() {
    if (Status status = writeBlock(); !status.ok())
        return status;
    if (!m_globals.excelApp)
        return Status::failure(SpreadsheetStatus::Closed);
    return m_globals.excelApp->addWorksheet();
}

ReceivePath::PassEnd ReceivePath::writeLines(bool finalPass) {
    QElapsedTimer elapsed;
    elapsed.start();
    const QStringView buffer(m_buffer);
    qsizetype p = m_head;
    qsizetype e = buffer.indexOf(kLineEnd, p);
    m_block = {};

    while (e >= 0) {
        const qsizetype lineStart = p;
        qsizetype next = e + 2;
        const QStringView lineText = buffer.sliced(p, e - p);

        if (m_currentRow > m_maxRows &&
            separatorAt(buffer.sliced(p), finalPass) == Separator::None) {
            // The sheet is full: go on in a new one as a capture starts.
            const Status status = addWorksheet();
            if (!status.ok())
                return failAt(lineStart, status);
            m_currentRow = 1;
            m_globals.blockColumn = 1;
            m_restampDue = m_blockStamp.has_value();
        }

        if (isTokenLine(lineText)) {
            m_restampDue = false;
            CellRow tokens;
            QStringView rest = lineText;
            QStringView token;
            while (tokens.size() < m_maxColumns && NextToken(rest, token)) {
                if (token != u"::" && token != u"=")
                    tokens << token.toString();
            }
            if (const Status status = queueRow(lineStart, m_currentRow, 1, std::move(tokens),
                                               tokensPastLastColumn(rest));
                !status.ok())
                return failAt(lineStart, status);
        } else {
            if (m_restampDue && separatorAt(buffer.sliced(p), finalPass) == Separator::None) {
                const Status status = writeCell(1, 1, *m_blockStamp);
                if (!status.ok())
                    return failAt(lineStart, status);
                m_restampDue = false;
                m_currentRow = 2;
            }
            const int firstColumn = m_globals.blockColumn;
            CellRow fields;
            QStringView cut; // the fields that found no column
            while (p <= e) {
                const Separator separator = separatorAt(buffer.sliced(p), finalPass);
                if (separator == Separator::Beginning) {
                    // Only the beginning of a block separator has arrived: wait for the rest.
                    if (const Status status = writeBlock(); !status.ok())
                        return failAt(lineStart, status);
                    dropWritten(lineStart);
                    return PassEnd::Complete;
                }
                if (separator == Separator::Whole) {
                    // Fields before a separator that follows a TAB belong to the old block.
                    if (const Status status =
                            queueRow(lineStart, m_currentRow, firstColumn, std::move(fields));
                        !status.ok())
                        return failAt(lineStart, status);
                    fields.clear();
                    if (m_globals.blockColumn >= m_maxColumns) {
                        // No column left for the new block: it starts a new sheet.
                        const Status status = addWorksheet();
                        if (!status.ok())
                            return failAt(lineStart, status);
                        // Column 1 holds the block once its time stamp is written.
                        m_globals.blockColumn = 0;
                    }
                    const qint16 newBlock = m_globals.blockColumn + 1;
                    const double stamp = HoursSinceMidnight();
                    const Status status = writeCell(1, newBlock, stamp);
                    if (!status.ok())
                        return failAt(lineStart, status);
                    m_blockStamp = stamp;
                    m_restampDue = false;
                    m_globals.blockColumn = newBlock;
                    m_currentRow = 1;
                    next = p + kSeparator.size();
                    break;
                }
                qsizetype f = buffer.sliced(p, e - p).indexOf(u'\t');
                f = f < 0 ? e : p + f;
                fields << buffer.sliced(p, f - p).toString();
                p = f + 1;
                if (firstColumn + fields.size() > m_maxColumns && p <= e) {
                    cut = buffer.sliced(p, e - p); // no room for the rest of the line
                    p = e + 1;
                }
            }
            if (const Status status =
                    queueRow(lineStart, m_currentRow, firstColumn, std::move(fields), cut);
                !status.ok())
                return failAt(lineStart, status);
        }

        ++m_currentRow;
        p = next;
        if (!finalPass && elapsed.elapsed() >= m_passBudget.count())
            break; // the rest waits, in order, for the next pass
        e = buffer.indexOf(kLineEnd, p);
    }
    if (const Status status = writeBlock(); !status.ok())
        return failAt(p, status);
    const bool waiting = buffer.indexOf(kLineEnd, p) >= 0;
    dropWritten(p);
    return waiting ? PassEnd::Budget : PassEnd::Complete;
}

QString ReceivePath::takeOverflow() {
    return std::exchange(m_overflow, QString());
}

void ReceivePath::dropWritten(qsizetype position) {
    m_head = position;
    // Compact now and then, so that a long backlog is not copied once per line.
    if (m_head == m_buffer.size()) {
        m_buffer.clear();
        m_head = 0;
    } else if (m_head > 4096 && m_head > m_buffer.size() / 2) {
        m_buffer.remove(0, m_head);
        m_head = 0;
    }
}

bool ReceivePath::NextToken(QStringView& line, QStringView& token) {
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && line[begin] == u' ')
        ++begin;
    while (end > begin && line[end - 1] == u' ')
        --end;
    line = line.sliced(begin, end - begin);
    if (line.isEmpty()) {
        token = {};
        return false;
    }
    const qsizetype space = line.indexOf(u' ');
    if (space < 0) {
        token = line;
        line = {};
        return true;
    }
    token = line.first(space);
    line = line.sliced(space + 1);
    return true;
}

double ReceivePath::HoursSinceMidnight() const {
    const double seconds = m_clock.now().time().msecsSinceStartOfDay() / 1000.0;
    return std::nearbyint(seconds) / 3600.0;
}
