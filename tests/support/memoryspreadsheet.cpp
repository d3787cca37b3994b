#include "memoryspreadsheet.h"

#include "numbertext.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <thread>

namespace {

Status notAnswered() {
    return Status::failure(SpreadsheetStatus::Busy, QStringLiteral("not answered"));
}

Status failed(const char* why) {
    return Status::failure(SpreadsheetStatus::Failed, QString::fromLatin1(why));
}

// The value when the status is ok, the status otherwise.
template <class T, class F> Result<T> answer(const Status& status, F value) {
    if (!status.ok())
        return {status};
    return {{}, value()};
}

} // namespace

MemorySpreadsheet::~MemorySpreadsheet() {
    if (m_factory.m_last == this)
        m_factory.m_last = nullptr;
}

Status MemorySpreadsheet::available(WorkbookId book) const {
    if (m_closed)
        return Status::failure(SpreadsheetStatus::Closed, QStringLiteral("application closed"));
    if (m_busy)
        return Status::failure(SpreadsheetStatus::Busy, QStringLiteral("busy"));
    if (book != -1 && (book < 1 || book > m_books.size() || m_books[book - 1].closed))
        return Status::failure(SpreadsheetStatus::Closed, QStringLiteral("workbook closed"));
    return {};
}

template <class R>
R MemorySpreadsheet::call(const QString& operation, const QList<CellValue>& arguments,
                          std::function<R()> body, const QList<CellRow>& rows) {
    if (m_closed)
        return body();
    if (m_pending) {
        if (!m_pending->answer)
            return withStatus<R>(notAnswered());
        // A late answer decides for the same call; any other call drops it.
        const Pending late = *std::exchange(m_pending, std::nullopt);
        if (late.operation == operation && late.arguments == arguments && late.rows == rows)
            return std::any_cast<R>(*late.answer);
    }
    if (m_held != operation)
        return body();
    m_held.clear();
    waitOut();
    m_pending =
        Pending{operation, arguments, rows, [body] { return std::any(body()); }, std::nullopt};
    return withStatus<R>(notAnswered());
}

void MemorySpreadsheet::waitOut() {
    CallWait* wait = m_factory.wait;
    if (!wait)
        return;
    QElapsedTimer waited;
    waited.start();
    while (wait->keepWaiting(std::chrono::milliseconds(waited.elapsed())) &&
           waited.elapsed() < m_factory.deadline.count())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    wait->waitEnded();
}

Status MemorySpreadsheet::settle() {
    if (Status status = available(); !status.ok() || !m_pending || m_pending->answer)
        return status;
    if (stuck) {
        waitOut();
        return notAnswered();
    }
    answerPending();
    return {};
}

void MemorySpreadsheet::closeWorkbook(WorkbookId book) {
    m_books[book - 1].closed = true;
    if (m_active == book)
        m_active = 0;
}

Result<QList<WorkbookId>> MemorySpreadsheet::workbooks() {
    return call<Result<QList<WorkbookId>>>(QStringLiteral("workbooks"), {}, [this] {
        return answer<QList<WorkbookId>>(available(), [this] {
            QList<WorkbookId> open;
            for (int i = 0; i < m_books.size(); ++i)
                if (!m_books[i].closed)
                    open << i + 1;
            return open;
        });
    });
}

Result<WorkbookId> MemorySpreadsheet::open(const QString& path) {
    const Result<WorkbookId> opened = openBeside(path);
    if (opened.ok())
        m_active = opened.value;
    return opened;
}

Result<WorkbookId> MemorySpreadsheet::openBeside(const QString& path) {
    return call<Result<WorkbookId>>(QStringLiteral("open"), {path}, [this, path] {
        Status status = available();
        const bool stored = m_factory.files.contains(path);
        if (status.ok() && !stored &&
            (!QFileInfo::exists(path) || m_factory.unloadable.contains(path)))
            status = failed("cannot open");
        return answer<WorkbookId>(status, [&] {
            MemoryWorkbook book = m_factory.files.value(path);
            book.path = path;
            book.saved = true;
            book.closed = false;
            m_books << book;
            return WorkbookId(m_books.size());
        });
    });
}

Status MemorySpreadsheet::setVisible(bool visible) {
    return call<Status>(QStringLiteral("setVisible"), {double(visible)}, [this, visible] {
        Status status = available();
        m_visible = status.ok() ? visible : m_visible;
        return status;
    });
}

Result<QString> MemorySpreadsheet::startupPath() {
    Status status = available();
    if (status.ok() && m_factory.failStartupPath)
        status = failed("no start-up folder");
    return answer<QString>(status, [this] { return m_factory.startup; });
}

Status MemorySpreadsheet::activate(WorkbookId book) {
    return call<Status>(QStringLiteral("activate"), {double(book)}, [this, book] {
        Status status = available(book);
        if (status.ok() && m_factory.refuseActivate)
            status = Status::failure(SpreadsheetStatus::Busy, QStringLiteral("busy"));
        m_active = status.ok() ? book : m_active;
        return status;
    });
}

Status MemorySpreadsheet::setBlock(int row, int firstColumn, const QList<CellRow>& rows) {
    const WorkbookId active = m_active;
    // The rows a late write landed already are not written again.
    const qsizetype landed = landedRows(active, row, firstColumn, rows);
    if (landed > 0 && landed == rows.size())
        return {};
    const int first = row + int(landed);
    const QList<CellRow> rest = rows.mid(landed);
    const auto write = [this, active, first, firstColumn, rest] {
        if (Status status = available(active); !status.ok())
            return status;
        const qsizetype width = rest.isEmpty() ? 0 : rest.first().size();
        const int lastRow = first + int(rest.size()) - 1;
        if (width == 0 || first < 1 || lastRow > SheetMaxRows || firstColumn < 1 ||
            firstColumn + width - 1 > SheetMaxColumns)
            return failed("outside the sheet");
        for (const CellRow& values : rest)
            if (values.size() != width)
                return failed("ragged rows");
        if (m_failingRow >= first && m_failingRow <= lastRow)
            return Status::failure(SpreadsheetStatus::Busy, QStringLiteral("failing row"));
        MemoryWorkbook& book = m_books[active - 1];
        for (int r = first; const CellRow& values : rest) {
            for (int column = firstColumn; const CellValue& value : values) {
                const QString* text = std::get_if<QString>(&value);
                const std::optional<double> number = text ? numberFromText(*text) : std::nullopt;
                book.sheets[book.activeSheet][{r, column++}] = number ? CellValue(*number) : value;
                ++m_writes;
            }
            ++r;
        }
        std::this_thread::sleep_for(m_writeCost * width * rest.size());
        book.saved = false;
        return Status();
    };
    return call<Status>(QStringLiteral("setBlock"),
                        {double(active), double(first), double(firstColumn)}, write, rest);
}

qsizetype MemorySpreadsheet::landedRows(WorkbookId book, int row, int firstColumn,
                                        const QList<CellRow>& rows) {
    if (!m_pending || !m_pending->answer || m_pending->operation != QStringLiteral("setBlock") ||
        m_pending->arguments != QList<CellValue>{double(book), double(row), double(firstColumn)} ||
        !std::any_cast<Status>(*m_pending->answer).ok() || m_pending->rows.size() > rows.size() ||
        rows.mid(0, m_pending->rows.size()) != m_pending->rows)
        return 0;
    return std::exchange(m_pending, std::nullopt)->rows.size();
}

Status MemorySpreadsheet::addWorksheet() {
    const WorkbookId active = m_active;
    return call<Status>(QStringLiteral("addWorksheet"), {double(active)}, [this, active] {
        if (Status status = available(active); !status.ok())
            return status;
        MemoryWorkbook& book = m_books[active - 1];
        book.sheets << MemorySheet{};
        book.activeSheet = int(book.sheets.size()) - 1;
        book.saved = false;
        return Status();
    });
}

Status MemorySpreadsheet::run(const QString& macro) {
    return call<Status>(QStringLiteral("run"), {macro}, [this, macro] {
        if (Status status = available(); !status.ok())
            return status;
        m_factory.macroRuns << macro;
        // A qualified name needs its workbook open.
        const QString bookName = macro.left(qMax(0, macro.indexOf(u'!')));
        bool open = bookName.isEmpty();
        for (const MemoryWorkbook& book : std::as_const(m_books))
            open = open || (!book.closed && QFileInfo(book.path).fileName().compare(
                                                bookName, Qt::CaseInsensitive) == 0);
        const auto found = m_factory.macros.constFind(macro);
        if (!open || found == m_factory.macros.constEnd() || !found.value()(*this))
            return failed("macro failed");
        return Status();
    });
}

Result<QString> MemorySpreadsheet::name(WorkbookId book) {
    return call<Result<QString>>(QStringLiteral("name"), {double(book)}, [this, book] {
        return answer<QString>(available(book),
                               [&] { return QFileInfo(m_books[book - 1].path).fileName(); });
    });
}

Result<bool> MemorySpreadsheet::saved(WorkbookId book) {
    return call<Result<bool>>(QStringLiteral("saved"), {double(book)}, [this, book] {
        return answer<bool>(available(book), [&] { return m_books[book - 1].saved; });
    });
}

Result<QString> MemorySpreadsheet::getSaveAsFilename(const QString& initialName,
                                                     const QString& filter, const QString& title) {
    return answer<QString>(available(), [&] {
        m_factory.dialogs << title + u'|' + filter + u'|' + initialName;
        return m_factory.saveAsAnswer;
    });
}

Status MemorySpreadsheet::saveAs(WorkbookId book, const QString& fileName) {
    return call<Status>(QStringLiteral("saveAs"), {double(book), fileName}, [this, book, fileName] {
        if (Status status = available(book); !status.ok())
            return status;
        if (m_factory.failSaveAs)
            return failed("cannot save");
        const QString path = fileName + (QFileInfo(fileName).suffix().isEmpty() ? ".xls" : "");
        MemoryWorkbook& stored = m_books[book - 1];
        stored.path = path;
        stored.saved = true;
        m_factory.files.insert(path, stored);
        return Status();
    });
}

QString MemorySpreadsheet::keepRecoveryCopies() {
    QStringList kept;
    for (MemoryWorkbook& book : m_books) {
        if (book.closed || book.saved || m_factory.recoveryFolder.isEmpty())
            continue;
        const QFileInfo file(book.path);
        kept << QStringLiteral("%1/%2 (recovered).%3")
                    .arg(m_factory.recoveryFolder, file.completeBaseName(), file.suffix());
        m_factory.files.insert(kept.last(), book);
    }
    return kept.join(QStringLiteral("; "));
}

Result<QString> MemorySpreadsheet::quit() {
    if (Status status = available(); !status.ok())
        return {status};
    // Not answered: ended by force once the recovery copies were tried.
    const bool forced =
        m_held == QStringLiteral("quit") || (m_pending && !m_pending->answer && stuck);
    if (forced) {
        m_held.clear();
        waitOut();
    } else if (m_pending && !m_pending->answer) {
        answerPending();
    }
    m_pending.reset();
    const QString kept = keepRecoveryCopies();
    m_closed = true;
    if (forced && m_factory.recoveryFolder.isEmpty())
        return {notAnswered()};
    return {{}, kept};
}

std::optional<CellValue> MemorySpreadsheet::cell(WorkbookId book, int row, int column,
                                                 int sheet) const {
    const MemorySheet& cells = m_books[book - 1].sheets[sheet];
    const auto found = cells.find({row, column});
    return found == cells.end() ? std::nullopt : std::optional<CellValue>(found->second);
}

std::unique_ptr<SpreadsheetApp> MemorySpreadsheetFactory::create(Status& status) {
    status = failCreate ? Status::failure(SpreadsheetStatus::Failed, QStringLiteral("no office"))
                        : Status();
    if (failCreate)
        return nullptr;
    auto app = std::make_unique<MemorySpreadsheet>(*this);
    m_last = app.get();
    ++m_created;
    return app;
}
