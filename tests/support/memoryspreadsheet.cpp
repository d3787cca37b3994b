#include "memoryspreadsheet.h"

#include "numbertext.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

Status failure(quint32 code) {
    return Status::failure(code, u"memory spreadsheet: %1"_s.arg(code, 0, 16));
}

} // namespace

MemorySpreadsheet::~MemorySpreadsheet() {
    if (m_factory.m_last == this)
        m_factory.m_last = nullptr;
}

Status MemorySpreadsheet::available(WorkbookId book) const {
    if (m_closed || (book != -1 && (book < 1 || book > m_books.size() || m_books[book - 1].closed)))
        return failure(SpreadsheetStatus::Closed);
    return m_busy ? failure(SpreadsheetStatus::Busy) : Status();
}

template <class R, class F>
R MemorySpreadsheet::call(const QList<CellValue>& call, WorkbookId book, F body,
                          const QList<CellRow>& rows) {
    const auto guarded = [this, book, body] {
        if (const Status status = available(book); !status.ok())
            return withStatus<R>(status);
        if constexpr (std::is_same_v<decltype(body()), R>)
            return body();
        else
            return R{{}, body()};
    };
    if (m_closed)
        return guarded();
    if (m_pending) {
        if (!m_pending->answer)
            return withStatus<R>(failure(SpreadsheetStatus::Busy));
        // A late answer decides for the same call; any other call drops it.
        const Pending late = *std::exchange(m_pending, std::nullopt);
        if (late.call == call && late.rows == rows)
            return std::any_cast<R>(*late.answer);
    }
    if (m_held != std::get<QString>(call.first()))
        return guarded();
    m_held.clear();
    waitOut();
    m_pending = Pending{call, rows, [guarded] { return std::any(guarded()); }, std::nullopt};
    return withStatus<R>(failure(SpreadsheetStatus::Busy));
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
    if (Status status = available(-1); !status.ok() || !m_pending || m_pending->answer)
        return status;
    if (stuck) {
        waitOut();
        return failure(SpreadsheetStatus::Busy);
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
    return call<Result<QList<WorkbookId>>>({u"workbooks"_s}, -1, [this] {
        QList<WorkbookId> open;
        for (int i = 0; i < m_books.size(); ++i)
            if (!m_books[i].closed)
                open << i + 1;
        return open;
    });
}

Result<WorkbookId> MemorySpreadsheet::open(const QString& path) {
    const Result<WorkbookId> opened = openBeside(path);
    if (opened.ok())
        m_active = opened.value;
    return opened;
}

Result<WorkbookId> MemorySpreadsheet::openBeside(const QString& path) {
    return call<Result<WorkbookId>>({u"open"_s, path}, -1, [this, path] {
        if (!m_factory.files.contains(path) &&
            (!QFileInfo::exists(path) || m_factory.unloadable.contains(path)))
            return Result<WorkbookId>{failure(SpreadsheetStatus::Failed)};
        m_books << m_factory.files.value(path);
        m_books.last().path = path;
        m_books.last().saved = true;
        return Result<WorkbookId>{{}, WorkbookId(m_books.size())};
    });
}

Status MemorySpreadsheet::setVisible(bool visible) {
    return call<Status>({u"setVisible"_s, double(visible)}, -1, [this, visible] {
        m_visible = visible;
        return Status();
    });
}

Result<QString> MemorySpreadsheet::startupPath() {
    return call<Result<QString>>({u"startupPath"_s}, -1, [this] {
        return m_factory.failStartupPath ? Result<QString>{failure(SpreadsheetStatus::Failed)}
                                         : Result<QString>{{}, m_factory.startup};
    });
}

Status MemorySpreadsheet::activate(WorkbookId book) {
    return call<Status>({u"activate"_s, double(book)}, book, [this, book] {
        if (m_factory.refuseActivate)
            return failure(SpreadsheetStatus::Busy);
        m_active = book;
        return Status();
    });
}

Status MemorySpreadsheet::setBlock(int row, int firstColumn, const QList<CellRow>& rows) {
    const WorkbookId book = m_active;
    const auto key = [&](int first) {
        return QList<CellValue>{u"setBlock"_s, double(book), double(first), double(firstColumn)};
    };
    // The first rows a write that was answered late landed already are not written again.
    qsizetype landed = 0;
    if (m_pending && m_pending->answer && m_pending->call == key(row) &&
        std::any_cast<Status>(*m_pending->answer).ok() &&
        rows.mid(0, m_pending->rows.size()) == m_pending->rows)
        landed = std::exchange(m_pending, std::nullopt)->rows.size();
    if (landed > 0 && landed == rows.size())
        return {};
    const int first = row + int(landed);
    const QList<CellRow> rest = rows.mid(landed);
    const auto write = [this, book, first, firstColumn, rest] {
        const qsizetype width = rest.isEmpty() ? 0 : rest.first().size();
        const int last = first + int(rest.size()) - 1;
        if (width == 0 || first < 1 || last > SheetMaxRows || firstColumn < 1 ||
            firstColumn + width - 1 > SheetMaxColumns ||
            std::ranges::any_of(rest, [width](const CellRow& r) { return r.size() != width; }))
            return failure(SpreadsheetStatus::Failed);
        if (m_failingRow >= first && m_failingRow <= last)
            return failure(SpreadsheetStatus::Busy);
        MemoryWorkbook& stored = m_books[book - 1];
        for (int r = first; const CellRow& values : rest) {
            for (int column = firstColumn; const CellValue& value : values) {
                const QString* text = std::get_if<QString>(&value);
                const std::optional<double> number = text ? numberFromText(*text) : std::nullopt;
                stored.sheets[stored.activeSheet][{r, column++}] = number ? *number : value;
                ++m_writes;
            }
            ++r;
        }
        std::this_thread::sleep_for(m_writeCost * width * rest.size());
        stored.saved = false;
        return Status();
    };
    return call<Status>(key(first), book, write, rest);
}

Status MemorySpreadsheet::addWorksheet() {
    const WorkbookId book = m_active;
    return call<Status>({u"addWorksheet"_s, double(book)}, book, [this, book] {
        MemoryWorkbook& stored = m_books[book - 1];
        stored.sheets << MemorySheet{};
        stored.activeSheet = int(stored.sheets.size()) - 1;
        stored.saved = false;
        return Status();
    });
}

Status MemorySpreadsheet::run(const QString& macro) {
    return call<Status>({u"run"_s, macro}, -1, [this, macro] {
        m_factory.macroRuns << macro;
        // A qualified name needs its workbook open.
        const QString bookName = macro.left(qMax(0, macro.indexOf(u'!')));
        const bool open = bookName.isEmpty() || std::ranges::any_of(m_books, [&](auto& book) {
                              return !book.closed && QFileInfo(book.path).fileName().compare(
                                                         bookName, Qt::CaseInsensitive) == 0;
                          });
        const auto found = m_factory.macros.constFind(macro);
        return open && found != m_factory.macros.constEnd() && found.value()(*this)
                   ? Status()
                   : failure(SpreadsheetStatus::Failed);
    });
}

Result<QString> MemorySpreadsheet::name(WorkbookId book) {
    return call<Result<QString>>({u"name"_s, double(book)}, book, [this, book] {
        return QFileInfo(workbook(book).path).fileName();
    });
}

Result<bool> MemorySpreadsheet::saved(WorkbookId book) {
    return call<Result<bool>>({u"saved"_s, double(book)}, book,
                              [this, book] { return workbook(book).saved; });
}

Result<QString> MemorySpreadsheet::getSaveAsFilename(const QString& initialName,
                                                     const QString& filter, const QString& title) {
    return call<Result<QString>>(
        {u"getSaveAsFilename"_s, initialName, filter, title}, -1, [=, this] {
            m_factory.dialogs << title + u'|' + filter + u'|' + initialName;
            return m_factory.saveAsAnswer;
        });
}

Status MemorySpreadsheet::saveAs(WorkbookId book, const QString& fileName) {
    return call<Status>({u"saveAs"_s, double(book), fileName}, book, [this, book, fileName] {
        if (m_factory.failSaveAs)
            return failure(SpreadsheetStatus::Failed);
        MemoryWorkbook& stored = workbook(book);
        stored.path = fileName + (QFileInfo(fileName).suffix().isEmpty() ? ".xls" : "");
        stored.saved = true;
        m_factory.files.insert(stored.path, stored);
        return Status();
    });
}

Result<QString> MemorySpreadsheet::quit() {
    if (Status status = available(-1); !status.ok())
        return {status};
    // Not answered: ended by force once the recovery copies were tried.
    const bool forced = m_held == u"quit"_s || (m_pending && !m_pending->answer && stuck);
    if (forced)
        waitOut();
    else if (m_pending && !m_pending->answer)
        answerPending();
    m_pending.reset();
    m_closed = true;
    QStringList kept;
    for (const MemoryWorkbook& book : std::as_const(m_books)) {
        if (book.closed || book.saved || m_factory.recoveryFolder.isEmpty())
            continue;
        const QFileInfo file(book.path);
        kept << u"%1/%2 (recovered).%3"_s.arg(m_factory.recoveryFolder, file.completeBaseName(),
                                              file.suffix());
        m_factory.files.insert(kept.last(), book);
    }
    if (forced && m_factory.recoveryFolder.isEmpty())
        return {failure(SpreadsheetStatus::Busy)};
    return {{}, kept.join(u"; "_s)};
}

std::optional<CellValue> MemorySpreadsheet::cell(WorkbookId book, int row, int column,
                                                 int sheet) const {
    const MemorySheet& cells = m_books[book - 1].sheets[sheet];
    const auto found = cells.find({row, column});
    return found == cells.end() ? std::nullopt : std::optional<CellValue>(found->second);
}

std::unique_ptr<SpreadsheetApp> MemorySpreadsheetFactory::create(Status& status) {
    status = failCreate ? failure(SpreadsheetStatus::Failed) : Status();
    if (failCreate)
        return nullptr;
    auto app = std::make_unique<MemorySpreadsheet>(*this);
    m_last = app.get();
    ++m_created;
    return app;
}
