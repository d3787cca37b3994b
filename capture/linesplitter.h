#pragma once

#include "lineformat.h"
#include "spreadsheet.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringView>

// Cuts received text into lines, and a line into the cells of its row, by the line format of
// the instrument. A line that holds "::" is a token line: its blank-separated tokens, but "::"
// and "=", from column 1. Any other line is a data line: its fields from the block column.
// With the time on, a row's first cell is the time its line arrived and the tokens or fields
// follow. Three empty lines in a row are a block separator. The receive path writes with it,
// and whatever shows what a line becomes uses it too.
class LineSplitter {
public:
    explicit LineSplitter(const LineFormat& format = {})
        : m_format(format) {}
    const LineFormat& format() const { return m_format; }

    // A line end: where it begins in the text and how many characters it has; at is -1 when
    // there is none.
    struct LineEnd {
        qsizetype at = -1;
        qsizetype length = 0;
    };
    // The first line end in text at or after from. Unless no more text follows (final), a CR
    // at the end of the text that a LF may still join is no line end yet. Received text is held
    // as it arrived, a byte a character.
    LineEnd lineEnd(QStringView text, qsizetype from, bool final) const;
    LineEnd lineEnd(QByteArrayView text, qsizetype from, bool final) const;
    // How many line ends text holds.
    qsizetype countLineEnds(QByteArrayView text) const;
    // Where the text after the last line end in text begins; -1 when text holds none. A text
    // that begins with LF after a CR (afterCr) has its CR LF there.
    qsizetype afterLastLineEnd(QStringView text, bool afterCr) const;
    // What ends a line that waiting leaves open, so that it becomes a line of its own: nothing
    // when waiting is empty or ends with a line end.
    QString closingLineEnd(QStringView waiting) const;

    enum class Separator { None, Beginning, Whole };
    // Whether text at a line start begins with a block separator (three empty lines in a row),
    // and its length when it does; Beginning when, unless final, it may still become one.
    Separator separatorAt(QByteArrayView text, bool final, qsizetype* length = nullptr) const;

    // The cells of one row.
    struct Row {
        int column = 1;  // where the first cell goes
        CellRow values;  // empty for an empty line
        QStringView cut; // the rest of a line wider than the sheet, which found no column
        bool endsInEmptyField = false; // a data line's last field begins at its end
    };
    // The row a line (without its line end) becomes, with the block column and the last column
    // of the sheet; arrival is its time, written first with the time on.
    Row cells(QStringView line, int blockColumn, int lastColumn, const QDateTime& arrival) const;

    // A line that holds "::".
    static bool isTokenLine(QStringView line);
    // Removes the next blank-separated token from line: blanks around the tokens are skipped,
    // runs of them give no empty token.
    static bool NextToken(QStringView& line, QStringView& token);

private:
    // A field's text as a cell: with a decimal comma, a number is given as a number and any
    // other text as literal text; otherwise as the text, which the sheet reads.
    CellValue cellOf(QString text) const;
    // The field that begins at from; next is where the one after it begins, past the line's
    // end for the last one. Comma and semicolon fields may be quoted as in CSV files.
    QString field(QStringView line, qsizetype from, qsizetype& next) const;

    LineFormat m_format;
};
