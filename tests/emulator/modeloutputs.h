#pragma once

#include "clsorva.h"
#include "clsquorilex.h"

#include <QRegularExpression>

#include <algorithm>

// The lowest and highest measurement and temperature over many lines, as "40..60 / 20..25"; the
// first line of another form instead.
inline QString seenRanges(clsOrva& orva, int lines = 1500) {
    static const QRegularExpression form(QStringLiteral(
        R"(^0 \d{4} :: \d\d-\d\d-\d{4} \d\d:\d\d:\d\d = (-?\d+) \(RAW\)  (-?\d+) \(C\)\r\n$)"));
    QList<int> raw, celsius;
    for (int i = 0; i < lines; ++i) {
        const QString line = orva.nextOutput();
        const QRegularExpressionMatch match = form.match(line);
        if (!match.hasMatch())
            return QStringLiteral("not an ORVA line: ") + line;
        raw << match.captured(1).toInt();
        celsius << match.captured(2).toInt();
    }
    const auto [lowRaw, highRaw] = std::ranges::minmax(raw);
    const auto [lowC, highC] = std::ranges::minmax(celsius);
    return QString::asprintf("%d..%d / %d..%d", lowRaw, highRaw, lowC, highC);
}

// QUORILEX outputs, each as "|" for the separator, "9" for a sample, "." for nothing.
inline QString quorilexOutputs(clsQuorilex& quorilex, int count) {
    QString seen;
    for (int i = 0; i < count; ++i)
        seen += quorilex.nextOutput()
                    .replace(QStringLiteral("\r\n\r\n\r\n"), QStringLiteral("|"))
                    .replace(QStringLiteral("9999\r\n"), QStringLiteral("9"))
                    .leftJustified(1, u'.');
    return seen;
}
