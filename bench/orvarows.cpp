#include "orvarows.h"

#include <QRegularExpression>

namespace {

constexpr qint64 kIndexes = 10000; // the index has four digits and wraps round

// The row holds one whole ORVA line in columns 1 to 8 and nothing beside it; timed, its time
// in column 1 and the line in columns 2 to 9.
bool isOrvaRow(QMap<int, QVariant> row, bool timed) {
    if (timed && row.take(1).typeId() != QMetaType::QDateTime)
        return false;
    QStringList cells;
    for (auto cell = row.cbegin(); cell != row.cend(); ++cell)
        cells << QStringLiteral("%1%2:%3")
                     .arg(cell.key() - (timed ? 1 : 0))
                     .arg(cell.value().typeId() == QMetaType::Double ? "n" : "t")
                     .arg(cell.value().toString());
    static const QRegularExpression orva(QStringLiteral(
        R"(^1n:0 2n:\d{1,4} 3t:\d\d-\d\d-\d{4} 4t:\d\d:\d\d:\d\d 5n:(4\d|5\d|60) 6t:\(RAW\) 7n:2[0-5] 8t:\(C\)$)"));
    return orva.match(cells.join(u' ')).hasMatch();
}

} // namespace

OrvaRows readOrvaRows(const QList<SheetCells>& sheets, qint64 linesSent, bool timed) {
    OrvaRows result;
    const auto note = [&result](const QString& problem) {
        result.firstProblem = result.firstProblem.isEmpty() ? problem : result.firstProblem;
    };
    qint64 next = 0; // the running index of the line expected next
    for (qsizetype sheet = 0; sheet < sheets.size(); ++sheet) {
        QMap<int, QMap<int, QVariant>> rows;
        for (auto cell = sheets[sheet].cbegin(); cell != sheets[sheet].cend(); ++cell)
            rows[cell.key().first].insert(cell.key().second, cell.value());
        for (auto row = rows.cbegin(); row != rows.cend(); ++row) {
            const QString at = QStringLiteral("sheet %1 row %2: ").arg(sheet + 1).arg(row.key());
            if (!isOrvaRow(row.value(), timed)) {
                ++result.malformed;
                note(at + (timed ? QStringLiteral("no time in column 1 and ORVA line in 2-9")
                                 : QStringLiteral("not an ORVA line in columns 1-8")));
                continue;
            }
            ++result.rows;
            const qint64 index = qint64(row.value()[timed ? 3 : 2].toDouble());
            const qint64 ahead = ((index - next) % kIndexes + kIndexes) % kIndexes;
            if (ahead != 0)
                note(at +
                     QStringLiteral("index %1 where %2 was due").arg(index).arg(next % kIndexes));
            if (ahead < kIndexes / 2) {
                result.lost += ahead;
                next += ahead;
                if (timed)
                    result.arrivals.append({next, row.value()[1].toDateTime().toMSecsSinceEpoch()});
                ++next;
            } else {
                ++result.doubled;
            }
        }
    }
    if (next != linesSent)
        note(QStringLiteral("%1 lines sent, %2 found").arg(linesSent).arg(next));
    result.lost += qMax(linesSent - next, qint64(0));
    result.doubled += qMax(next - linesSent, qint64(0));
    return result;
}
