#include "memoryspreadsheet.h"

#include "numbertext.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <thread>

namespace {

Status notAnswered() {
    return Status::failure(SpreadsheetStatus::Busy, QStringLiteral("not answered"));
}

QList<CellValue> bookArgument(WorkbookId book) {
    return {double(book)};
}

} // namespace

MemorySpreadsheet::MemorySpreadsheet(MemorySpreadsheetFactory& factory)
    : m_factory(factory) {}

MemorySpreadsheet::~MemorySpreadsheet() {
    if (m_factory.m_last == this)
        m_factory.m_last = nullptr;
}

Status MemorySpreadsheet::available() const {
    if (m_closed)
        return Status::failure(SpreadsheetStatus::Closed, QStringLiteral("application closed"));
    if (m_busy)
        return Status::failure(SpreadsheetStatus::Busy, QStringLiteral("busy"));
    return {};
}

Status MemorySpreadsheet::bookAvailable(WorkbookId book) const {
    if (Status status = available(); !status.ok())
        return status;
    if (book < 1 || book > m_books.size() || m_books[book - 1].closed)
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

void MemorySpreadsheet::answerPending() {
    m_pending->answer = m_pending->carryOut();
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
    return call<Result<QList<WorkbookId>>>(QStringLiteral("workbooks"), {},
                                           [this]() -> Result<QList<WorkbookId>> {
                                               if (Status status = available(); !status.ok())
                                                   return {status};
                                               QList<WorkbookId> open;
                                               for (int i = 0; i < m_books.size(); ++i)
                                                   if (!m_books[i].closed)
                                                       open << i + 1;
                                               return {{}, open};
                                           });
}

Result<WorkbookId> MemorySpreadsheet::open(const QString& path) {
    const Result<WorkbookId> opened = openBeside(path);
    if (opened.ok())
        m_active = opened.value;
    return opened;
}

Result<WorkbookId> MemorySpreadsheet::openBeside(const QString& path) {
    return call<Result<WorkbookId>>(
        QStringLiteral("open"), {path}, [this, path]() -> Result<WorkbookId> {
            if (Status status = available(); !status.ok())
                return {status};
            MemoryWorkbook book;
            if (m_factory.files.contains(path)) {
                book = m_factory.files.value(path);
                book.closed = false;
            } else if (!QFileInfo::exists(path) || m_factory.unloadable.contains(path)) {
                return {Status::failure(SpreadsheetStatus::Failed,
                                        QStringLiteral("cannot open ") + path)};
            }
            book.path = path;
            book.saved = true;
            m_books << book;
            return {{}, WorkbookId(m_books.size())};
        });
}

Status MemorySpreadsheet::setVisible(bool visible) {
    return call<Status>(QStringLiteral("setVisible"), {double(visible)}, [this, visible] {
        if (Status status = available(); !status.ok())
            return status;
        m_visible = visible;
        return Status();
    });
}

Result<QString> MemorySpreadsheet::startupPath() {
    if (Status status = available(); !status.ok())
        return {status};
    if (m_factory.failStartupPath)
        return {Status::failure(SpreadsheetStatus::Failed)};
    return {{}, m_factory.startup};
}

Status MemorySpreadsheet::activate(WorkbookId book) {
    return call<Status>(QStringLiteral("activate"), bookArgument(book), [this, book] {
        if (Status status = bookAvailable(book); !status.ok())
            return status;
        if (m_factory.refuseActivate)
            return Status::failure(SpreadsheetStatus::Busy, QStringLiteral("busy"));
        m_active = book;
        return Status();
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
    return call<Status>(
        QStringLiteral("setBlock"), {double(active), double(first), double(firstColumn)},
        [this, active, first, firstColumn, rest] {
            if (Status status = bookAvailable(active); !status.ok())
                return status;
            const int width = rest.isEmpty() ? 0 : int(rest.first().size());
            const int lastRow = first + int(rest.size()) - 1;
            if (width == 0 || first < 1 || lastRow > SheetMaxRows || firstColumn < 1 ||
                firstColumn + width - 1 > SheetMaxColumns)
                return Status::failure(SpreadsheetStatus::Failed,
                                       QStringLiteral("outside the sheet"));
            for (const CellRow& values : rest)
                if (values.size() != width)
                    return Status::failure(SpreadsheetStatus::Failed,
                                           QStringLiteral("ragged rows"));
            if (m_failingRow >= first && m_failingRow <= lastRow)
                return Status::failure(m_failingCode, QStringLiteral("failing row"));
            MemoryWorkbook& book = m_books[active - 1];
            for (int r = first; const CellRow& values : rest) {
                int column = firstColumn;
                for (const CellValue& value : values) {
                    CellValue stored = value;
                    if (const QString* text = std::get_if<QString>(&value))
                        if (const auto number = numberFromText(*text))
                            stored = *number;
                    book.sheets[book.activeSheet][{r, column++}] = stored;
                    ++m_writes;
                }
                ++r;
            }
            ++m_calls;
            std::this_thread::sleep_for(m_writeCost * width * rest.size());
            book.saved = false;
            return Status();
        },
        rest);
}

qsizetype MemorySpreadsheet::landedRows(WorkbookId book, int row, int firstColumn,
                                        const QList<CellRow>& rows) {
    if (!m_pending || !m_pending->answer || m_pending->operation != QStringLiteral("setBlock") ||
        m_pending->arguments != QList<CellValue>{double(book), double(row), double(firstColumn)} ||
        !std::any_cast<Status>(*m_pending->answer).ok() || m_pending->rows.size() > rows.size() ||
        rows.mid(0, m_pending->rows.size()) != m_pending->rows)
        return 0;
    const qsizetype landed = m_pending->rows.size();
    m_pending.reset();
    return landed;
}

Status MemorySpreadsheet::addWorksheet() {
    const WorkbookId active = m_active;
    return call<Status>(QStringLiteral("addWorksheet"), bookArgument(active), [this, active] {
        if (Status status = bookAvailable(active); !status.ok())
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
        const qsizetype bang = macro.indexOf(u'!');
        if (bang > 0) {
            const QString bookName = macro.left(bang);
            bool open = false;
            for (const MemoryWorkbook& book : std::as_const(m_books))
                open = open || (!book.closed && QFileInfo(book.path).fileName().compare(
                                                    bookName, Qt::CaseInsensitive) == 0);
            if (!open)
                return Status::failure(SpreadsheetStatus::Failed, QStringLiteral("no workbook"));
        }
        const auto found = m_factory.macros.constFind(macro);
        if (found == m_factory.macros.constEnd() || !found.value()(*this))
            return Status::failure(SpreadsheetStatus::Failed, QStringLiteral("macro failed"));
        return Status();
    });
}

Result<QString> MemorySpreadsheet::name(WorkbookId book) {
    return call<Result<QString>>(QStringLiteral("name"), bookArgument(book),
                                 [this, book]() -> Result<QString> {
                                     if (Status status = bookAvailable(book); !status.ok())
                                         return {status};
                                     return {{}, QFileInfo(m_books[book - 1].path).fileName()};
                                 });
}

Result<bool> MemorySpreadsheet::saved(WorkbookId book) {
    return call<Result<bool>>(QStringLiteral("saved"), bookArgument(book),
                              [this, book]() -> Result<bool> {
                                  if (Status status = bookAvailable(book); !status.ok())
                                      return {status};
                                  return {{}, m_books[book - 1].saved};
                              });
}

Result<QString> MemorySpreadsheet::getSaveAsFilename(const QString& initialName,
                                                     const QString& filter, const QString& title) {
    if (Status status = available(); !status.ok())
        return {status};
    m_factory.dialogs << title + u'|' + filter + u'|' + initialName;
    return {{}, m_factory.saveAsAnswer};
}

Status MemorySpreadsheet::saveAs(WorkbookId book, const QString& fileName) {
    return call<Status>(
        QStringLiteral("saveAs"), bookArgument(book) << fileName, [this, book, fileName] {
            if (Status status = bookAvailable(book); !status.ok())
                return status;
            if (m_factory.failSaveAs)
                return Status::failure(SpreadsheetStatus::Failed, QStringLiteral("cannot save"));
            QString path = fileName;
            if (QFileInfo(path).suffix().isEmpty())
                path += QStringLiteral(".xls");
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
        const QString path =
            QStringLiteral("%1/%2 (recovered).%3")
                .arg(m_factory.recoveryFolder, file.completeBaseName(), file.suffix());
        m_factory.files.insert(path, book);
        kept << path;
    }
    return kept.join(QStringLiteral("; "));
}

Result<QString> MemorySpreadsheet::quit() {
    if (Status status = available(); !status.ok())
        return {status};
    if (m_held == QStringLiteral("quit") || (m_pending && !m_pending->answer && stuck)) {
        // Not answered: ended by force once the recovery copies were tried.
        m_held.clear();
        waitOut();
        const QString kept = keepRecoveryCopies();
        m_closed = true;
        if (m_factory.recoveryFolder.isEmpty())
            return {notAnswered()};
        return {{}, kept};
    }
    if (m_pending && !m_pending->answer)
        answerPending();
    m_pending.reset();
    const QString kept = keepRecoveryCopies();
    m_closed = true;
    return {{}, kept};
}

std::optional<CellValue> MemorySpreadsheet::cell(WorkbookId book, int row, int column,
                                                 int sheet) const {
    const MemorySheet& cells = m_books[book - 1].sheets[sheet];
    const auto found = cells.find({row, column});
    if (found == cells.end())
        return std::nullopt;
    return found->second;
}

qsizetype MemorySpreadsheet::cellCount(WorkbookId book, int sheet) const {
    return qsizetype(m_books[book - 1].sheets[sheet].size());
}

std::unique_ptr<SpreadsheetApp> MemorySpreadsheetFactory::create(Status& status) {
    if (failCreate) {
        status = Status::failure(SpreadsheetStatus::Failed, QStringLiteral("not installed"));
        return nullptr;
    }
    status = {};
    auto app = std::make_unique<MemorySpreadsheet>(*this);
    m_last = app.get();
    ++m_created;
    return app;
}
