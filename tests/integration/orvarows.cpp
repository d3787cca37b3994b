#include "orvarows.h"

#include <QMap>
#include <QRegularExpression>
#include <QVariant>

namespace {

constexpr qint64 kIndexes = 10000; // the index has four digits and wraps round

bool isNumberIn(const QVariant& cell, double low, double high) {
    return cell.typeId() == QMetaType::Double && cell.toDouble() >= low &&
           cell.toDouble() <= high && cell.toDouble() == qint64(cell.toDouble());
}

bool isTextLike(const QVariant& cell, const QRegularExpression& form) {
    return cell.typeId() == QMetaType::QString && form.match(cell.toString()).hasMatch();
}

bool isText(const QVariant& cell, const QString& text) {
    return cell.typeId() == QMetaType::QString && cell.toString() == text;
}

// The row's columns 1 to 8 in order, when it holds an ORVA line and nothing else.
bool isOrvaRow(const QMap<int, QVariant>& row) {
    static const QRegularExpression date(QStringLiteral(R"(^\d\d-\d\d-\d{4}$)"));
    static const QRegularExpression time(QStringLiteral(R"(^\d\d:\d\d:\d\d$)"));
    return row.keys() == QList<int>{1, 2, 3, 4, 5, 6, 7, 8} && isNumberIn(row[1], 0, 0) &&
           isNumberIn(row[2], 0, kIndexes - 1) && isTextLike(row[3], date) &&
           isTextLike(row[4], time) && isNumberIn(row[5], 40, 60) &&
           isText(row[6], QStringLiteral("(RAW)")) && isNumberIn(row[7], 20, 25) &&
           isText(row[8], QStringLiteral("(C)"));
}

QString describe(qsizetype sheet, int row, const QString& what) {
    return QStringLiteral("sheet %1 row %2: %3").arg(sheet + 1).arg(row).arg(what);
}

} // namespace

OrvaRows readOrvaRows(const QList<SheetCells>& sheets, qint64 linesSent) {
    OrvaRows result;
    const auto note = [&result](const QString& problem) {
        if (result.firstProblem.isEmpty())
            result.firstProblem = problem;
    };
    qint64 next = 0; // the running index of the line expected next
    for (qsizetype sheet = 0; sheet < sheets.size(); ++sheet) {
        // The cells come in row order, each row's in column order.
        QMap<int, QMap<int, QVariant>> rows;
        for (auto cell = sheets[sheet].cbegin(); cell != sheets[sheet].cend(); ++cell)
            rows[cell.key().first].insert(cell.key().second, cell.value());
        for (auto row = rows.cbegin(); row != rows.cend(); ++row) {
            if (!isOrvaRow(row.value())) {
                ++result.malformed;
                note(describe(sheet, row.key(), QStringLiteral("not an ORVA line in columns 1-8")));
                continue;
            }
            ++result.rows;
            const qint64 index = qint64(row.value()[2].toDouble());
            const qint64 ahead = ((index - next) % kIndexes + kIndexes) % kIndexes;
            if (ahead == 0) {
                ++next;
            } else if (ahead < kIndexes / 2) {
                result.lost += ahead;
                note(describe(
                    sheet, row.key(),
                    QStringLiteral("index %1 where %2 was due").arg(index).arg(next % kIndexes)));
                next += ahead + 1;
            } else {
                ++result.doubled;
                note(describe(
                    sheet, row.key(),
                    QStringLiteral("index %1 again, %2 was due").arg(index).arg(next % kIndexes)));
            }
        }
    }
    if (next < linesSent) {
        result.lost += linesSent - next;
        note(QStringLiteral("the last %1 lines sent are missing").arg(linesSent - next));
    } else if (next > linesSent) {
        result.doubled += next - linesSent;
        note(QStringLiteral("%1 rows more than lines sent").arg(next - linesSent));
    }
    return result;
}
