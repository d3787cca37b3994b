#pragma once

#include "clsorva.h"

#include <QRegularExpression>
#include <QString>
#include <QTest>

#include <algorithm>
#include <limits>
#include <optional>

// One ORVA result line taken apart.
struct OrvaLine {
    QString index;
    QString date;
    QString time;
    int measurement = 0;
    int temperature = 0;
};

inline std::optional<OrvaLine> parseOrvaLine(const QString& line) {
    static const QRegularExpression form(QStringLiteral(
        R"(^0 (.{4}) :: (\d\d-\d\d-\d{4}) (\d\d:\d\d:\d\d) = (-?\d+) \(RAW\)  (-?\d+) \(C\)\r\n$)"));
    const QRegularExpressionMatch match = form.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return OrvaLine{match.captured(1), match.captured(2), match.captured(3),
                    match.captured(4).toInt(), match.captured(5).toInt()};
}

// The lowest and highest values seen over many lines.
struct SeenRange {
    int low = std::numeric_limits<int>::max();
    int high = std::numeric_limits<int>::min();
    void add(int value) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
    bool operator==(const SeenRange&) const = default;
};

struct SeenRanges {
    SeenRange measurement;
    SeenRange temperature;
    int malformed = 0;
};

inline SeenRanges seenRanges(clsOrva& orva, int lines = 1500) {
    SeenRanges seen;
    for (int i = 0; i < lines; ++i) {
        const auto line = parseOrvaLine(orva.nextOutput());
        if (!line) {
            ++seen.malformed;
            continue;
        }
        seen.measurement.add(line->measurement);
        seen.temperature.add(line->temperature);
    }
    return seen;
}

inline SeenRange range(int low, int high) {
    return SeenRange{low, high};
}

// How QCOMPARE shows a range: "40..60".
inline char* toString(const SeenRange& range) {
    return QTest::toString(QStringLiteral("%1..%2").arg(range.low).arg(range.high));
}
