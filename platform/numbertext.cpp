#include "numbertext.h"

#include <QString>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Length of the longest number at the start of text (no blanks), 0 when there is none.
qsizetype numberLength(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        qsizetype j = i + 1;
        qsizetype fraction = 0;
        while (j < n && isDigit(text[j])) {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        qsizetype exponent = 0;
        while (j < n && isDigit(text[j])) {
            ++j;
            ++exponent;
        }
        if (exponent > 0)
            i = j;
    }
    return i;
}

// The value of a complete number; out of the double range it is infinite, below it zero.
double toDouble(QStringView number) {
    const std::string ascii = number.toLatin1().toStdString();
    const char* begin = ascii.data();
    if (*begin == '+')
        ++begin;
    double value = 0.0;
    if (std::from_chars(begin, ascii.data() + ascii.size(), value).ec == std::errc())
        return value;
    const bool negative = ascii.front() == '-';
    const auto exponent = ascii.find_first_of("eE");
    if (exponent != std::string::npos && ascii[exponent + 1] == '-')
        return negative ? -0.0 : 0.0;
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
}

} // namespace

std::optional<double> numberFromText(QStringView text) {
    qsizetype start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    qsizetype end = text.size();
    while (end > start && isBlank(text[end - 1]))
        --end;
    const QStringView core = text.mid(start, end - start);
    const qsizetype length = numberLength(core);
    if (length == 0 || length != core.size())
        return std::nullopt;
    const double value = toDouble(core);
    if (std::isinf(value))
        return std::nullopt;
    return value;
}

double numericPrefix(QStringView text) {
    qsizetype start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    const QStringView rest = text.mid(start);
    const qsizetype length = numberLength(rest);
    return length == 0 ? 0.0 : toDouble(rest.first(length));
}

QString shortestDecimal(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}
