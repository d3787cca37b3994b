// The contract of the spreadsheet interface, held against both implementations: the in-memory
// workbook the other tests use, and LibreOffice Calc over UNO (a real headless office).

#include "calcspreadsheet.h"
#include "memoryspreadsheet.h"
#include "officelock.h"
#include "officetesthome.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// The macros of the workbook macros.ods of the office test home, in memory. The tests open
// macros.ods last.
void addMemoryMacros(MemorySpreadsheetFactory& factory) {
    factory.macros.insert(QStringLiteral("macros.ods!Tidy"), [](MemorySpreadsheet& app) {
        MemoryWorkbook& book = app.workbook(app.workbooks().value.last());
        book.sheets[0][{1, 10}] = QStringLiteral("tidied");
        book.saved = false;
        return true;
    });
    factory.macros.insert(QStringLiteral("macros.ods!Fails"),
                          [](MemorySpreadsheet&) { return false; });
    factory.macros.insert(QStringLiteral("macros.ods!CloseMe"), [](MemorySpreadsheet& app) {
        app.closeWorkbook(app.workbooks().value.last());
        return true;
    });
}

} // namespace

class tst_SpreadsheetContract : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase() { QVERIFY(m_home.isReady()); }
    void init();
    void cleanup();

    void cellValues();
    void blocks();
    void workbooksAndTheActiveOne();
    void savedSaveAsAndWorksheets();
    void runFoundMissingAndClosing();
    void deadApplication();
    void limits();
    void quitKeepsModifiedWorkbook();

private:
    QString file(const QString& name) const { return m_home.file(name); }
    WorkbookId openCopy(const QString& name) { return m_home.openMasterCopy(*m_app, name); }
    // The cells of each sheet of a workbook stored under path (by saveAs or quit); no sheets
    // when there is none.
    QList<SheetCells> stored(const QString& path);
    // Saves the workbook as name and tells where it differs from what was due.
    QString savedDifference(WorkbookId book, const QString& name, const QList<SheetCells>& due) {
        if (!m_app->saveAs(book, file(name)).ok())
            return QStringLiteral("not saved");
        return firstDifference(stored(file(name)), due);
    }

    OfficeTestHome m_home;
    std::unique_ptr<MemorySpreadsheetFactory> m_memory;
    std::unique_ptr<SpreadsheetApp> m_app;
    bool m_calc = false;
};

// Every test runs against each implementation.
void tst_SpreadsheetContract::initTestCase_data() {
    QTest::addColumn<bool>("calc");
    QTest::newRow("memory") << false;
    QTest::newRow("calc") << true;
}

void tst_SpreadsheetContract::init() {
    QFETCH_GLOBAL(bool, calc);
    m_calc = calc;
    m_memory = std::make_unique<MemorySpreadsheetFactory>();
    m_memory->recoveryFolder = m_home.options().recoveryDir;
    addMemoryMacros(*m_memory);
    Status status;
    m_app =
        calc ? CalcSpreadsheetFactory(m_home.options()).create(status) : m_memory->create(status);
    QVERIFY2(m_app, qPrintable(status.message));
}

void tst_SpreadsheetContract::cleanup() {
    m_app.reset();
    m_memory.reset();
}

QList<SheetCells> tst_SpreadsheetContract::stored(const QString& path) {
    if (m_calc)
        return readXls(path);
    QList<SheetCells> sheets;
    if (!m_memory->files.contains(path))
        return sheets;
    for (const MemorySheet& sheet : m_memory->files.value(path).sheets) {
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

void tst_SpreadsheetContract::cellValues() {
    struct Case {
        const char* what;
        CellValue written;
        QVariant stored; // invalid: the cell stays empty
    };
    const QList<Case> cases{
        {"number", 12.5, 12.5},
        {"text", QStringLiteral("(RAW)"), QStringLiteral("(RAW)")},
        {"text of a number", QStringLiteral("51"), 51.0},
        {"text of zero", QStringLiteral("0"), 0.0},
        {"number text with sign, blanks and exponent", QStringLiteral(" -3.5e2 "), -350.0},
        {"number text with leading zeros", QStringLiteral("0042"), 42.0},
        {"date-like text", QStringLiteral("12-06-2026"), QStringLiteral("12-06-2026")},
        {"time-like text", QStringLiteral("14:05:09"), QStringLiteral("14:05:09")},
        {"formula-like text", QStringLiteral("=1+1"), QStringLiteral("=1+1")},
        {"decimal comma", QStringLiteral("1,5"), QStringLiteral("1,5")},
        {"number and letters", QStringLiteral("12ab"), QStringLiteral("12ab")},
        {"empty text", QString(), QVariant()},
    };
    const WorkbookId book = openCopy("book.xls");
    QVERIFY(book);
    // Row and column differ for every case: a swapped or shifted position shows.
    SheetCells expected;
    for (int i = 0; i < cases.size(); ++i) {
        QVERIFY2(m_app->setCell(i + 1, 2 * i + 1, cases[i].written).ok(), cases[i].what);
        if (cases[i].stored.isValid())
            expected.insert({i + 1, 2 * i + 1}, cases[i].stored);
    }
    QCOMPARE(savedDifference(book, "out.xls", {expected}), QString());
}

void tst_SpreadsheetContract::blocks() {
    const WorkbookId book = openCopy("block.xls");
    QVERIFY(book);
    const QString old = QStringLiteral("old");
    for (int row = 1; row <= 3; ++row)
        QVERIFY(m_app->setCells(row, 1, CellRow(4, old)).ok());
    // A rectangle in one call, its numbers as numbers; what lies beyond it stays.
    QVERIFY(m_app
                ->setBlock(1, 1,
                           {{QStringLiteral("a"), QStringLiteral("1")}, {QStringLiteral("b"), 2.5}})
                .ok());
    // Rows of different lengths, or a block that leaves the sheet, write no row at all.
    QCOMPARE(m_app->setBlock(3, 2, {{QStringLiteral("x")}, {QStringLiteral("y"), 1.0}}).code,
             SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setBlock(SheetMaxRows, 1, {{1.0}, {2.0}}).code, SpreadsheetStatus::Failed);
    SheetCells expected;
    for (int row = 1; row <= 3; ++row)
        for (int column = 1; column <= 4; ++column)
            expected.insert({row, column}, old);
    expected.insert({1, 1}, QStringLiteral("a"));
    expected.insert({1, 2}, 1.0);
    expected.insert({2, 1}, QStringLiteral("b"));
    expected.insert({2, 2}, 2.5);
    QCOMPARE(savedDifference(book, "block-out.xls", {expected}), QString());
}

void tst_SpreadsheetContract::workbooksAndTheActiveOne() {
    const WorkbookId first = openCopy("first.xls");
    const WorkbookId second = openCopy("Second.XLS");
    QVERIFY(first && second && first != second);
    QCOMPARE(m_app->open(file("absent.xls")).status.code, SpreadsheetStatus::Failed);
    // The opened workbooks, in the order they were opened; after them at most the place of the
    // personal macros, under the personal macro workbook's name.
    const QList<WorkbookId> books = m_app->workbooks().value;
    QCOMPARE(books.mid(0, 2), (QList<WorkbookId>{first, second}));
    for (const WorkbookId extra : books.mid(2))
        QCOMPARE(m_app->name(extra).value, QStringLiteral("Personal.xls"));
    QCOMPARE(m_app->name(first).value, QStringLiteral("first.xls"));
    QCOMPARE(m_app->name(second).value, QStringLiteral("Second.XLS"));
    // The workbook opened last is the active one; one opened beside the others is not.
    QVERIFY(m_app->openBeside(file("macros.ods")).ok());
    QVERIFY(m_app->setCell(1, 1, QStringLiteral("to second")).ok());
    QVERIFY(m_app->activate(first).ok());
    QVERIFY(m_app->setCell(2, 1, QStringLiteral("to first")).ok());
    QCOMPARE(savedDifference(first, "a.xls", {SheetCells{{{2, 1}, QStringLiteral("to first")}}}),
             QString());
    QCOMPARE(savedDifference(second, "b.xls", {SheetCells{{{1, 1}, QStringLiteral("to second")}}}),
             QString());
}

void tst_SpreadsheetContract::savedSaveAsAndWorksheets() {
    const WorkbookId book = openCopy("book.xls");
    QCOMPARE(m_app->saved(book).value, true);
    QVERIFY(m_app->setCell(1, 1, QStringLiteral("first sheet")).ok());
    const Result<bool> afterWrite = m_app->saved(book);
    QVERIFY(afterWrite.ok());
    QCOMPARE(afterWrite.value, false);
    // A name without an extension is stored as .xls; the workbook carries its new name.
    QVERIFY(m_app->saveAs(book, file("plain")).ok());
    QCOMPARE(m_app->saved(book).value, true);
    QCOMPARE(m_app->name(book).value, QStringLiteral("plain.xls"));
    const SheetCells first{{{1, 1}, QStringLiteral("first sheet")}};
    QCOMPARE(firstDifference(stored(file("plain.xls")), {first}), QString());
    // The working copy keeps its old content.
    QCOMPARE(readXls(file("book.xls")), QList<SheetCells>{SheetCells{}});

    QVERIFY(m_app->addWorksheet().ok());
    QCOMPARE(m_app->saved(book).value, false);
    QVERIFY(m_app->setCell(1, 1, QStringLiteral("second sheet")).ok());
    QVERIFY(m_app->setCell(2, 1, 7.0).ok());
    // An extension in capitals names the same format.
    const SheetCells second{{{1, 1}, QStringLiteral("second sheet")}, {{2, 1}, 7.0}};
    QCOMPARE(savedDifference(book, "TWO.XLS", {first, second}), QString());
}

void tst_SpreadsheetContract::runFoundMissingAndClosing() {
    const WorkbookId capture = openCopy("book.xls");
    const Result<WorkbookId> macros = m_app->open(file("macros.ods"));
    QVERIFY(capture && macros.ok());
    // A macro that stops on an error did not run; one that ran changed its workbook.
    QCOMPARE(m_app->run(QStringLiteral("macros.ods!Fails")).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->saved(macros.value).value, true);
    QVERIFY(m_app->run(QStringLiteral("macros.ods!Tidy")).ok());
    QCOMPARE(m_app->saved(macros.value).value, false);
    QCOMPARE(m_app->run(QStringLiteral("macros.ods!NoSuchMacro")).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->run(QStringLiteral("absent.xls!Tidy")).code, SpreadsheetStatus::Failed);

    // The macro closes its own workbook, as a user closing its window does.
    QVERIFY(m_app->run(QStringLiteral("macros.ods!CloseMe")).ok());
    QTRY_COMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->name(macros.value).status.code, SpreadsheetStatus::Closed);
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
    QCOMPARE(m_app->run(QStringLiteral("book.xls!Tidy")).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->saveAs(book, file("x.xls")).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Closed);
}

void tst_SpreadsheetContract::limits() {
    // No workbook open: nowhere to write.
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->addWorksheet().code, SpreadsheetStatus::Closed);
    QVERIFY(openCopy("book.xls"));
    QCOMPARE(m_app->setCell(SheetMaxRows + 1, 1, 1.0).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setCell(1, SheetMaxColumns + 1, 1.0).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setCell(0, 1, 1.0).code, SpreadsheetStatus::Failed);
    QVERIFY(m_app->setCell(SheetMaxRows, SheetMaxColumns, 1.0).ok());
}

void tst_SpreadsheetContract::quitKeepsModifiedWorkbook() {
    QVERIFY(openCopy("unchanged.xls"));
    QVERIFY(openCopy("changed.xls"));
    QVERIFY(m_app->setCell(5, 2, QStringLiteral("not lost")).ok());
    const Result<QString> quit = m_app->quit();
    QVERIFY(quit.ok());
    // Only the modified workbook is kept, in the recovery folder.
    QVERIFY(!quit.value.contains(u';'));
    QCOMPARE(QFileInfo(quit.value).absolutePath(), m_home.options().recoveryDir);
    QVERIFY(QFileInfo(quit.value).fileName().startsWith(u"changed"));
    QCOMPARE(
        firstDifference(stored(quit.value), {SheetCells{{{5, 2}, QStringLiteral("not lost")}}}),
        QString());
    // It is gone, and so is its office, which left no lock behind.
    QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(officeProcesses(), QList<pid_t>{});
    QVERIFY(!QFile::exists(lockFilePath(file("unchanged.xls"))));
}

QTEST_MAIN(tst_SpreadsheetContract)
#include "tst_spreadsheetcontract.moc"
