#pragma once

#include "capturejournal.h"
#include "clock.h"
#include "linesplitter.h"
#include "modglobals.h"
#include "serialcontrol.h"
#include "spreadsheet.h"
#include "statusview.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringView>

#include <chrono>
#include <optional>

// Turns received text into worksheet cells. Every received line is one row: a line holding
// "::" is split at blanks from column 1, any other line at its field separator from the current
// block column; three empty lines start a new block one column to the right (two with the time
// of arrival on), headed by the time of day at which the separator arrived. What ends a line and
// separates fields is the port's line format; the emulator's text has the default one.
// A full worksheet goes on in a new one added to the workbook: past its last row the lines go
// on from row 1, a block of data lines in column 1 under its time stamp; a block that has no
// column left starts in column 1 of the new sheet, its time stamp in row 1.
class ReceivePath {
public:
    ReceivePath(modGlobals& globals, SerialControl& serial, ReceiveView& view, const Clock& clock);

    // One tick of the capture pump while capturing: the new text is appended and written.
    // True when the pass ended on its time budget with complete lines still waiting: the next
    // pass should follow as soon as the window has handled its events.
    bool pump();

    // The text that arrived since the last call, from the emulator's output slot while the
    // emulator window is loaded, otherwise from the serial control; counted in bytesReceived
    // and appended to the journal, if any.
    ReceivedText ReadReceivedText();
    void setJournal(CaptureJournal* journal) { m_journal = journal; }

    // While paused: what the port collects is taken, counted and journalled as it arrives, and
    // waits in the buffer for Resume. The emulator's output is left in its slot.
    void collect();

    // Writes the complete lines of the buffer; keeps the incomplete rest, and on a failed write
    // the failed line and everything after it, for the next tick.
    void ProcessReceiveBuffer();

    // Stop writes what the instrument already sent in budgeted passes, so that the window
    // keeps answering: beginStop() once, then stopPass() until it returns false, then
    // finalFlush(). Each pass reads the source, writes for one budget and shows how many lines
    // are written; it returns true while lines still wait. Once no complete line waits, or a
    // write failed, the passes wait for the answer to a write left unanswered and write the
    // rest with no waiting for the rest of a block separator.
    void beginStop();
    bool stopPass();

    // After the passes: takes what the source still holds, writes what of it can be, and returns
    // what could not be written (a failed write and everything after it, or a last line without
    // its line end, and lines too long to be held in memory), in the order received, and
    // empties the buffer. Without the passes (the session is ending) it waits for a write left
    // unanswered and writes all complete lines, in one go.
    QList<CaptureJournal::Piece> finalFlush();

    // The parts of lines wider than the worksheet, which found no column, as received: one
    // line each, its row number, a TAB and the rest of the line, ended by CR LF. Emptied.
    QString takeOverflow();

    // Stop: the buffer emptied and the count back to 0.
    void clear();

    // Pause, Resume and a journal that fails: while the port is gone, has sent no line end for
    // long, or its text is not kept on disk, its lamp and the status text say so in place of
    // what the button shows; false when all is well.
    bool showPortTrouble();

    // The time stamp at the head of a block: the seconds of a time since local midnight,
    // rounded to the nearest whole second (halves to even), in hours.
    static double HoursSinceMidnight(const QDateTime& at);

    // Received text joins the buffer; what came without the time it was read gets the time now.
    void appendReceived(const ReceivedText& received);
    QString receiveBuffer() const { return QString::fromLatin1(m_buffer.mid(m_head)); }
    qint64 bytesReceived() const { return m_bytesReceived; }
    qint32 currentRow() const { return m_currentRow; }
    void setCurrentRow(qint32 row) { m_currentRow = row; }

    // How many characters may wait for a line end in memory; past them, while the journal holds
    // everything received, the line is left there: it takes no row, and is kept at Stop.
    void setMemoryBound(qsizetype characters) { m_memoryBound = characters; }
    // How long one pass may write before the rest waits for the next tick.
    void setPassBudget(std::chrono::milliseconds budget) { m_passBudget = budget; }
    // The size of a worksheet; a capture that fills one goes on in a new one.
    void setSheetLimits(int rows, int columns) {
        m_maxRows = rows;
        m_maxColumns = columns;
    }

private:
    enum class PassEnd { Complete, Budget, Failed };
    PassEnd writeLines(bool finalPass, bool budgeted = true);
    // Rows gathered for one call: consecutive rows that start in the same column and are of
    // the same length, so that the rectangle covers exactly the cells of its rows.
    struct Block {
        qsizetype lineStart = 0; // where the line of its first row begins in the buffer
        int row = 0;
        int column = 0;
        QList<CellRow> rows;
        QString overflow; // what its lines held past the last column, kept once it is written
    };
    // Adds a row to the block, writing the block first when the row cannot join it. An empty
    // row writes nothing and only ends the block. overflow: the rest of a line wider than the
    // worksheet, kept (see takeOverflow) once the row is written.
    Status queueRow(qsizetype lineStart, int row, int column, CellRow values,
                    QStringView overflow = {});
    // Writes the gathered rows in one call. On failure none of them is written: the buffer and
    // the row go back to the block's first line.
    Status writeBlock();
    // A single cell, after the gathered rows.
    Status writeCell(int row, int column, const CellValue& value);
    Status addWorksheet();
    // The first line end at or after from in the buffer, or none.
    LineSplitter::LineEnd nextLineEnd(const LineSplitter& lines, qsizetype from, bool finalPass);
    // The time at which the character at a position of the buffer was read.
    QDateTime arrivalAt(qsizetype position) const;
    // The format of the text now arriving: the port's, or the default one for the emulator.
    LineSplitter splitter() const;
    // Ends a pass at a failed write: the line and everything after it wait for the next tick.
    PassEnd failAt(qsizetype lineStart, const Status& status);
    void showFailure(const Status& status);
    void showByteCount();
    // The port's trouble, the worse first: gone, no line end for long, or what it receives is
    // not kept on disk; empty when none.
    QString portTrouble() const;
    void showPortLamp();
    // True when the port went away just now.
    bool superviseSerial();
    // The port went away in the middle of a line: the line ends there, as if its line end had
    // come, so that the first line after the port is back is a row of its own.
    void endCutLine(QString& text) const;
    // Counts the received characters since the last line end.
    void watchLineEnds(QStringView text);
    void dropWritten(qsizetype position);
    // Complete lines waiting: what arrived since the last call is counted, once.
    qsizetype waitingLines();
    // Leaves the line waiting at the end of the buffer in the journal once it is too long.
    void spillLongLine();
    // How much of text goes on a line left in the journal, its line end included; -1 when all
    // of it does and the line goes on.
    qsizetype spilledLineEnd(QStringView text) const;
    // Reads the source during a pass, where a write was made since the last read.
    void readDuringPass();
    void showStopProgress(qsizetype waiting);

    modGlobals& m_globals;
    SerialControl& m_serial;
    ReceiveView& m_view;
    const Clock& m_clock;
    CaptureJournal* m_journal = nullptr;

    QByteArray m_buffer;      // received text, as received; the part before m_head is written
    qsizetype m_head = 0;     // start of the first line not written completely
    qint64 m_bufferStart = 0; // how many characters the capture received before m_buffer
    // When the text was read: where each piece ends, counted from the capture's first
    // character, and its time in milliseconds since the epoch; the pieces of text not written.
    QList<ReceivedText::Arrival> m_arrivals;
    // Where, counted like m_bufferStart, a search found no line end of that kind begin.
    qint64 m_searchedFrom = 0;
    qint64 m_searchedTo = 0;
    LineFormat::LineEnd m_searchedFormat = LineFormat::LineEnd::CrLf;
    // Line ends counted between m_head and m_countedTo (counted like m_bufferStart).
    qint64 m_countedTo = 0;
    qsizetype m_counted = 0;
    // Lines too long for memory, where they lie in the journal, and where in the received text
    // they were (counted like m_bufferStart); the last may still wait for its line end.
    struct Spilled {
        CaptureJournal::Piece piece;
        qint64 at = 0;
    };
    QList<Spilled> m_spilled;
    bool m_spilling = false;      // the last spilled line goes on
    bool m_spillEndsInCr = false; // and its last character is a CR
    qsizetype m_memoryBound = 8 * 1024 * 1024;
    bool m_readDuringPass = false; // a pass reads the source after its writes
    bool m_wrote = false;          // a write was made since the last read of the pass
    qint64 m_bytesReceived = 0;
    qint32 m_currentRow = 1;
    std::chrono::milliseconds m_passBudget{50};
    int m_maxRows = SheetMaxRows;
    int m_maxColumns = SheetMaxColumns;

    std::optional<double> m_blockStamp; // heads the current block; the first block has none
    bool m_restampDue = false;          // a block going on in a new sheet wants its stamp
    bool m_stampOwed = false; // the stamp due is its separator's: it goes before a token line too
    bool m_portDown = false;  // the serial device went away during this capture
    int m_ticksDown = 0;
    QString m_overflow;        // see takeOverflow
    qint64 m_sinceLineEnd = 0; // characters received since the last line end
    bool m_endsInCr = false;   // the last character received was a CR

    Block m_block;
    qsizetype m_blockCells = 1024; // the most cells the next call writes
    bool m_lastCallBusy = false;   // its answer may come late, at once, to the next call
    qint64 m_lastCallMs = 0;       // how long the last block call that was answered took
    bool m_backlog = false;        // the last pass ended on its budget with lines waiting
    qint64 m_stopWritten = 0;      // lines written since Stop
    bool m_stopRest = false;       // the passes write the rest, after the complete lines
    bool m_stopDone = false;       // the passes wrote all they could
    bool m_stopFailed = false;     // and ended on a failed write
    QElapsedTimer m_stopClock;
};
