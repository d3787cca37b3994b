// The receive path under random input: text in random chunks, in a random line format, written
// into the in-memory workbook, which is now and then busy, late to answer or closed. Every
// received character must end, in order, in a written row, in an overflow record or in the text
// left unwritten at Stop; no line may be written twice or skipped.
#include "fakeserial.h"
#include "fixedclock.h"
#include "memoryspreadsheet.h"
#include "receivepath.h"
#include "recordingcaptureview.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace Qt::StringLiterals;

namespace {

struct Written {
    qsizetype sheet;
    int row, column;
    CellRow values;
};

// The fields of a data line, and whether its last field begins at the line's end.
std::pair<QStringList, bool> fieldsOf(QStringView line, QChar separator, bool quotes) {
    QStringList fields{QString()};
    bool fresh = true, quoted = false; // fresh: the field has no character yet
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && line.sliced(i).startsWith(u"\"\""))
            fields.last() += line[i++];
        else if ((quoted || (quotes && fresh)) && c == u'"')
            quoted = !quoted;
        else if (!quoted && c == separator) {
            fields << QString();
            fresh = true;
            continue;
        } else
            fields.last() += c;
        fresh = false;
    }
    return {fields, fresh};
}

QStringList tokensOf(QStringView line) {
    QStringList tokens = line.toString().split(u' ', Qt::SkipEmptyParts);
    tokens.removeIf([](const QString& token) { return token == u"::" || token == u"="; });
    return tokens;
}

bool sameField(const CellValue& cell, QString field) {
    if (const double* number = std::get_if<double>(&cell)) // a number with a decimal comma
        return !field.contains(u'.') && numberFromText(field.replace(u',', u'.')) == *number;
    const LiteralText* literal = std::get_if<LiteralText>(&cell);
    const QString* text = std::get_if<QString>(&cell);
    return literal ? literal->text == field : text && *text == field;
}

// What went wrong, or nothing: received holds the whole text, in order.
QString check(const QString& received, const QString& unwritten, const QString& overflow,
              const QList<Written>& log, const LineFormat& format, int maxRows, int maxColumns) {
    if (received.size() < unwritten.size() || received.right(unwritten.size()) != unwritten)
        return u"the unwritten text is not what was received last"_s;
    const auto oneLineEnd = [&](QString text) { // with any line end, each as a LF
        if (format.lineEnd == LineFormat::LineEnd::Any)
            text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
        return text;
    };
    const QString end = QStringList{"\r\n", "\n", "\r", "\n"}.at(int(format.lineEnd));
    QStringList lines = oneLineEnd(received.chopped(unwritten.size())).split(end);
    QStringList records = overflow.split(u"\r\n"_s);
    // The fields before a block separator may be written while the separator waits.
    if (!lines.last().isEmpty() && oneLineEnd(unwritten.left(6)).startsWith(end + end + end))
        lines << QString() << QString();
    else if (!lines.takeLast().isEmpty())
        return u"the written text ends inside a line"_s;
    const double stamp = ReceivePath::HoursSinceMidnight(FixedClock().now());
    const int timed = format.time ? 1 : 0;
    qsizetype next = 0, sheet = 1, column = 1;
    int nextRow = 1;
    bool stamped = false;       // a block separator came: a full sheet's next data line is under it
    bool stampDue = false;      // a block separator's time stamp is not written yet
    const auto newBlock = [&] { // one column on, or two with the time; a new sheet past the last
        const bool full = column + 2 * (1 + timed) - 1 > maxColumns;
        sheet += full, column = full ? 1 : column + 1 + timed, nextRow = 2;
        stamped = stampDue = true;
    };
    const auto skip = [&] { // the block stamps; false when one is due and was not written
        for (; next < log.size() && log[next].row == 1 && log[next].values == CellRow{stamp};)
            ++next, stampDue = false;
        return !stampDue;
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        const bool token = LineSplitter::isTokenLine(line);
        const bool twoEmpty = i + 2 < lines.size() && (lines[i + 1] + lines[i + 2]).isEmpty();
        const auto split = [&](QStringView text) {
            return token ? std::pair{tokensOf(text), false}
                         : fieldsOf(text, format.separator(),
                                    format.fields != LineFormat::Fields::Tab);
        };
        const auto [fields, endsEmpty] = split(line);
        if (line.isEmpty() && twoEmpty) {
            newBlock(), i += 2;
            continue;
        }
        if (nextRow > maxRows) // a full sheet: on in a new one, under the block's stamp
            ++sheet, column = 1, nextRow = stamped && !token ? 2 : 1;
        if (token && !timed && fields.isEmpty()) { // takes a row, writes nothing
            ++nextRow;
            continue;
        }
        if (!skip())
            return u"the block separator before line %1 has no time stamp"_s.arg(i);
        if (next == log.size())
            return u"line %1 was not written: "_s.arg(i) + line;
        const Written& row = log[next++];
        const qsizetype room = maxColumns - (token ? 1 : column) + 1 - timed;
        const bool separator = endsEmpty && twoEmpty && fields.size() <= room;
        const QStringList expected = fields.sliced(0, fields.size() - int(separator));
        CellRow values = row.values;
        if (row.sheet != sheet || row.column != (token ? 1 : column) || row.row != nextRow++)
            return QString::asprintf("line %lld went to sheet %lld, row %d, column %d", i,
                                     row.sheet, row.row, row.column);
        if ((timed && !std::holds_alternative<QDateTime>(values.takeFirst())) ||
            values.size() != qMin(room, expected.size()))
            return u"line %1 has %2 cells"_s.arg(i).arg(row.values.size());
        for (qsizetype f = 0; f < values.size(); ++f) {
            if (!sameField(values[f], expected[f]))
                return u"line %1 has a wrong cell %2: "_s.arg(i).arg(f) + line;
        }
        // The rest past the last column as received: nothing when it is an empty last field.
        if (const QStringList rest = expected.mid(room);
            !rest.isEmpty() && (rest != QStringList{""} || !endsEmpty)) {
            const QString record = records.isEmpty() ? QString() : records.takeFirst();
            if (record.section(u'\t', 0, 0) != QString::number(row.row) ||
                split(record.section(u'\t', 1)).first != rest)
                return u"line %1 has a wrong overflow record: "_s.arg(i) + record;
        }
        if (separator)
            newBlock(), i += 2;
    }
    skip(); // a last block separator's stamp may have been answered too late to be seen
    if (next < log.size() || records != QStringList{QString()})
        return u"more was written than received"_s;
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    LineFormat format;
    format.lineEnd = LineFormat::LineEnd(input.ConsumeIntegralInRange(0, 3));
    format.fields = LineFormat::Fields(input.ConsumeIntegralInRange(0, 2));
    format.decimal =
        LineFormat::Decimal(format.fields != LineFormat::Fields::Comma && input.ConsumeBool());
    format.time = input.ConsumeBool();
    const int maxRows = input.ConsumeIntegralInRange(3, 12);
    const int maxColumns = input.ConsumeIntegralInRange(2, 8);

    MemorySpreadsheetFactory factory;
    factory.files.insert(u"/fuzz.xls"_s, {});
    modGlobals globals;
    globals.excelApp = std::make_unique<MemorySpreadsheet>(factory);
    auto& sheet = static_cast<MemorySpreadsheet&>(*globals.excelApp);
    const WorkbookId book = sheet.open(u"/fuzz.xls"_s).value;
    QList<Written> log;
    sheet.onWritten = [&](qsizetype sheet, int row, int column, const QList<CellRow>& rows) {
        for (const CellRow& values : rows)
            log.append({sheet, row++, column, values});
    };
    FakeSerial serial;
    serial.format = format;
    RecordingCaptureView view;
    FixedClock clock;
    ReceivePath receive(globals, serial, view, clock);
    receive.setSheetLimits(maxRows, maxColumns);
    receive.setPassBudget(std::chrono::hours(input.ConsumeBool())); // a line a pass, or all

    QString received;
    while (input.remaining_bytes() > 0) {
        const int action = input.ConsumeIntegralInRange(0, 15);
        if (action == 0)
            sheet.setBusy(input.ConsumeBool());
        else if (action == 1) // the next block write is answered late
            sheet.holdNext(u"setBlock"_s, input.ConsumeIntegralInRange(0, 2));
        else if (action == 2) // the late answer arrives
            sheet.settle();
        else if (action == 3)
            sheet.closeWorkbook(book);
        else {
            const QString chunk = QString::fromLatin1(input.ConsumeRandomLengthString(64));
            serial.arrived += chunk, received += chunk;
            receive.pump();
        }
    }
    receive.beginStop();
    while (receive.stopPass()) {
    }
    QString unwritten; // nothing is left in a journal: there is none
    for (const CaptureJournal::Piece& piece : receive.finalFlush())
        unwritten += piece.text;
    const QString fault =
        check(received, unwritten, receive.takeOverflow(), log, format, maxRows, maxColumns);
    if (!fault.isEmpty() || receive.bytesReceived() != received.size())
        qFatal("%s", qPrintable(fault + u" (of %1 received)"_s.arg(receive.bytesReceived())));
    return 0;
}
