#include "linesplitter.h"

#include "numbertext.h"

#include <algorithm>
#include <utility>

namespace {

using LineEndKind = LineFormat::LineEnd;

bool isSkippedToken(QStringView token) {
    return token == u"::" || token == u"=";
}

// What a token line holds past the last column, from its next token on; nothing when only
// "::" and "=" are left, which take no column.
QStringView tokensPastLastColumn(QStringView rest) {
    QStringView tokens = rest;
    QStringView token;
    while (LineSplitter::NextToken(tokens, token)) {
        if (!isSkippedToken(token))
            return rest.sliced(token.data() - rest.data());
    }
    return {};
}

// One character of a text: received text is held as it arrived, a byte a character.
char16_t charAt(QStringView text, qsizetype i) {
    return text[i].unicode();
}
char16_t charAt(QByteArrayView text, qsizetype i) {
    return uchar(text[i]);
}
qsizetype indexOf(QStringView text, char16_t c, qsizetype from) {
    return text.indexOf(QChar(c), from);
}
qsizetype indexOf(QByteArrayView text, char16_t c, qsizetype from) {
    return text.indexOf(char(c), from);
}

// The first position at or after from where the two characters follow each other; -1 when
// there is none. A search for the first one, which is fast, then a look at the one after.
template <class Text>
qsizetype indexOfPair(Text text, char16_t first, char16_t second, qsizetype from) {
    for (qsizetype at = indexOf(text, first, from); at >= 0; at = indexOf(text, first, at + 1)) {
        if (at + 1 < text.size() && charAt(text, at + 1) == second)
            return at;
    }
    return -1;
}

// The length of the line end at i: 0 when there is none, -1 when the text ends before it can
// tell.
template <class Text>
qsizetype lineEndLengthAt(LineEndKind kind, Text text, qsizetype i, bool final) {
    const qsizetype left = text.size() - i;
    if (left <= 0)
        return -1;
    const char16_t c = charAt(text, i);
    switch (kind) {
    case LineEndKind::CrLf:
        if (c != u'\r')
            return 0;
        return left == 1 ? -1 : charAt(text, i + 1) == u'\n' ? 2 : 0;
    case LineEndKind::Lf:
        return c == u'\n' ? 1 : 0;
    case LineEndKind::Cr:
        return c == u'\r' ? 1 : 0;
    case LineEndKind::Any:
        break;
    }
    if (c == u'\n')
        return 1;
    if (c != u'\r')
        return 0;
    if (left > 1)
        return charAt(text, i + 1) == u'\n' ? 2 : 1;
    return final ? 1 : -1;
}

template <class Text>
LineSplitter::LineEnd lineEndIn(LineEndKind kind, Text text, qsizetype from, bool final) {
    switch (kind) {
    case LineEndKind::CrLf:
        return {indexOfPair(text, u'\r', u'\n', from), 2};
    case LineEndKind::Lf:
        return {indexOf(text, u'\n', from), 1};
    case LineEndKind::Cr:
        return {indexOf(text, u'\r', from), 1};
    case LineEndKind::Any:
        break;
    }
    for (qsizetype at = from; at < text.size(); ++at) {
        if (const char16_t c = charAt(text, at); c == u'\r' || c == u'\n') {
            const qsizetype length = lineEndLengthAt(kind, text, at, final);
            return length > 0 ? LineSplitter::LineEnd{at, length} : LineSplitter::LineEnd{};
        }
    }
    return {};
}

} // namespace

LineSplitter::LineEnd LineSplitter::lineEnd(QStringView text, qsizetype from, bool final) const {
    return lineEndIn(m_format.lineEnd, text, from, final);
}

LineSplitter::LineEnd LineSplitter::lineEnd(QByteArrayView text, qsizetype from, bool final) const {
    return lineEndIn(m_format.lineEnd, text, from, final);
}

qsizetype LineSplitter::countLineEnds(QByteArrayView text) const {
    qsizetype count = 0;
    for (LineEnd end = lineEnd(text, 0, true); end.at >= 0;
         end = lineEnd(text, end.at + end.length, true))
        ++count;
    return count;
}

qsizetype LineSplitter::afterLastLineEnd(QStringView text, bool afterCr) const {
    qsizetype after = -1;
    if (afterCr && m_format.lineEnd == LineEndKind::CrLf && text.startsWith(u'\n'))
        after = 1;
    const auto last = [&](QStringView end) {
        const qsizetype at = text.lastIndexOf(end);
        if (at >= 0)
            after = std::max(after, at + end.size());
    };
    switch (m_format.lineEnd) {
    case LineEndKind::CrLf:
        last(u"\r\n");
        break;
    case LineEndKind::Lf:
        last(u"\n");
        break;
    case LineEndKind::Cr:
        last(u"\r");
        break;
    case LineEndKind::Any:
        last(u"\r");
        last(u"\n");
        break;
    }
    return after;
}

QString LineSplitter::closingLineEnd(QStringView waiting) const {
    if (waiting.isEmpty())
        return {};
    switch (m_format.lineEnd) {
    case LineEndKind::CrLf:
        return waiting.endsWith(u"\r\n") ? QString()
               : waiting.endsWith(u'\r') ? QStringLiteral("\n")
                                         : QStringLiteral("\r\n");
    case LineEndKind::Lf:
        return waiting.endsWith(u'\n') ? QString() : QStringLiteral("\n");
    case LineEndKind::Cr:
        return waiting.endsWith(u'\r') ? QString() : QStringLiteral("\r");
    case LineEndKind::Any:
        break;
    }
    return waiting.endsWith(u'\r') || waiting.endsWith(u'\n') ? QString() : QStringLiteral("\r\n");
}

LineSplitter::Separator LineSplitter::separatorAt(QByteArrayView text, bool final,
                                                  qsizetype* length) const {
    qsizetype at = 0;
    for (int emptyLines = 0; emptyLines < 3; ++emptyLines) {
        const qsizetype end = lineEndLengthAt(m_format.lineEnd, text, at, final);
        if (end == 0 || (end < 0 && final))
            return Separator::None;
        if (end < 0)
            return Separator::Beginning;
        at += end;
    }
    if (length)
        *length = at;
    return Separator::Whole;
}

LineSplitter::Row LineSplitter::cells(QStringView line, int blockColumn, int lastColumn,
                                      const QDateTime& arrival) const {
    Row row;
    const bool tokenLine = isTokenLine(line);
    row.column = tokenLine ? 1 : blockColumn;
    const qsizetype room = lastColumn - row.column + 1;
    if (m_format.time)
        row.values << arrival;
    if (tokenLine) {
        QStringView rest = line;
        QStringView token;
        while (row.values.size() < room && NextToken(rest, token)) {
            if (!isSkippedToken(token))
                row.values << cellOf(token.toString());
        }
        row.cut = tokensPastLastColumn(rest);
        return row;
    }
    const qsizetype end = line.size();
    row.values.reserve(std::min(room, line.count(m_format.separator()) + 1 + row.values.size()));
    qsizetype p = 0;
    while (p <= end) {
        row.endsInEmptyField = p == end;
        row.values << cellOf(field(line, p, p));
        if (row.values.size() >= room && p <= end) {
            row.cut = line.sliced(p); // no room for the rest of the line
            break;
        }
    }
    return row;
}

QString LineSplitter::field(QStringView line, qsizetype from, qsizetype& next) const {
    const char16_t separator = m_format.separator();
    QString text;
    qsizetype at = from;
    if (m_format.fields != LineFormat::Fields::Tab && at < line.size() && line[at] == u'"') {
        // A quoted field: the separator stands for itself in it, and "" for one quote.
        ++at;
        for (;;) {
            const qsizetype quote = line.indexOf(u'"', at);
            if (quote < 0) {
                text += line.sliced(at);
                at = line.size();
                break;
            }
            text += line.sliced(at, quote - at);
            at = quote + 1;
            if (at < line.size() && line[at] == u'"') {
                text += u'"';
                ++at;
                continue;
            }
            break;
        }
    }
    // Fields are short: a plain search beats the library's set-up for each call.
    const qsizetype end = std::find(line.begin() + at, line.end(), QChar(separator)) - line.begin();
    next = end + 1;
    if (text.isEmpty())
        return line.sliced(at, end - at).toString();
    text += line.sliced(at, end - at);
    return text;
}

CellValue LineSplitter::cellOf(QString text) const {
    if (m_format.decimal == LineFormat::Decimal::Point)
        return text;
    QString number = text;
    if (!number.contains(u'.')) {
        number.replace(u',', u'.');
        if (const auto value = numberFromText(number))
            return *value;
    }
    return LiteralText{std::move(text)};
}

bool LineSplitter::isTokenLine(QStringView line) {
    return indexOfPair(line, u':', u':', 0) >= 0;
}

bool LineSplitter::NextToken(QStringView& line, QStringView& token) {
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
