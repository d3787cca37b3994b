// The spreadsheet interface's contract, held against the in-memory workbook the other tests use
// and against a real headless Calc.

#include "calcspreadsheet.h"
#include "memoryspreadsheet.h"
#include "officelock.h"
#include "officetesthome.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

class tst_SpreadsheetContract : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() {
        QTest::addColumn<bool>("calc");
        QTest::newRow("memory") << false;
        QTest::newRow("calc") << true;
    }
    void initTestCase() { QVERIFY(m_home.isReady()); }
    void init();
    void cleanup() { m_app.reset(); }
    void cellsAndBlocks();
    void workbooksSavedAndSheets();
    void macros();
    void deadApplication();
    void quitKeepsModifiedWorkbook();

private:
    QString file(const QString& name) const { return m_home.file(name); }
    WorkbookId openCopy(const QString& name) { return m_home.openMasterCopy(*m_app, name); }
    // The sheets of a workbook stored under path (by saveAs or quit).
    QList<SheetCells> stored(const QString& path);
    // Saves the workbook as name and tells where it differs from what was due.
    QString savedDifference(WorkbookId book, const QString& name, const QList<SheetCells>& due) {
        if (!m_app->saveAs(book, file(name)).ok())
            return u"not saved"_s;
        return firstDifference(stored(file(name)), due);
    }

    OfficeTestHome m_home;
    MemorySpreadsheetFactory m_memory;
    std::unique_ptr<SpreadsheetApp> m_app;
    bool m_calc = false;
};

void tst_SpreadsheetContract::init() {
    QFETCH_GLOBAL(bool, calc);
    m_calc = calc;
    if (m_memory.macros.isEmpty()) {
        // The macros of macros.ods, which the tests open last.
        m_memory.recoveryFolder = m_home.options().recoveryDir;
        m_memory.macros.insert(u"macros.ods!Tidy"_s, [](MemorySpreadsheet& app) {
            MemoryWorkbook& book = app.workbook(app.workbooks().value.last());
            book.sheets[0][{1, 10}] = u"tidied"_s;
            book.saved = false;
            return true;
        });
        m_memory.macros.insert(u"macros.ods!Fails"_s, [](MemorySpreadsheet&) { return false; });
        m_memory.macros.insert(u"macros.ods!CloseMe"_s, [](MemorySpreadsheet& app) {
            app.closeWorkbook(app.workbooks().value.last());
            return true;
        });
    }
    Status status;
    m_app =
        calc ? CalcSpreadsheetFactory(m_home.options()).create(status) : m_memory.create(status);
    QVERIFY2(m_app, qPrintable(status.message));
}

QList<SheetCells> tst_SpreadsheetContract::stored(const QString& path) {
    if (m_calc)
        return readXls(path);
    QList<SheetCells> sheets;
    if (!m_memory.files.contains(path))
        return sheets;
    for (const MemorySheet& sheet : m_memory.files.value(path).sheets) {
        SheetCells& cells = sheets.emplaceBack();
        for (const auto& [at, value] : sheet) {
            if (const double* number = std::get_if<double>(&value))
                cells.insert({at.first, at.second}, *number);
            else if (!std::get<QString>(value).isEmpty()) // an empty text leaves the cell empty
                cells.insert({at.first, at.second}, std::get<QString>(value));
        }
    }
    return sheets;
}

void tst_SpreadsheetContract::cellsAndBlocks() {
    // Nowhere to write while no workbook is open.
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->addWorksheet().code, SpreadsheetStatus::Closed);
    const WorkbookId book = openCopy("book.xls");
    QVERIFY(book);
    const QList<std::pair<CellValue, QVariant>> cases{
        // written, stored (invalid: the cell stays empty)
        {12.5, 12.5},
        {u"(RAW)"_s, u"(RAW)"_s},
        {u"0"_s, 0.0},
        {u" -3.5e2 "_s, -350.0},
        {u"0042"_s, 42.0},
        {u"12-06-2026"_s, u"12-06-2026"_s},
        {u"14:05:09"_s, u"14:05:09"_s},
        {u"=1+1"_s, u"=1+1"_s},
        {u"1,5"_s, u"1,5"_s},
        {u"12ab"_s, u"12ab"_s},
        {QString(), QVariant()},
    };
    // Row and column differ for every case: a swapped or shifted position shows.
    SheetCells expected;
    for (int i = 0; i < cases.size(); ++i) {
        QVERIFY(m_app->setCell(i + 10, 2 * i + 1, cases[i].first).ok());
        if (cases[i].second.isValid())
            expected.insert({i + 10, 2 * i + 1}, cases[i].second);
    }
    const QString old = u"old"_s;
    for (int row = 1; row <= 3; ++row) {
        QVERIFY(m_app->setCells(row, 1, CellRow(4, old)).ok());
        for (int column = 1; column <= 4; ++column)
            expected.insert({row, column}, old);
    }
    // A rectangle in one call, its numbers as numbers; what lies beyond it stays.
    const CellRow a{u"a"_s, u"1"_s}, b{u"b"_s, 2.5};
    QVERIFY(m_app->setBlock(1, 1, {a, b}).ok());
    expected.insert({1, 1}, u"a"_s);
    expected.insert({1, 2}, 1.0);
    expected.insert({2, 1}, u"b"_s);
    expected.insert({2, 2}, 2.5);
    // Rows of different lengths, or cells off the sheet, are not written at all.
    QCOMPARE(m_app->setBlock(3, 2, {{u"x"_s}, b}).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setBlock(SheetMaxRows, 1, {{1.0}, {2.0}}).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setCell(SheetMaxRows + 1, 1, 1.0).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setCell(1, SheetMaxColumns + 1, 1.0).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setCell(0, 1, 1.0).code, SpreadsheetStatus::Failed);
    QCOMPARE(savedDifference(book, "out.xls", {expected}), QString());
    QVERIFY(m_app->setCell(SheetMaxRows, SheetMaxColumns, 1.0).ok());
}

void tst_SpreadsheetContract::workbooksSavedAndSheets() {
    const WorkbookId first = openCopy("first.xls");
    const WorkbookId second = openCopy("Second.XLS");
    QVERIFY(first && second && first != second);
    QCOMPARE(m_app->open(file("absent.xls")).status.code, SpreadsheetStatus::Failed);
    // In the order opened; after them at most the personal macros, under their workbook's name.
    const QList<WorkbookId> books = m_app->workbooks().value;
    QCOMPARE(books.mid(0, 2), (QList<WorkbookId>{first, second}));
    for (const WorkbookId extra : books.mid(2))
        QCOMPARE(m_app->name(extra).value, u"Personal.xls"_s);
    QCOMPARE(m_app->name(second).value, u"Second.XLS"_s);
    // The workbook opened last is the active one; one opened beside the others is not.
    QVERIFY(m_app->openBeside(file("macros.ods")).ok());
    QVERIFY(m_app->setCell(1, 1, u"to second"_s).ok());
    QCOMPARE(savedDifference(second, "b.xls", {SheetCells{{{1, 1}, u"to second"_s}}}), QString());

    QVERIFY(m_app->activate(first).ok());
    QCOMPARE(m_app->saved(first).value, true);
    QVERIFY(m_app->setCell(1, 1, u"first sheet"_s).ok());
    const Result<bool> afterWrite = m_app->saved(first);
    QVERIFY(afterWrite.ok() && !afterWrite.value);
    // A name without an extension is stored as .xls; the workbook carries its new name.
    QVERIFY(m_app->saveAs(first, file("plain")).ok());
    QCOMPARE(m_app->saved(first).value, true);
    QCOMPARE(m_app->name(first).value, u"plain.xls"_s);
    const SheetCells sheet1{{{1, 1}, u"first sheet"_s}};
    QCOMPARE(firstDifference(stored(file("plain.xls")), {sheet1}), QString());
    // The working copy keeps its old content.
    QCOMPARE(readXls(file("first.xls")), QList<SheetCells>{SheetCells{}});

    QVERIFY(m_app->addWorksheet().ok());
    QCOMPARE(m_app->saved(first).value, false);
    QVERIFY(m_app->setCell(2, 1, 7.0).ok());
    QCOMPARE(savedDifference(first, "TWO.XLS", {sheet1, SheetCells{{{2, 1}, 7.0}}}), QString());
}

void tst_SpreadsheetContract::macros() {
    const WorkbookId capture = openCopy("book.xls");
    const Result<WorkbookId> macros = m_app->open(file("macros.ods"));
    QVERIFY(capture && macros.ok());
    // A macro that stops on an error did not run; one that ran changed its workbook.
    QCOMPARE(m_app->run(u"macros.ods!Fails"_s).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->saved(macros.value).value, true);
    QVERIFY(m_app->run(u"macros.ods!Tidy"_s).ok());
    QCOMPARE(m_app->saved(macros.value).value, false);
    QCOMPARE(m_app->run(u"macros.ods!NoSuchMacro"_s).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->run(u"absent.xls!Tidy"_s).code, SpreadsheetStatus::Failed);
    // The macro closes its own workbook, as a user closing its window does.
    QVERIFY(m_app->run(u"macros.ods!CloseMe"_s).ok());
    QTRY_COMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->saved(macros.value).status.code, SpreadsheetStatus::Closed);
    QVERIFY(!m_app->workbooks().value.contains(macros.value));
    // The other workbook goes on.
    QVERIFY(m_app->activate(capture).ok());
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
}

void tst_SpreadsheetContract::deadApplication() {
    const WorkbookId book = openCopy("book.xls");
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    if (m_calc)
        ::kill(static_cast<CalcSpreadsheet&>(*m_app).officePid(), SIGKILL);
    else
        static_cast<MemorySpreadsheet&>(*m_app).closeApplication();
    QTRY_COMPARE(m_app->setCell(1, 1, 2.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->saved(book).status.code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->run(u"book.xls!Tidy"_s).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->saveAs(book, file("x.xls")).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Closed);
}

void tst_SpreadsheetContract::quitKeepsModifiedWorkbook() {
    QVERIFY(openCopy("unchanged.xls") && openCopy("changed.xls"));
    QVERIFY(m_app->setCell(5, 2, u"not lost"_s).ok());
    const Result<QString> quit = m_app->quit();
    QVERIFY(quit.ok());
    // Only the modified workbook is kept, in the recovery folder.
    QCOMPARE(QFileInfo(quit.value).absolutePath(), m_home.options().recoveryDir);
    QVERIFY(QFileInfo(quit.value).fileName().startsWith(u"changed"));
    QCOMPARE(firstDifference(stored(quit.value), {SheetCells{{{5, 2}, u"not lost"_s}}}), QString());
    // It is gone, and so is its office, which left no lock behind.
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(officeProcesses(), QList<pid_t>{});
    QVERIFY(!QFile::exists(lockFilePath(file("unchanged.xls"))));
}

QTEST_MAIN(tst_SpreadsheetContract)
#include "tst_spreadsheetcontract.moc"
