#pragma once

#include "numbertext.h"
#include "spreadsheet.h"

#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <any>
#include <functional>
#include <map>
#include <optional>

class MemorySpreadsheet;
using MemorySheet = std::map<std::pair<int, int>, CellValue>; // by (row, column), 1-based

struct MemoryWorkbook {
    QString path;
    QList<MemorySheet> sheets{MemorySheet{}};
    bool saved = true, closed = false;
};

// Starts in-memory applications and plays the file system and the user around them.
class MemorySpreadsheetFactory final : public SpreadsheetFactory {
public:
    std::unique_ptr<SpreadsheetApp> create(Status& status) override;
    MemorySpreadsheet* last() const { return m_last; } // the last one created, while it lives
    QSet<QString> unloadable; // paths whose open fails although the file exists
    QString startup = QStringLiteral("/nonexistent/startup");
    QString saveAsAnswer = QStringLiteral("False"); // the user's answer: Cancel
    bool failCreate = false, failSaveAs = false;
    QString recoveryFolder; // where quit keeps each modified workbook (in files); empty: none
    QMap<QString, std::function<bool(MemorySpreadsheet&)>> macros; // false: the macro fails
    QStringList macroRuns;
    QStringList dialogs;                 // "title|filter|initial"
    QMap<QString, MemoryWorkbook> files; // workbooks stored by saveAs, by path

private:
    friend class MemorySpreadsheet;
    MemorySpreadsheet* m_last = nullptr;
};

// An office in memory: a test can make it busy, hold back an answer, close a workbook or all.
class MemorySpreadsheet final : public SpreadsheetApp {
public:
    explicit MemorySpreadsheet(MemorySpreadsheetFactory& factory)
        : m_factory(factory) {}
    ~MemorySpreadsheet() override {
        if (m_factory.m_last == this)
            m_factory.m_last = nullptr;
    }

    // The next call of the operation ("setBlock", "run"...) fails as busy and stays pending.
    void holdNext(const QString& operation, int after = 0) {
        m_held = operation, m_heldAfter = after;
    }
    void answerPending() { m_pending->answer = m_pending->carryOut(); }
    bool stuck = false;
    void setBusy(bool busy) { m_busy = busy; }
    void closeWorkbook(WorkbookId book) { m_books[book - 1].closed = true; }
    void closeApplication() { m_closed = true; }
    bool isVisible() const { return m_visible; }
    WorkbookId activeWorkbook() const { return m_active; }
    MemoryWorkbook& workbook(WorkbookId book) { return m_books[book - 1]; }
    int writeCount() const { return m_writes; } // cells written
    // Each block write answered as done, late ones included: the sheet's number (from 1), the
    // row, the column and the rows.
    std::function<void(qsizetype, int, int, const QList<CellRow>&)> onWritten;

    Result<QList<WorkbookId>> workbooks() override {
        return call<Result<QList<WorkbookId>>>({"workbooks"}, -1, [this] {
            QList<WorkbookId> open;
            for (int i = 0; i < m_books.size(); ++i)
                open << (m_books[i].closed ? QList<WorkbookId>() : QList{i + 1});
            return open;
        });
    }
    Result<WorkbookId> open(const QString& path) override {
        const Result<WorkbookId> opened = openBeside(path);
        m_active = opened.ok() ? opened.value : m_active;
        return opened;
    }
    Result<WorkbookId> openBeside(const QString& path) override {
        return call<Result<WorkbookId>>({"open", path}, -1, [this, path] {
            if (!m_factory.files.contains(path) &&
                (!QFileInfo::exists(path) || m_factory.unloadable.contains(path)))
                return Result<WorkbookId>{failure(SpreadsheetStatus::Failed)};
            m_books << m_factory.files.value(path);
            m_books.last().path = path;
            m_books.last().saved = true;
            return Result<WorkbookId>{{}, WorkbookId(m_books.size())};
        });
    }
    Status setVisible(bool visible) override {
        return call<Status>({"setVisible", double(visible)}, -1,
                            [=, this] { m_visible = visible; });
    }
    Result<QString> startupPath() override {
        return call<Result<QString>>({"startupPath"}, -1, [this] { return m_factory.startup; });
    }
    Status activate(WorkbookId book) override {
        return call<Status>({"activate", double(book)}, book, [this, book] { m_active = book; });
    }
    Status setBlock(int row, int column, const QList<CellRow>& rows) override {
        const WorkbookId book = m_active;
        const Status status = call<Status>(
            {"setBlock", double(book), double(row), double(column)}, book,
            [=, this] {
                const qsizetype width = rows.isEmpty() ? 0 : rows.first().size();
                if (width == 0 || row < 1 || column < 1 || row + rows.size() - 1 > SheetMaxRows ||
                    column + width - 1 > SheetMaxColumns ||
                    std::ranges::any_of(rows,
                                        [width](const CellRow& r) { return r.size() != width; }))
                    return failure(SpreadsheetStatus::Failed); // as an office refuses them
                MemoryWorkbook& stored = m_books[book - 1];
                for (int r = row; const CellRow& values : rows) {
                    for (int c = column; const CellValue& value : values) {
                        const QString* text = std::get_if<QString>(&value);
                        const LiteralText* literal = std::get_if<LiteralText>(&value);
                        const std::optional<double> number =
                            text ? numberFromText(*text) : std::nullopt;
                        stored.sheets.last()[{r, c++}] = number    ? *number
                                                         : literal ? literal->text
                                                                   : value;
                    }
                    ++r;
                }
                m_writes += int(width * rows.size());
                stored.saved = false;
                return Status();
            },
            rows);
        if (status.ok() && onWritten)
            onWritten(m_books[book - 1].sheets.size(), row, column, rows);
        return status;
    }
    Status addWorksheet() override {
        const WorkbookId book = m_active;
        return call<Status>({"addWorksheet", double(book)}, book, [this, book] {
            m_books[book - 1].sheets << MemorySheet{};
            m_books[book - 1].saved = false;
        });
    }
    Status run(const QString& macro) override {
        return call<Status>({"run", macro}, -1, [this, macro] {
            m_factory.macroRuns << macro;
            const auto found = m_factory.macros.constFind(macro);
            const bool ran = found != m_factory.macros.constEnd() && found.value()(*this);
            return failure(ran ? 0 : SpreadsheetStatus::Failed);
        });
    }
    Result<QString> name(WorkbookId book) override {
        return call<Result<QString>>({"name", double(book)}, book, [=, this] {
            return QFileInfo(workbook(book).path).fileName();
        });
    }
    Result<bool> saved(WorkbookId book) override {
        return call<Result<bool>>({"saved", double(book)}, book,
                                  [this, book] { return workbook(book).saved; });
    }
    Result<QString> getSaveAsFilename(const QString& initialName, const QString& filter,
                                      const QString& title) override {
        return call<Result<QString>>({"getSaveAsFilename"}, -1, [=, this] {
            m_factory.dialogs << title + u'|' + filter + u'|' + initialName;
            return m_factory.saveAsAnswer;
        });
    }
    Status saveAs(WorkbookId book, const QString& fileName) override {
        return call<Status>({"saveAs", double(book), fileName}, book, [=, this] {
            if (m_factory.failSaveAs)
                return failure(SpreadsheetStatus::Failed);
            MemoryWorkbook& stored = workbook(book);
            const bool format = QStringList{"xls", "xlsx", "ods"}.contains(
                QFileInfo(fileName).suffix().toLower()); // else stored as .xls
            stored.path = fileName + (format ? "" : ".xls");
            stored.saved = true;
            m_factory.files.insert(stored.path, stored);
            return Status();
        });
    }
    Result<QString> quit() override {
        if (Status status = available(-1); !status.ok())
            return {status};
        const bool forced = !settle().ok(); // ended by force once recovery copies were tried
        m_closed = true;
        QStringList kept;
        for (const MemoryWorkbook& book : std::as_const(m_books)) {
            if (book.closed || book.saved || m_factory.recoveryFolder.isEmpty())
                continue;
            const QFileInfo file(book.path);
            kept << m_factory.recoveryFolder + u'/' + file.completeBaseName() + " (recovered)." +
                        file.suffix();
            m_factory.files.insert(kept.last(), book);
        }
        if (forced && m_factory.recoveryFolder.isEmpty())
            return {failure(SpreadsheetStatus::Busy)};
        return {{}, kept.join(QStringLiteral("; "))};
    }
    Result<QString> quitUnasked() override { return quit(); } // it asks nobody anyway
    Status settle() override {
        if (Status status = available(-1); !status.ok() || !m_pending || m_pending->answer)
            return status;
        if (!stuck)
            answerPending();
        return failure(stuck ? SpreadsheetStatus::Busy : 0);
    }

private:
    static Status failure(quint32 code) {
        return {code, code ? QStringLiteral("refused") : QString()};
    }
    Status available(WorkbookId book) const {
        if (m_closed ||
            (book != -1 && (book < 1 || book > m_books.size() || m_books[book - 1].closed)))
            return failure(SpreadsheetStatus::Closed);
        return failure(m_busy ? SpreadsheetStatus::Busy : 0);
    }
    // A late answer is kept for the same call (same arguments and rows); any other drops it.
    template <class R, class F>
    R call(const QList<CellValue>& call, WorkbookId book, F body, const QList<CellRow>& rows = {}) {
        const auto guarded = [this, book, body]() -> R {
            if (const Status status = available(book); !status.ok())
                return withStatus<R>(status);
            using T = decltype(body());
            if constexpr (std::is_void_v<T>)
                return body(), R();
            else if constexpr (std::is_same_v<T, R>)
                return body();
            else
                return R{{}, body()};
        };
        if (m_pending && !m_closed) {
            if (!m_pending->answer)
                return withStatus<R>(failure(SpreadsheetStatus::Busy));
            const Pending late = *std::exchange(m_pending, std::nullopt);
            if (late.call == call && late.rows == rows)
                return std::any_cast<R>(*late.answer);
        }
        if (m_closed || m_held != std::get<QString>(call.first()) || m_heldAfter-- > 0)
            return guarded();
        m_held.clear();
        m_pending = Pending{call, rows, [guarded] { return std::any(guarded()); }, std::nullopt};
        return withStatus<R>(failure(SpreadsheetStatus::Busy));
    }
    struct Pending {
        QList<CellValue> call; // the operation, then its arguments
        QList<CellRow> rows;   // of a block write
        std::function<std::any()> carryOut;
        std::optional<std::any> answer;
    };
    MemorySpreadsheetFactory& m_factory;
    QList<MemoryWorkbook> m_books;
    WorkbookId m_active = 0;
    bool m_busy = false, m_closed = false, m_visible = false;
    int m_writes = 0;
    QString m_held;
    int m_heldAfter = 0; // calls of it let through first
    std::optional<Pending> m_pending;
};

inline std::unique_ptr<SpreadsheetApp> MemorySpreadsheetFactory::create(Status& status) {
    status = failCreate ? Status{SpreadsheetStatus::Failed, QStringLiteral("no office")} : Status();
    return std::unique_ptr<SpreadsheetApp>(failCreate ? nullptr
                                                      : m_last = new MemorySpreadsheet(*this));
}
