#include "capturecells.h"

QString orvaLine(int index, int measurement, int temperature) {
    return QStringLiteral("0 %1 :: 12-06-2026 14:05:09 = %2 (RAW)  %3 (C)\r\n")
        .arg(index, 4, 10, QLatin1Char('0'))
        .arg(measurement)
        .arg(temperature);
}

void addOrvaRow(SheetCells& cells, int row, int index, int measurement, int temperature) {
    cells.insert({row, 1}, 0.0);
    cells.insert({row, 2}, double(index));
    cells.insert({row, 3}, QStringLiteral("12-06-2026"));
    cells.insert({row, 4}, QStringLiteral("14:05:09"));
    cells.insert({row, 5}, double(measurement));
    cells.insert({row, 6}, QStringLiteral("(RAW)"));
    cells.insert({row, 7}, double(temperature));
    cells.insert({row, 8}, QStringLiteral("(C)"));
}

QStringList numbers(int first, int last) {
    QStringList list;
    for (int n = first; n <= last; ++n)
        list << QString::number(n);
    return list;
}

QString asLines(const QStringList& texts) {
    return texts.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

void addColumn(SheetCells& cells, int column, int row, int first, int last) {
    for (int n = first; n <= last; ++n)
        cells.insert({row++, column}, double(n));
}

namespace {

// A number and a text that reads as that number are different cells.
bool sameCell(const QVariant& actual, const QVariant& expected) {
    return actual.typeId() == expected.typeId() && actual == expected;
}

QString shown(const QVariant& cell) {
    if (!cell.isValid())
        return QStringLiteral("nothing");
    return QStringLiteral("%1 \"%2\"").arg(QLatin1String(cell.typeName()), cell.toString());
}

QString at(const QPair<int, int>& cell) {
    return QStringLiteral("row %1 column %2").arg(cell.first).arg(cell.second);
}

} // namespace

QString firstDifference(const SheetCells& actual, const SheetCells& expected) {
    for (auto cell = expected.cbegin(); cell != expected.cend(); ++cell) {
        if (!sameCell(actual.value(cell.key()), cell.value()))
            return QStringLiteral("%1: %2 where %3 was due")
                .arg(at(cell.key()), shown(actual.value(cell.key())), shown(cell.value()));
    }
    for (auto cell = actual.cbegin(); cell != actual.cend(); ++cell) {
        if (!expected.contains(cell.key()))
            return QStringLiteral("%1: %2 where nothing was due")
                .arg(at(cell.key()), shown(cell.value()));
    }
    return {};
}
