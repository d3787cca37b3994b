#pragma once

#include "spreadsheet.h"

#include <QMap>
#include <QTest>
#include <QVariant>

#include <functional>

// The cells of one sheet by (row, column), 1-based: a double for a number, a QDateTime for a
// date and time, else a QString.
using SheetCells = QMap<QPair<int, int>, QVariant>;

// What every spreadsheet application keeps to, the real office and the one in memory alike:
// cells and blocks are written, refused and stored as the office does it. book is an open, active
// workbook in folder; stored(path) reads back the sheets of a workbook saved there.
inline void checkSpreadsheetContract(SpreadsheetApp& app, WorkbookId book, const QString& folder,
                                     const std::function<QList<SheetCells>(QString)>& stored) {
    using namespace Qt::StringLiterals;
    const QDateTime arrived(QDate(2026, 12, 7), QTime(14, 5, 9, 123));
    // Written, and stored (invalid: the cell stays empty); row and column differ each time.
    const QList<std::pair<CellValue, QVariant>> cases{{12.5, 12.5},
                                                      {u" -3.5e2 "_s, -350.0},
                                                      {u"0042"_s, 42.0},
                                                      {u"0"_s, 0.0},
                                                      {u"=1+1"_s, u"=1+1"_s},
                                                      {u"1,5"_s, u"1,5"_s},
                                                      {u"12ab"_s, u"12ab"_s},
                                                      {u"14:05:09"_s, u"14:05:09"_s},
                                                      {QString(), QVariant()},
                                                      {LiteralText{u"1.5"_s}, u"1.5"_s},
                                                      {arrived, arrived}};
    SheetCells expected;
    for (int i = 0; i < cases.size(); ++i) {
        QVERIFY(app.setCell(i + 10, 2 * i + 1, cases[i].first).ok());
        if (cases[i].second.isValid())
            expected.insert({i + 10, 2 * i + 1}, cases[i].second);
    }
    // A rectangle in one call, its numbers as numbers; what lies beyond it stays.
    QVERIFY(app.setCells(3, 1, CellRow(3, u"old"_s)).ok());
    QVERIFY(app.setBlock(2, 1, {{u"a"_s, u"1"_s}, {u"b"_s, 2.5}}).ok());
    expected.insert(SheetCells{
        {{2, 1}, u"a"_s}, {{2, 2}, 1.0}, {{3, 1}, u"b"_s}, {{3, 2}, 2.5}, {{3, 3}, u"old"_s}});
    // Dates and times are dates in a rectangle too.
    const QDateTime later = arrived.addMSecs(1001);
    QVERIFY(app.setBlock(5, 4, {{arrived, 1.0}, {later, 2.0}}).ok());
    expected.insert(SheetCells{{{5, 4}, arrived}, {{5, 5}, 1.0}, {{6, 4}, later}, {{6, 5}, 2.0}});
    // Rows of different lengths, or cells off the sheet, are not written at all.
    QCOMPARE(app.setBlock(4, 2, {{u"x"_s}, {1.0, 2.0}}).code, SpreadsheetStatus::Failed);
    QCOMPARE(app.setBlock(SheetMaxRows, 1, {{1.0}, {2.0}}).code, SpreadsheetStatus::Failed);
    QCOMPARE(app.setCell(1, SheetMaxColumns + 1, 1.0).code, SpreadsheetStatus::Failed);
    QCOMPARE(app.setCell(0, 1, 1.0).code, SpreadsheetStatus::Failed);
    // Stored as .xls where the name gives no workbook format.
    for (const QString& name : {u"out"_s, u"run 12.06.2026"_s}) {
        QVERIFY(app.saveAs(book, folder + u'/' + name).ok() && app.saved(book).value);
        QCOMPARE(app.name(book).value, name + u".xls"_s);
        QCOMPARE(stored(folder + u'/' + name + u".xls"_s), QList<SheetCells>{expected});
    }
    QVERIFY(app.setCell(SheetMaxRows, SheetMaxColumns, 1.0).ok() && !app.saved(book).value);
}
