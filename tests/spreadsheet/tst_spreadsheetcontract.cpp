// The contract of the spreadsheet interface, held against both implementations: the in-memory
// workbook the other tests use, and LibreOffice Calc over UNO (a real headless office).

#include "calcspreadsheet.h"
#include "memoryspreadsheet.h"
#include "officetesthome.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// One implementation as the tests drive it, with what a user or the system does to it.
class Subject {
public:
    virtual ~Subject() = default;
    virtual std::unique_ptr<SpreadsheetApp> create(Status& status) = 0;
    // The application dies (the process is killed, the user ends it).
    virtual void kill(SpreadsheetApp& app) = 0;
    // The application stops answering, and answers again.
    virtual void stop(SpreadsheetApp& app, bool stopped) = 0;
    // The cells of each sheet of a workbook stored under path (by saveAs or quit).
    virtual std::optional<QList<SheetCells>> stored(const QString& path) = 0;
    // Where quit keeps a modified workbook.
    virtual QString recoveryFolder() const = 0;
};

class MemorySubject final : public Subject {
public:
    explicit MemorySubject(const QString& recovery) {
        m_factory.recoveryFolder = recovery;
        m_factory.macros.insert(QStringLiteral("macros.ods!Tidy"), tidy);
        m_factory.macros.insert(QStringLiteral("macros.ods!Fails"),
                                [](MemorySpreadsheet&) { return false; });
        m_factory.macros.insert(QStringLiteral("macros.ods!CloseMe"), closeMe);
    }
    std::unique_ptr<SpreadsheetApp> create(Status& status) override {
        return m_factory.create(status);
    }
    void kill(SpreadsheetApp& app) override {
        static_cast<MemorySpreadsheet&>(app).closeApplication();
    }
    void stop(SpreadsheetApp& app, bool stopped) override {
        static_cast<MemorySpreadsheet&>(app).setBusy(stopped);
    }
    std::optional<QList<SheetCells>> stored(const QString& path) override {
        if (!m_factory.files.contains(path))
            return std::nullopt;
        QList<SheetCells> sheets;
        for (const MemorySheet& sheet : m_factory.files.value(path).sheets) {
            SheetCells cells;
            for (const auto& [at, value] : sheet) {
                if (const double* number = std::get_if<double>(&value))
                    cells.insert({at.first, at.second}, *number);
                else if (!std::get<QString>(value).isEmpty())
                    cells.insert({at.first, at.second}, std::get<QString>(value));
            }
            sheets << cells;
        }
        return sheets;
    }
    QString recoveryFolder() const override { return m_factory.recoveryFolder; }

private:
    static WorkbookId macroBook(MemorySpreadsheet& app) {
        const QList<WorkbookId> books = app.workbooks().value;
        for (WorkbookId book : books)
            if (app.name(book).value == u"macros.ods")
                return book;
        return 0;
    }
    static bool tidy(MemorySpreadsheet& app) {
        MemoryWorkbook& book = app.workbook(macroBook(app));
        book.sheets[0][{1, 10}] = QStringLiteral("tidied");
        book.saved = false;
        return true;
    }
    static bool closeMe(MemorySpreadsheet& app) {
        app.closeWorkbook(macroBook(app));
        return true;
    }

    MemorySpreadsheetFactory m_factory;
};

class CalcSubject final : public Subject {
public:
    explicit CalcSubject(const CalcOptions& options)
        : m_factory(options)
        , m_recovery(options.recoveryDir) {}
    std::unique_ptr<SpreadsheetApp> create(Status& status) override {
        return m_factory.create(status);
    }
    void kill(SpreadsheetApp& app) override {
        ::kill(static_cast<CalcSpreadsheet&>(app).officePid(), SIGKILL);
    }
    void stop(SpreadsheetApp& app, bool stopped) override {
        ::kill(static_cast<CalcSpreadsheet&>(app).officePid(), stopped ? SIGSTOP : SIGCONT);
    }
    std::optional<QList<SheetCells>> stored(const QString& path) override { return readXls(path); }
    QString recoveryFolder() const override { return m_recovery; }

private:
    CalcSpreadsheetFactory m_factory;
    QString m_recovery;
};

} // namespace

class tst_SpreadsheetContract : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void cellValues_data() { implementations(); }
    void cellValues();
    void writesGoToTheActiveWorkbook_data() { implementations(); }
    void writesGoToTheActiveWorkbook();
    void workbooksAndNames_data() { implementations(); }
    void workbooksAndNames();
    void savedFollowsChanges_data() { implementations(); }
    void savedFollowsChanges();
    void saveAsWithoutExtension_data() { implementations(); }
    void saveAsWithoutExtension();
    void runFoundAndMissing_data() { implementations(); }
    void runFoundAndMissing();
    void closedWorkbook_data() { implementations(); }
    void closedWorkbook();
    void deadApplication_data() { implementations(); }
    void deadApplication();
    void busyApplication_data() { implementations(); }
    void busyApplication();
    void addWorksheet_data() { implementations(); }
    void addWorksheet();
    void cellsOutsideTheSheet_data() { implementations(); }
    void cellsOutsideTheSheet();
    void noWorkbookOpen_data() { implementations(); }
    void noWorkbookOpen();
    void openMissingFile_data() { implementations(); }
    void openMissingFile();
    void quitKeepsModifiedWorkbook_data() { implementations(); }
    void quitKeepsModifiedWorkbook();

private:
    static void implementations();
    // Starts the row's application; the test fails when it cannot.
    SpreadsheetApp& start();
    QString file(const QString& name) const { return m_files->filePath(name); }
    WorkbookId openCopy(const QString& name);
    QList<SheetCells> storedAfterSaveAs(WorkbookId book, const QString& name);

    std::unique_ptr<OfficeTestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<Subject> m_subject;
    std::unique_ptr<SpreadsheetApp> m_app;
};

void tst_SpreadsheetContract::implementations() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("memory") << QStringLiteral("memory");
    QTest::newRow("calc") << QStringLiteral("calc");
}

void tst_SpreadsheetContract::initTestCase() {
    m_home = std::make_unique<OfficeTestHome>();
    QVERIFY(m_home->isValid());
    QVERIFY(QFileInfo::exists(masterWorkbook()));
    QVERIFY(m_home->prepareProfile());
}

void tst_SpreadsheetContract::init() {
    m_files = std::make_unique<QTemporaryDir>();
    QFETCH(QString, kind);
    if (kind == u"memory")
        m_subject = std::make_unique<MemorySubject>(m_home->options().recoveryDir);
    else
        m_subject = std::make_unique<CalcSubject>(m_home->options());
}

void tst_SpreadsheetContract::cleanup() {
    m_app.reset();
    m_subject.reset();
    m_files.reset();
}

SpreadsheetApp& tst_SpreadsheetContract::start() {
    Status status;
    m_app = m_subject->create(status);
    if (!m_app)
        qFatal("cannot start the spreadsheet: %s", qPrintable(status.message));
    return *m_app;
}

WorkbookId tst_SpreadsheetContract::openCopy(const QString& name) {
    if (!copyMaster(file(name)))
        return 0;
    const Result<WorkbookId> opened = m_app->open(file(name));
    return opened.ok() ? opened.value : 0;
}

QList<SheetCells> tst_SpreadsheetContract::storedAfterSaveAs(WorkbookId book, const QString& name) {
    const Status status = m_app->saveAs(book, file(name));
    if (!status.ok())
        qWarning("saveAs failed: %s", qPrintable(status.message));
    return m_subject->stored(file(name)).value_or(QList<SheetCells>{});
}

void tst_SpreadsheetContract::cellValues() {
    struct Case {
        const char* what;
        CellValue written;
        QVariant stored; // invalid: the cell stays empty
    };
    const QList<Case> cases{
        {"number", 12.5, 12.5},
        {"negative number", -3.0, -3.0},
        {"text", QStringLiteral("(RAW)"), QStringLiteral("(RAW)")},
        {"text of a number", QStringLiteral("51"), 51.0},
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
    for (int i = 0; i < cases.size(); ++i)
        QVERIFY2(m_app->setCell(i + 1, 2, cases[i].written).ok(), cases[i].what);
    const QList<SheetCells> sheets = storedAfterSaveAs(book, QStringLiteral("out.xls"));
    QCOMPARE(sheets.size(), 1);
    for (int i = 0; i < cases.size(); ++i)
        QVERIFY2(sheets[0].value({i + 1, 2}) == cases[i].stored,
                 qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(cases[i].what),
                                                         sheets[0].value({i + 1, 2}).toString())));
    QCOMPARE(sheets[0].size(), cases.size() - 1);
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
    const QList<SheetCells> firstCells = storedAfterSaveAs(first, QStringLiteral("a.xls"));
    const QList<SheetCells> secondCells = storedAfterSaveAs(second, QStringLiteral("b.xls"));
    QCOMPARE(firstCells.value(0), (SheetCells{{{2, 1}, QStringLiteral("to first")}}));
    QCOMPARE(secondCells.value(0), (SheetCells{{{1, 1}, QStringLiteral("to second")}}));
}

void tst_SpreadsheetContract::workbooksAndNames() {
    start();
    const WorkbookId first = openCopy(QStringLiteral("first.xls"));
    const WorkbookId second = openCopy(QStringLiteral("Second.XLS"));
    const Result<QList<WorkbookId>> books = m_app->workbooks();
    QVERIFY(books.ok());
    // The opened workbooks first, in the order they were opened; after them at most the place
    // of the personal macros, under the personal macro workbook's name.
    QVERIFY(books.value.size() >= 2);
    QCOMPARE(books.value.mid(0, 2), (QList<WorkbookId>{first, second}));
    for (WorkbookId extra : books.value.mid(2))
        QCOMPARE(m_app->name(extra).value, QStringLiteral("Personal.xls"));
    QCOMPARE(m_app->name(first).value, QStringLiteral("first.xls"));
    QCOMPARE(m_app->name(second).value, QStringLiteral("Second.XLS"));
}

void tst_SpreadsheetContract::savedFollowsChanges() {
    start();
    const WorkbookId book = openCopy(QStringLiteral("book.xls"));
    QCOMPARE(m_app->saved(book).value, true);
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    const Result<bool> afterWrite = m_app->saved(book);
    QVERIFY(afterWrite.ok());
    QCOMPARE(afterWrite.value, false);
    QVERIFY(m_app->saveAs(book, file(QStringLiteral("renamed.xls"))).ok());
    QCOMPARE(m_app->saved(book).value, true);
    // The workbook now carries its new name; the working copy keeps its old content.
    QCOMPARE(m_app->name(book).value, QStringLiteral("renamed.xls"));
    QCOMPARE(readXls(file(QStringLiteral("book.xls"))).value_or(QList<SheetCells>{}).value(0),
             SheetCells{});
}

void tst_SpreadsheetContract::saveAsWithoutExtension() {
    start();
    const WorkbookId book = openCopy(QStringLiteral("book.xls"));
    QVERIFY(m_app->setCell(3, 4, QStringLiteral("kept")).ok());
    QVERIFY(m_app->saveAs(book, file(QStringLiteral("plain"))).ok());
    QCOMPARE(m_app->name(book).value, QStringLiteral("plain.xls"));
    const auto sheets = m_subject->stored(file(QStringLiteral("plain.xls")));
    QVERIFY(sheets);
    QCOMPARE(sheets->value(0).value({3, 4}), QVariant(QStringLiteral("kept")));
}

void tst_SpreadsheetContract::runFoundAndMissing() {
    start();
    QVERIFY(makeMacroBook(file(QStringLiteral("macros.ods"))));
    const Result<WorkbookId> book = m_app->open(file(QStringLiteral("macros.ods")));
    QVERIFY(book.ok());
    QCOMPARE(m_app->saved(book.value).value, true);

    // A macro that stops on an error did not run.
    QCOMPARE(m_app->run(QStringLiteral("macros.ods!Fails")).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->saved(book.value).value, true);
    QVERIFY(m_app->run(QStringLiteral("macros.ods!Tidy")).ok());
    // The macro changed the workbook.
    QCOMPARE(m_app->saved(book.value).value, false);
    const QList<SheetCells> sheets = storedAfterSaveAs(book.value, QStringLiteral("tidied.xls"));
    QCOMPARE(sheets.value(0).value({1, 10}), QVariant(QStringLiteral("tidied")));

    const Status missing = m_app->run(QStringLiteral("tidied.xls!NoSuchMacro"));
    QCOMPARE(missing.code, SpreadsheetStatus::Failed);
    const Status noBook = m_app->run(QStringLiteral("absent.xls!Tidy"));
    QCOMPARE(noBook.code, SpreadsheetStatus::Failed);
    // Still usable afterwards.
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
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
    QCOMPARE(m_app->activate(macros.value).code, SpreadsheetStatus::Closed);
    QVERIFY(!m_app->workbooks().value.contains(macros.value));
    // The other workbook goes on.
    QVERIFY(m_app->activate(capture).ok());
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
}

void tst_SpreadsheetContract::deadApplication() {
    start();
    const WorkbookId book = openCopy(QStringLiteral("book.xls"));
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    m_subject->kill(*m_app);
    QTRY_COMPARE(m_app->setCell(1, 1, 2.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->workbooks().status.code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->name(book).status.code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->saved(book).status.code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->run(QStringLiteral("book.xls!Tidy")).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->saveAs(book, file(QStringLiteral("x.xls"))).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->addWorksheet().code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->quit().status.code, SpreadsheetStatus::Closed);
}

void tst_SpreadsheetContract::busyApplication() {
    start();
    openCopy(QStringLiteral("book.xls"));
    QVERIFY(m_app->setCell(1, 1, 1.0).ok());
    m_subject->stop(*m_app, true);
    QCOMPARE(m_app->setCell(2, 1, 2.0).code, SpreadsheetStatus::Busy);
    QCOMPARE(m_app->setCell(2, 1, 2.0).code, SpreadsheetStatus::Busy);
    m_subject->stop(*m_app, false);
    // Once it answers again, the same write goes through.
    QTRY_VERIFY(m_app->setCell(2, 1, 2.0).ok());
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
    const QList<SheetCells> sheets = storedAfterSaveAs(book, QStringLiteral("two.xls"));
    QCOMPARE(sheets.size(), 2);
    QCOMPARE(sheets[0], (SheetCells{{{1, 1}, QStringLiteral("first sheet")}}));
    QCOMPARE(sheets[1], (SheetCells{{{1, 1}, QStringLiteral("second sheet")}, {{2, 1}, 7.0}}));
}

void tst_SpreadsheetContract::cellsOutsideTheSheet() {
    start();
    openCopy(QStringLiteral("book.xls"));
    QCOMPARE(m_app->setCell(SheetMaxRows + 1, 1, 1.0).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setCell(1, SheetMaxColumns + 1, 1.0).code, SpreadsheetStatus::Failed);
    QCOMPARE(m_app->setCell(0, 1, 1.0).code, SpreadsheetStatus::Failed);
    QVERIFY(m_app->setCell(SheetMaxRows, SheetMaxColumns, 1.0).ok());
}

void tst_SpreadsheetContract::noWorkbookOpen() {
    start();
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
    QCOMPARE(m_app->addWorksheet().code, SpreadsheetStatus::Closed);
}

void tst_SpreadsheetContract::openMissingFile() {
    start();
    const Result<WorkbookId> opened = m_app->open(file(QStringLiteral("absent.xls")));
    QCOMPARE(opened.status.code, SpreadsheetStatus::Failed);
    // Nothing was opened.
    for (WorkbookId book : m_app->workbooks().value)
        QCOMPARE(m_app->name(book).value, QStringLiteral("Personal.xls"));
}

void tst_SpreadsheetContract::quitKeepsModifiedWorkbook() {
    start();
    const WorkbookId unchanged = openCopy(QStringLiteral("unchanged.xls"));
    const WorkbookId changed = openCopy(QStringLiteral("changed.xls"));
    QVERIFY(unchanged && changed);
    QVERIFY(m_app->setCell(5, 2, QStringLiteral("not lost")).ok());
    const Result<QString> quit = m_app->quit();
    QVERIFY(quit.ok());
    // Only the modified workbook is kept, in the recovery folder.
    QVERIFY(!quit.value.contains(u';'));
    QCOMPARE(QFileInfo(quit.value).absolutePath(), m_subject->recoveryFolder());
    QVERIFY(QFileInfo(quit.value).fileName().startsWith(u"changed"));
    const auto sheets = m_subject->stored(quit.value);
    QVERIFY(sheets);
    QCOMPARE(sheets->value(0).value({5, 2}), QVariant(QStringLiteral("not lost")));
    // The application is gone.
    QCOMPARE(m_app->setCell(1, 1, 1.0).code, SpreadsheetStatus::Closed);
}

QTEST_MAIN(tst_SpreadsheetContract)
#include "tst_spreadsheetcontract.moc"
