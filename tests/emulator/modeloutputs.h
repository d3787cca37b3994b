#pragma once

#include "clsorva.h"
#include "clsquorilex.h"

#include <QList>
#include <QRegularExpression>
#include <QString>

#include <algorithm>

// An ORVA result line taken apart: index, date, time, measurement and temperature are the
// captures 1 to 5; no match when the line has another form.
inline QRegularExpressionMatch matchOrvaLine(const QString& line) {
    static const QRegularExpression form(QStringLiteral(
        R"(^0 (.{4}) :: (\d\d-\d\d-\d{4}) (\d\d:\d\d:\d\d) = (-?\d+) \(RAW\)  (-?\d+) \(C\)\r\n$)"));
    return form.match(line);
}

// The lowest and highest measurement and temperature over many lines, as "40..60 / 20..25"; the
// first line of another form instead.
inline QString seenRanges(clsOrva& orva, int lines = 1500) {
    QList<int> values[2];
    for (int i = 0; i < lines; ++i) {
        const QString line = orva.nextOutput();
        const QRegularExpressionMatch match = matchOrvaLine(line);
        if (!match.hasMatch())
            return QStringLiteral("not an ORVA line: ") + line;
        values[0] << match.captured(4).toInt();
        values[1] << match.captured(5).toInt();
    }
    const auto [lowRaw, highRaw] = std::ranges::minmax(values[0]);
    const auto [lowC, highC] = std::ranges::minmax(values[1]);
    return QString::asprintf("%d..%d / %d..%d", lowRaw, highRaw, lowC, highC);
}

// QUORILEX outputs, each as "|" for the separator, "9" for a sample, "." for nothing.
inline QString quorilexOutputs(clsQuorilex& quorilex, int count) {
    QString seen;
    for (int i = 0; i < count; ++i) {
        QString output = quorilex.nextOutput();
        seen += output.isEmpty()
                    ? QStringLiteral(".")
                    : output.replace(QStringLiteral("\r\n\r\n\r\n"), QStringLiteral("|"))
                          .replace(QStringLiteral("9999\r\n"), QStringLiteral("9"));
    }
    return seen;
}
