// The contract of the spreadsheet interface, held against both implementations: the in-memory
// workbook the other tests use, and LibreOffice Calc over UNO (a real headless office).

#include "calcspreadsheet.h"
#include "memoryspreadsheet.h"
#include "officetesthome.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// The macros of the workbook macros.ods, in memory as makeMacroBook makes them for the office.
// The tests open macros.ods last.
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
    void initTestCase();
    void init();
    void cleanup();

    void cellValues();
    void writesGoToTheActiveWorkbook();
    void workbooksAndNames();
    void savedAndSaveAs();
    void runFoundAndMissing();
    void closedWorkbook();
    void deadApplication();
    void addWorksheet();
    void limits();
    void quitKeepsModifiedWorkbook();

private:
    // Starts the row's application; the test ends when it cannot.
    void start();
    QString file(const QString& name) const { return m_files->filePath(name); }
    WorkbookId openCopy(const QString& name) { return openMasterCopy(*m_app, file(name)); }
    // The cells of each sheet of a workbook stored under path (by saveAs or quit); no sheets
    // when there is none.
    QList<SheetCells> stored(const QString& path);
    QList<SheetCells> storedAfterSaveAs(WorkbookId book, const QString& name) {
        return m_app->saveAs(book, file(name)).ok() ? stored(file(name)) : QList<SheetCells>();
    }

    std::unique_ptr<OfficeTestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_files;
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

void tst_SpreadsheetContract::initTestCase() {
    m_home = std::make_unique<OfficeTestHome>();
    QVERIFY(m_home->isValid());
    QVERIFY(m_home->prepareProfile());
}

void tst_SpreadsheetContract::init() {
    QFETCH_GLOBAL(bool, calc);
    m_calc = calc;
    // A dot in a folder name is no file extension.
    m_files = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/celvane.contract-XXXXXX");
    m_memory = std::make_unique<MemorySpreadsheetFactory>();
    m_memory->recoveryFolder = m_home->options().recoveryDir;
    addMemoryMacros(*m_memory);
}

void tst_SpreadsheetContract::cleanup() {
    m_app.reset();
    m_memory.reset();
    m_files.reset();
}

void tst_SpreadsheetContract::start() {
    Status status;
    if (m_calc)
        m_app = CalcSpreadsheetFactory(m_home->options()).create(status);
    else
        m_app = m_memory->create(status);
    if (!m_app)
        qFatal("cannot start the spreadsheet: %s", qPrintable(status.message));
}

QList<SheetCells> tst_SpreadsheetContract::stored(const QString& path) {
    if (m_calc)
        return readXls(path).value_or(QList<SheetCells>());
    if (!m_memory->files.contains(path))
        return {};
    QList<SheetCells> sheets;
    for (const MemorySheet& sheet : m_memory->files.value(path).sheets) {
        sheets << SheetCells();
        for (const auto& [at, value] : sheet) {
            if (const double* number = std::get_if<double>(&value))
                sheets.last().insert({at.first, at.second}, *number);
            else if (!std::get<QString>(value).isEmpty()) // an empty text leaves the cell empty
                sheets.last().insert({at.first, at.second}, std::get<QString>(value));
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
        {"reference-like text", QStringLiteral("=A1"), QStringLiteral("=A1")},
        {"decimal comma", QStringLiteral("1,5"), QStringLiteral("1,5")},
        {"number and letters", QStringLiteral("12ab"), QStringLiteral("12ab")},
        {"empty text", QString(), QVariant()},
    };
    start();
    const WorkbookId book = openCopy(QStringLiteral("book.xls"));
    QVERIFY(book);
    // Row and column differ for every case: a swapped or shifted position shows.
    for (int i = 0; i < cases.size(); ++i)
        QVERIFY2(m_app->setCell(i + 1, 2 * i + 1, cases[i].written).ok(), cases[i].what);
    const QList<SheetCells> sheets = storedAfterSaveAs(book, QStringLiteral("out.xls"));
    QCOMPARE(sheets.size(), 1);
    SheetCells expected;
    for (int i = 0; i < cases.size(); ++i)
        if (cases[i].stored.isValid())
            expected.insert({i + 1, 2 * i + 1}, cases[i].stored);
    QCOMPARE(sheets[0], expected);
}

void tst_SpreadsheetContract::writesGoToTheActiveWorkbook() {
    start();
    const WorkbookId first = openCopy(QStringLiteral("first.xls"));
    const WorkbookId second = openCopy(QStringLiteral("second.xls"));
    QVERIFY(first && second && first != second);
    // The workbook opened last is the active one.
    QVERIFY(m_app->setCell(1, 1, QStringLiteral("to second")).ok());
    QVERIFY(m_app->activate(first).ok());
    QVERIFY(m_app->setCell(2, 1, QStringLiteral("to first")).ok());
    QCOMPARE(storedAfterSaveAs(first, QStringLiteral("a.xls")).value(0),
             (SheetCells{{{2, 1}, QStringLiteral("to first")}}));
    QCOMPARE(storedAfterSaveAs(second, QStringLiteral("b.xls")).value(0),
             (SheetCells{{{1, 1}, QStringLiteral("to second")}}));
}

void tst_SpreadsheetContract::workbooksAndNames() {
    start();
    const WorkbookId first = openCopy(QStringLiteral("first.xls"));
    const WorkbookId second = openCopy(QStringLiteral("Second.XLS"));
    QCOMPARE(m_app->open(file(QStringLiteral("absent.xls"))).status.code,
             SpreadsheetStatus::Failed);
    // The opened workbooks, in the order they were opened; after them at most the place of the
    // personal macros, under the personal macro workbook's name.
    const QList<WorkbookId> books = m_app->workbooks().value;
    QVERIFY(books.size() >= 2);
    QCOMPARE(books.mid(0, 2), (QList<WorkbookId>{first, second}));
    for (const WorkbookId extra : books.mid(2))
        QCOMPARE(m_app->name(extra).value, QStringLiteral("Personal.xls"));
    QCOMPARE(m_app->name(first).value, QStringLiteral("first.xls"));
    QCOMPARE(m_app->name(second).value, QStringLiteral("Second.XLS"));
}

void tst_SpreadsheetContract::savedAndSaveAs() {
    start();
    const WorkbookId book = openCopy(QStringLiteral("book.xls"));
    QCOMPARE(m_app->saved(book).value, true);
    QVERIFY(m_app->setCell(3, 4, QStringLiteral("kept")).ok());
    const Result<bool> afterWrite = m_app->saved(book);
    QVERIFY(afterWrite.ok());
    QCOMPARE(afterWrite.value, false);
    // A name without an extension is stored as .xls; the workbook carries its new name.
    QVERIFY(m_app->saveAs(book, file(QStringLiteral("plain"))).ok());
    QCOMPARE(m_app->saved(book).value, true);
    QCOMPARE(m_app->name(book).value, QStringLiteral("plain.xls"));
    QCOMPARE(stored(file(QStringLiteral("plain.xls"))).value(0),
             (SheetCells{{{3, 4}, QStringLiteral("kept")}}));
    // The working copy keeps its old content.
    QCOMPARE(readXls(file(QStringLiteral("book.xls"))).value_or(QList<SheetCells>()).value(0),
             SheetCells{});
}

void tst_SpreadsheetContract::runFoundAndMissing() {
    start();
    QVERIFY(makeMacroBook(file(QStringLiteral("macros.ods"))));
    const Result<WorkbookId> book = m_app->open(file(QStringLiteral("macros.ods")));
    QVERIFY(book.ok());
    // A macro that stops on an error did not run; one that ran changed its workbook.
    QCOMPARE(m_app->run(QStringLiteral("macros.ods!Fails")).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->saved(book.value).value, true);
    QVERIFY(m_app->run(QStringLiteral("macros.ods!Tidy")).ok());
    QCOMPARE(m_app->saved(book.value).value, false);
    QCOMPARE(storedAfterSaveAs(book.value, QStringLiteral("tidied.xls")).value(0),
             (SheetCells{{{1, 10}, QStringLiteral("tidied")}}));

    QCOMPARE(m_app->run(QStringLiteral("tidied.xls!NoSuchMacro")).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->run(QStringLiteral("absent.xls!Tidy")).code, SpreadsheetStatus::Failed);
    QVERIFY(m_app->setCell(1, 1, 1.0).ok()); // still usable
}

void tst_SpreadsheetContract::closedWorkbook() {
    start();
    const WorkbookId capture = openCopy(QStringLiteral("book.xls"));
    QVERIFY(makeMacroBook(file(QStringLiteral("macros.ods"))));
    const Result<WorkbookId> macros = m_app->open(file(QStringLiteral("macros.ods")));
    QVERIFY(macros.ok());
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
    start();
    const WorkbookId book = openCopy(QStringLiteral("book.xls"));
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    if (m_calc)
        ::kill(static_cast<CalcSpreadsheet&>(*m_app).officePid(), SIGKILL);
    else
        static_cast<MemorySpreadsheet&>(*m_app).closeApplication();
    QTRY_COMPARE(m_app->setCell(1, 1, 2.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->saved(book).status.code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->run(QStringLiteral("book.xls!Tidy")).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->saveAs(book, file(QStringLiteral("x.xls"))).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Closed);
}

void tst_SpreadsheetContract::addWorksheet() {
    start();
    const WorkbookId book = openCopy(QStringLiteral("book.xls"));
    QVERIFY(m_app->setCell(1, 1, QStringLiteral("first sheet")).ok());
    QVERIFY(m_app->saveAs(book, file(QStringLiteral("saved.xls"))).ok());
    QVERIFY(m_app->addWorksheet().ok());
    QCOMPARE(m_app->saved(book).value, false);
    QVERIFY(m_app->setCell(1, 1, QStringLiteral("second sheet")).ok());
    QVERIFY(m_app->setCell(2, 1, 7.0).ok());
    // An extension in capitals names the same format.
    const QList<SheetCells> sheets = storedAfterSaveAs(book, QStringLiteral("TWO.XLS"));
    QCOMPARE(sheets.size(), 2);
    QCOMPARE(sheets[0], (SheetCells{{{1, 1}, QStringLiteral("first sheet")}}));
    QCOMPARE(sheets[1], (SheetCells{{{1, 1}, QStringLiteral("second sheet")}, {{2, 1}, 7.0}}));
}

void tst_SpreadsheetContract::limits() {
    start();
    // No workbook open: nowhere to write.
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->addWorksheet().code, SpreadsheetStatus::Closed);
    QVERIFY(openCopy(QStringLiteral("book.xls")));
    QCOMPARE(m_app->setCell(SheetMaxRows + 1, 1, 1.0).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setCell(1, SheetMaxColumns + 1, 1.0).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setCell(0, 1, 1.0).code, SpreadsheetStatus::Failed);
    QVERIFY(m_app->setCell(SheetMaxRows, SheetMaxColumns, 1.0).ok());
}

void tst_SpreadsheetContract::quitKeepsModifiedWorkbook() {
    start();
    QVERIFY(openCopy(QStringLiteral("unchanged.xls")));
    QVERIFY(openCopy(QStringLiteral("changed.xls")));
    QVERIFY(m_app->setCell(5, 2, QStringLiteral("not lost")).ok());
    const Result<QString> quit = m_app->quit();
    QVERIFY(quit.ok());
    // Only the modified workbook is kept, in the recovery folder.
    QVERIFY(!quit.value.contains(u';'));
    QCOMPARE(QFileInfo(quit.value).absolutePath(), m_home->options().recoveryDir);
    QVERIFY(QFileInfo(quit.value).fileName().startsWith(u"changed"));
    QCOMPARE(stored(quit.value).value(0), (SheetCells{{{5, 2}, QStringLiteral("not lost")}}));
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed); // it is gone
}

QTEST_MAIN(tst_SpreadsheetContract)
#include "tst_spreadsheetcontract.moc"
