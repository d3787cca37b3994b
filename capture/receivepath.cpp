#include "receivepath.h"

#include "numbertext.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kBusyText = QStringLiteral(
    "MS Excel is blocked: please close the cell you're editing or finish the dialog that's open.");
const QString kClosedText = QStringLiteral(
    "Our MS Excel spreadsheet has been closed:  we cannot record any more of your data.");
const QString kNoLineEndText = QStringLiteral("No line end (%1) received in the last 4,096 bytes");

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

using Separator = LineSplitter::Separator;

} // namespace

ReceivePath::ReceivePath(modGlobals& globals, SerialControl& serial, ReceiveView& view,
                         const Clock& clock)
    : m_globals(globals)
    , m_serial(serial)
    , m_view(view)
    , m_clock(clock) {}

bool ReceivePath::pump() {
    appendReceived(ReadReceivedText());
    m_backlog = false;
    m_readDuringPass = true;
    if (m_head < m_buffer.size())
        ProcessReceiveBuffer();
    return m_backlog;
}

ReceivedText ReceivePath::ReadReceivedText() {
    ReceivedText received;
    QString& text = received.text;
    bool cut = false;
    if (m_globals.emulatorActive) {
        if (m_globals.emulatorOutput.isEmpty())
            return {};
        text.swap(m_globals.emulatorOutput);
        if (m_globals.injectSingleTab) {
            // Only an output that is a number as a whole can give the second value.
            if (const auto whole = numberFromText(text))
                text = shortestDecimal(numericPrefix(text)) + u'\t' + shortestDecimal(*whole + 1) +
                       kCrLf;
            m_globals.injectSingleTab = false;
            m_view.injectSingleTabUsed();
        }
    } else {
        received = m_serial.input();
        cut = superviseSerial();
    }
    m_bytesReceived += text.size();
    // As received: before a cut line gets its end.
    if (m_journal)
        m_journal->append(text);
    if (cut)
        endCutLine(text);
    watchLineEnds(text);
    return received;
}

void ReceivePath::appendReceived(const ReceivedText& received) {
    QStringView text = received.text;
    qsizetype spilled = 0;
    // A line left in the journal goes on there up to its line end, while the journal holds all.
    m_spilling = m_spilling && m_journal->complete();
    if (m_spilling) {
        const qsizetype end = spilledLineEnd(text);
        spilled = end < 0 ? text.size() : end;
        m_spilled.last().piece.length += spilled;
        m_spillEndsInCr = spilled > 0 ? text[spilled - 1] == u'\r' : m_spillEndsInCr;
        m_spilling = end < 0;
        text = text.sliced(spilled);
    }
    if (text.isEmpty())
        return;
    const qint64 start = m_bufferStart + m_buffer.size() - spilled;
    for (const ReceivedText::Arrival& arrival : received.arrivals)
        if (arrival.end > spilled)
            m_arrivals.append({start + arrival.end, arrival.msecs});
    if (received.arrivals.isEmpty() || received.arrivals.last().end < received.text.size())
        m_arrivals.append({start + received.text.size(), m_clock.now().toMSecsSinceEpoch()});
    m_buffer += text.toLatin1(); // as received: a character is a byte
    spillLongLine();
}

void ReceivePath::spillLongLine() {
    const qsizetype waiting = qMin(qsizetype(m_sinceLineEnd), m_buffer.size() - m_head);
    if (waiting <= m_memoryBound || !m_journal || !m_journal->complete())
        return;
    // The line's characters are the journal's last bytes.
    const qint64 at = m_bufferStart + m_buffer.size() - waiting;
    m_spilled.append({{{}, m_journal->size() - waiting, waiting}, at});
    m_spilling = true;
    m_spillEndsInCr = m_buffer.endsWith('\r');
    m_buffer.truncate(m_buffer.size() - waiting);
    m_buffer.squeeze();
    // The line takes no row: the times of its pieces are not asked for.
    const auto past = std::ranges::find_if(
        m_arrivals, [at](const ReceivedText::Arrival& arrival) { return arrival.end > at; });
    if (past != m_arrivals.end()) {
        past->end = at;
        m_arrivals.erase(past + 1, m_arrivals.end());
    }
    m_searchedFrom = m_searchedTo = 0;
}

qsizetype ReceivePath::spilledLineEnd(QStringView text) const {
    const LineSplitter lines = splitter();
    if (m_spillEndsInCr && !text.isEmpty()) {
        // The line's last character may begin its line end.
        QString joint(u'\r');
        joint += text.first(1);
        if (const LineSplitter::LineEnd end = lines.lineEnd(joint, 0, false); end.at == 0)
            return end.length - 1;
    }
    const LineSplitter::LineEnd end = lines.lineEnd(text, 0, false);
    return end.at < 0 ? -1 : end.at + end.length;
}

QDateTime ReceivePath::arrivalAt(qsizetype position) const {
    const qint64 character = m_bufferStart + position;
    const auto piece = std::upper_bound(
        m_arrivals.cbegin(), m_arrivals.cend(), character,
        [](qint64 at, const ReceivedText::Arrival& arrival) { return at < arrival.end; });
    return piece == m_arrivals.cend() ? m_clock.now()
                                      : QDateTime::fromMSecsSinceEpoch(piece->msecs);
}

LineSplitter ReceivePath::splitter() const {
    // The emulator speaks the default format, whatever the port's settings say.
    return LineSplitter(m_globals.emulatorActive ? LineFormat() : m_serial.lineFormat());
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
    if (++m_ticksDown % kReopenTicks != 0)
        return false;
    if (!m_serial.setPortOpen(true)) {
        // Now the reason is known.
        m_view.setStatusText(portTrouble());
        return false;
    }
    m_portDown = false;
    showPortLamp();
    showByteCount();
    return false;
}

void ReceivePath::endCutLine(QString& text) const {
    // A line left in the journal goes on: the journal holds its characters as received.
    if (m_spilling)
        return;
    // Only the last characters of what waits tell whether it ends with a line end.
    const QByteArrayView waiting = QByteArrayView(m_buffer).sliced(m_head);
    QString tail = QString::fromLatin1(waiting.last(qMin<qsizetype>(2, waiting.size())));
    tail += QStringView(text).right(2);
    text += splitter().closingLineEnd(tail);
}

void ReceivePath::watchLineEnds(QStringView text) {
    if (text.isEmpty())
        return;
    const bool warned = m_sinceLineEnd >= kLineEndWatch;
    if (const qsizetype after = splitter().afterLastLineEnd(text, m_endsInCr); after >= 0)
        m_sinceLineEnd = text.size() - after;
    else
        m_sinceLineEnd += text.size();
    m_endsInCr = text.endsWith(u'\r');
    if (warned != (m_sinceLineEnd >= kLineEndWatch)) {
        showPortLamp();
        showByteCount();
    }
}

QString ReceivePath::portTrouble() const {
    if (m_portDown) {
        const QString why = m_serial.openError();
        return why.isEmpty() ? PortNotAvailableText
                             : PortNotAvailableText + QStringLiteral(": ") + why;
    }
    if (m_sinceLineEnd >= kLineEndWatch)
        return kNoLineEndText.arg(splitter().format().lineEndName());
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
    m_stopRest = m_stopDone = m_stopFailed = false;
    m_stopClock.start();
}

bool ReceivePath::stopPass() {
    // The rest is written as it stands: a CR or a block separator at its end waits no more.
    m_readDuringPass = !m_stopRest && m_stopClock.elapsed() < kStopReadMs;
    if (m_readDuringPass)
        appendReceived(ReadReceivedText());
    const qsizetype waiting = waitingLines();
    PassEnd end = PassEnd::Complete;
    if (m_stopRest)
        end = m_head < m_buffer.size() ? writeLines(true) : PassEnd::Complete;
    else if (waiting > 0)
        end = writeLines(false);
    const qsizetype left = waitingLines();
    if (end != PassEnd::Failed && (m_stopWritten > 0 || waiting > 0))
        showStopProgress(left);
    if (end == PassEnd::Budget)
        return true;
    if (m_stopRest || m_head == m_buffer.size()) {
        if (m_stopRest && end == PassEnd::Complete) {
            m_view.setLamp(Lamp::Excel, LampColour::Green);
            showByteCount();
        }
        m_stopDone = true;
        m_stopFailed = end == PassEnd::Failed;
        return false;
    }
    // No complete line waits, or a write failed: a write left unanswered gets its time, its
    // late answer deciding whether its line is in, and the next passes write the rest, with
    // what arrived meanwhile.
    m_stopRest = true;
    if (m_globals.excelApp)
        m_globals.excelApp->settle();
    if (m_stopClock.elapsed() < kStopReadMs)
        appendReceived(ReadReceivedText());
    return true;
}

qsizetype ReceivePath::waitingLines() {
    const LineSplitter lines = splitter();
    auto from = qsizetype(m_countedTo - m_bufferStart);
    for (LineSplitter::LineEnd end = nextLineEnd(lines, from, false); end.at >= 0;
         end = nextLineEnd(lines, from, false)) {
        ++m_counted;
        from = end.at + end.length;
    }
    m_countedTo = m_bufferStart + from;
    return m_counted;
}

void ReceivePath::showStopProgress(qsizetype waiting) {
    const QLocale locale;
    m_view.setStatusText(
        QStringLiteral("Writing received data: %1 of %2 lines")
            .arg(locale.toString(m_stopWritten), locale.toString(m_stopWritten + waiting)));
}

void ReceivePath::collect() {
    if (!m_globals.emulatorActive)
        appendReceived(ReadReceivedText());
}

QList<CaptureJournal::Piece> ReceivePath::finalFlush() {
    m_readDuringPass = false;
    appendReceived(ReadReceivedText());
    // What the port collected while the emulator fed the capture is kept with the unwritten text.
    QString portText = m_globals.emulatorActive ? m_serial.input().text : QString();
    m_bytesReceived += portText.size();
    if (m_journal)
        m_journal->append(portText);
    // Without the passes (the session is ending) a write left unanswered gets its time here, its
    // late answer deciding whether its line is in; after them, only what arrived since their
    // last read is left to write.
    if (!m_stopDone && m_globals.excelApp)
        m_globals.excelApp->settle();
    if (!m_stopFailed && m_head < m_buffer.size() && writeLines(true, false) == PassEnd::Complete) {
        m_view.setLamp(Lamp::Excel, LampColour::Green);
        showByteCount();
    }
    // What is left is not written: it is not counted as such.
    m_stopClock.invalidate();
    // Each line left in the journal where it came among the text.
    QList<CaptureJournal::Piece> unwritten;
    qsizetype from = m_head;
    for (const Spilled& spilled : std::as_const(m_spilled)) {
        const qsizetype at = qBound(from, qsizetype(spilled.at - m_bufferStart), m_buffer.size());
        unwritten.append({QString::fromLatin1(m_buffer.sliced(from, at - from))});
        unwritten.append(spilled.piece);
        from = at;
    }
    unwritten.append({QString::fromLatin1(m_buffer.sliced(from)) + portText});
    dropWritten(m_buffer.size());
    m_spilled.clear();
    m_spilling = false;
    return unwritten;
}

void ReceivePath::clear() {
    m_buffer.clear();
    m_head = 0;
    m_bufferStart = 0;
    m_searchedFrom = m_searchedTo = 0;
    m_countedTo = m_counted = 0;
    m_spilled.clear();
    m_spilling = false;
    m_arrivals.clear();
    m_bytesReceived = 0;
    m_blockStamp.reset();
    m_restampDue = m_stampOwed = false;
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
        m_block.overflow += kCrLf;
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
    m_wrote = true;
    // The call after a busy one may get that one's late answer at once: it tells nothing of
    // how fast the office writes.
    const bool late = std::exchange(m_lastCallBusy, status.busy());
    const qsizetype cells = m_block.rows.size() * m_block.rows.first().size();
    if (status.ok())
        m_lastCallMs = call.elapsed();
    if (call.elapsed() > kSlowCallMs)
        m_blockCells = qMax(kFewestBlockCells, cells / 2);
    else if (status.ok() && !late && call.elapsed() < kQuickCallMs && cells >= m_blockCells)
        m_blockCells = qMin(kMostBlockCells, m_blockCells * 2);
    if (!status.ok())
        return status;
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

void ReceivePath::readDuringPass() {
    // What arrived meanwhile joins the lines of this pass.
    if (m_readDuringPass && std::exchange(m_wrote, false))
        appendReceived(ReadReceivedText());
}

ReceivePath::PassEnd ReceivePath::writeLines(bool finalPass, bool budgeted) {
    QElapsedTimer elapsed;
    elapsed.start();
    const LineSplitter lines = splitter();
    const bool timed = lines.format().time;
    // A block takes a column, or two with the time of arrival: the time's and the value's.
    const int blockStep = timed ? 2 : 1;
    qsizetype p = m_head;
    LineSplitter::LineEnd e = nextLineEnd(lines, p, finalPass);
    m_block = {};

    while (e.at >= 0) {
        // A view taken anew: the buffer grows by what is read between the writes.
        const QByteArrayView buffer(m_buffer);
        const qsizetype lineStart = p;
        qsizetype next = e.at + e.length;
        const QString lineText = QString::fromLatin1(buffer.sliced(p, e.at - p));
        const Separator startsSeparator = lines.separatorAt(buffer.sliced(p), finalPass);

        if (m_currentRow > m_maxRows && startsSeparator == Separator::None) {
            // The sheet is full: go on in a new one as a capture starts.
            const Status status = addWorksheet();
            if (!status.ok())
                return failAt(lineStart, status);
            m_currentRow = 1;
            m_globals.blockColumn = 1;
            m_restampDue = m_blockStamp.has_value();
        }

        const bool tokenLine = LineSplitter::isTokenLine(lineText);
        if ((!tokenLine || m_stampOwed) && m_restampDue && startsSeparator == Separator::None) {
            const Status status = writeCell(1, 1, *m_blockStamp);
            if (!status.ok())
                return failAt(lineStart, status);
            m_currentRow = 2;
        }
        if (tokenLine || startsSeparator == Separator::None)
            m_restampDue = m_stampOwed = false;
        LineSplitter::Row row = lines.cells(lineText, m_globals.blockColumn, m_maxColumns,
                                            timed ? arrivalAt(next - 1) : QDateTime());
        qsizetype separatorLength = 0;
        const Separator separator =
            row.endsInEmptyField
                ? lines.separatorAt(buffer.sliced(e.at), finalPass, &separatorLength)
                : Separator::None;
        if (separator == Separator::Beginning) {
            // Only the beginning of a block separator has arrived: wait for the rest.
            if (const Status status = writeBlock(); !status.ok())
                return failAt(lineStart, status);
            dropWritten(lineStart);
            return PassEnd::Complete;
        }
        if (separator == Separator::Whole) {
            // Fields before a separator that follows a field separator belong to the old block;
            // the empty field where the separator begins takes no cell.
            row.values.removeLast();
            if (timed && row.values.size() == 1)
                row.values.clear();
        }
        if (const Status status =
                queueRow(lineStart, m_currentRow, row.column, std::move(row.values), row.cut);
            !status.ok())
            return failAt(lineStart, status);
        if (separator == Separator::Whole) {
            // Once the line's fields are written, a failure leaves only the separator waiting
            // (a failed write of the fields leaves the whole line: see failAt).
            const bool newSheet = m_globals.blockColumn + 2 * blockStep - 1 > m_maxColumns;
            if (newSheet) {
                // No column left for the new block: it starts a new sheet.
                if (const Status status = addWorksheet(); !status.ok())
                    return failAt(e.at, status);
            }
            const qint16 newBlock = newSheet ? 1 : qint16(m_globals.blockColumn + blockStep);
            next = e.at + separatorLength;
            const double stamp = HoursSinceMidnight(arrivalAt(next - 1));
            const Status status = writeCell(1, newBlock, stamp);
            if (!status.ok() && !newSheet)
                return failAt(e.at, status);
            m_blockStamp = stamp;
            m_globals.blockColumn = newBlock;
            m_currentRow = 1;
            // A new sheet stays: its block goes on there, its stamp written before its first line.
            m_restampDue = m_stampOwed = !status.ok();
            if (m_restampDue) {
                dropWritten(next);
                showFailure(status);
                return PassEnd::Failed;
            }
        }

        ++m_currentRow;
        p = next;
        // The rows gathered still need their call: a pass leaves it the time the last one took,
        // up to half the budget, so that the pass as a whole keeps to it.
        if (budgeted &&
            elapsed.elapsed() + std::min<qint64>(m_lastCallMs, m_passBudget.count() / 2) >=
                m_passBudget.count())
            break; // the rest waits, in order, for the next pass
        readDuringPass();
        e = nextLineEnd(lines, p, finalPass);
    }
    if (const Status status = writeBlock(); !status.ok())
        return failAt(p, status);
    const bool waiting = nextLineEnd(lines, p, finalPass).at >= 0;
    dropWritten(p);
    return waiting ? PassEnd::Budget : PassEnd::Complete;
}

LineSplitter::LineEnd ReceivePath::nextLineEnd(const LineSplitter& lines, qsizetype from,
                                               bool finalPass) {
    // What was searched in vain before is not searched again: the rest of a long line is
    // looked at once, however many passes wait for its end.
    const qint64 start = m_bufferStart + from;
    const bool known = m_searchedFormat == lines.format().lineEnd && start >= m_searchedFrom &&
                       start <= m_searchedTo;
    const qint64 searchFrom = known ? m_searchedTo : start;
    const LineSplitter::LineEnd end =
        lines.lineEnd(QByteArrayView(m_buffer), qsizetype(searchFrom - m_bufferStart), finalPass);
    if (end.at < 0) {
        // No line end begins between from and the last character, which may yet begin one
        // with the next.
        m_searchedFrom = known ? m_searchedFrom : start;
        m_searchedTo = qMax(start, m_bufferStart + m_buffer.size() - 1);
        m_searchedFormat = lines.format().lineEnd;
    }
    return end;
}

QString ReceivePath::takeOverflow() {
    return std::exchange(m_overflow, QString());
}

void ReceivePath::dropWritten(qsizetype position) {
    // At Stop the lines written are counted, and counted off those counted as waiting.
    const qsizetype lines =
        m_stopClock.isValid()
            ? splitter().countLineEnds(QByteArrayView(m_buffer).sliced(m_head, position - m_head))
            : 0;
    m_stopWritten += lines;
    if (const auto counted = qsizetype(m_countedTo - m_bufferStart); position < counted) {
        m_counted -= lines;
    } else {
        m_counted = 0;
        m_countedTo = m_bufferStart + position;
    }
    m_head = position;
    // The times of pieces written whole are not asked for again.
    const qint64 written = m_bufferStart + m_head;
    qsizetype done = 0;
    while (done < m_arrivals.size() && m_arrivals[done].end <= written)
        ++done;
    m_arrivals.remove(0, done);
    // Compact now and then, so that a long backlog is not copied once per line.
    if (m_head == m_buffer.size() || (m_head > 4096 && m_head > m_buffer.size() / 2)) {
        m_buffer.remove(0, m_head);
        m_bufferStart += m_head;
        m_head = 0;
    }
}

double ReceivePath::HoursSinceMidnight(const QDateTime& at) {
    const double seconds = at.time().msecsSinceStartOfDay() / 1000.0;
    return std::nearbyint(seconds) / 3600.0;
}
