#pragma once

#include "callwait.h"
#include "spreadsheet.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <any>
#include <chrono>
#include <functional>
#include <map>
#include <optional>

class MemorySpreadsheetFactory;

// One sheet: cells by (row, column), 1-based.
using MemorySheet = std::map<std::pair<int, int>, CellValue>;

struct MemoryWorkbook {
    QString path;
    QList<MemorySheet> sheets{MemorySheet{}};
    int activeSheet = 0;
    bool saved = true;
    bool closed = false;
};

// A spreadsheet application kept in memory. A test can make it busy, hold back the answer to a
// call, close a workbook or the whole application at any moment, and read every cell.
class MemorySpreadsheet final : public SpreadsheetApp {
public:
    explicit MemorySpreadsheet(MemorySpreadsheetFactory& factory)
        : m_factory(factory) {}
    ~MemorySpreadsheet() override;

    Result<QList<WorkbookId>> workbooks() override;
    Result<WorkbookId> open(const QString& path) override;
    Result<WorkbookId> openBeside(const QString& path) override;
    Status setVisible(bool visible) override;
    Result<QString> startupPath() override;
    Status activate(WorkbookId book) override;
    Status setBlock(int row, int firstColumn, const QList<CellRow>& rows) override;
    Status addWorksheet() override;
    Status run(const QString& macro) override;
    Result<QString> name(WorkbookId book) override;
    Result<bool> saved(WorkbookId book) override;
    Result<QString> getSaveAsFilename(const QString& initialName, const QString& filter,
                                      const QString& title) override;
    Status saveAs(WorkbookId book, const QString& fileName) override;
    Result<QString> quit() override;
    Status settle() override;

    void setBusy(bool busy) { m_busy = busy; }
    // The next call of the operation ("setBlock", "run", "quit"...) waits through the factory's
    // CallWait, fails as busy and is pending until answerPending() or settle() (unless stuck)
    // carries it out. A quit not answered keeps what it can in the recovery folder, if any.
    void holdNext(const QString& operation) { m_held = operation; }
    void answerPending() { m_pending->answer = m_pending->carryOut(); }
    bool stuck = false;
    void closeWorkbook(WorkbookId book);
    void closeApplication() { m_closed = true; }
    bool isVisible() const { return m_visible; }
    WorkbookId activeWorkbook() const { return m_active; }
    MemoryWorkbook& workbook(WorkbookId book) { return m_books[book - 1]; }
    // The cell of a sheet (0-based) of a workbook; none when unset.
    std::optional<CellValue> cell(WorkbookId book, int row, int column, int sheet = 0) const;
    qsizetype cellCount(WorkbookId book, int sheet = 0) const {
        return qsizetype(m_books[book - 1].sheets[sheet].size());
    }
    int writeCount() const { return m_writes; } // cells written
    // Each written cell takes this long, as a round trip to an office would.
    void setWriteCost(std::chrono::microseconds perCell) { m_writeCost = perCell; }
    // Every write that covers the row fails as busy, until a row of 0 is set.
    void failWritesCovering(int row) { m_failingRow = row; }

private:
    struct Pending {
        QString operation;
        QList<CellValue> arguments;
        QList<CellRow> rows; // of a block write
        std::function<std::any()> carryOut;
        std::optional<std::any> answer;
    };
    // Answered by body unless held back, or refused while another call is pending.
    template <class R>
    R call(const QString& operation, const QList<CellValue>& arguments, std::function<R()> body,
           const QList<CellRow>& rows = {});
    // How many rows at the start of a block write a late write landed already.
    qsizetype landedRows(WorkbookId book, int row, int firstColumn, const QList<CellRow>& rows);
    void waitOut(); // a held call waits as long as the test lets it
    QString keepRecoveryCopies();
    Status available(WorkbookId book = -1) const; // and the workbook open, when one is named

    MemorySpreadsheetFactory& m_factory;
    QList<MemoryWorkbook> m_books;
    WorkbookId m_active = 0;
    bool m_busy = false;
    bool m_closed = false;
    bool m_visible = false;
    int m_writes = 0;
    QString m_held;
    std::optional<Pending> m_pending;
    std::chrono::microseconds m_writeCost{0};
    int m_failingRow = 0;
};

// Starts in-memory applications and plays the file system and the user around them.
class MemorySpreadsheetFactory final : public SpreadsheetFactory {
public:
    std::unique_ptr<SpreadsheetApp> create(Status& status) override;

    // The application a test drives: the last one created, while it lives.
    MemorySpreadsheet* last() const { return m_last; }
    int created() const { return m_created; }

    CallWait* wait = nullptr;              // while a held call waits; none: no waiting
    std::chrono::milliseconds deadline{0}; // for a held call
    bool failCreate = false;               // no spreadsheet installed
    QSet<QString> unloadable;              // paths whose open fails although the file exists
    QString startup = QStringLiteral("/nonexistent/startup");
    bool failStartupPath = false;
    bool refuseActivate = false;                    // as busy
    QString saveAsAnswer = QStringLiteral("False"); // the user's answer: Cancel
    bool failSaveAs = false;
    QString recoveryFolder; // where quit keeps each modified workbook (in files); empty: none
    // Macros by qualified name ("Book.xls!Tidy"); false: the macro fails.
    QHash<QString, std::function<bool(MemorySpreadsheet&)>> macros;

    QStringList macroRuns;
    QStringList dialogs;                 // "title|filter|initial"
    QMap<QString, MemoryWorkbook> files; // workbooks stored by saveAs, by path

private:
    friend class MemorySpreadsheet;
    MemorySpreadsheet* m_last = nullptr;
    int m_created = 0;
};
