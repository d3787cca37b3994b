#include "memoryspreadsheet.h"

#include "numbertext.h"

#include <QFileInfo>

#include <thread>

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

void MemorySpreadsheet::closeWorkbook(WorkbookId book) {
    m_books[book - 1].closed = true;
    if (m_active == book)
        m_active = 0;
}

Result<QList<WorkbookId>> MemorySpreadsheet::workbooks() {
    if (Status status = available(); !status.ok())
        return {status};
    QList<WorkbookId> open;
    for (int i = 0; i < m_books.size(); ++i)
        if (!m_books[i].closed)
            open << i + 1;
    return {{}, open};
}

Result<WorkbookId> MemorySpreadsheet::open(const QString& path) {
    const Result<WorkbookId> opened = openBeside(path);
    if (opened.ok())
        m_active = opened.value;
    return opened;
}

Result<WorkbookId> MemorySpreadsheet::openBeside(const QString& path) {
    if (Status status = available(); !status.ok())
        return {status};
    MemoryWorkbook book;
    if (m_factory.files.contains(path)) {
        book = m_factory.files.value(path);
        book.closed = false;
    } else if (!QFileInfo::exists(path) || m_factory.unloadable.contains(path)) {
        return {Status::failure(SpreadsheetStatus::Failed, QStringLiteral("cannot open ") + path)};
    }
    book.path = path;
    book.saved = true;
    m_books << book;
    return {{}, WorkbookId(m_books.size())};
}

Status MemorySpreadsheet::setVisible(bool visible) {
    if (Status status = available(); !status.ok())
        return status;
    m_visible = visible;
    return {};
}

Result<QString> MemorySpreadsheet::startupPath() {
    if (Status status = available(); !status.ok())
        return {status};
    if (m_factory.failStartupPath)
        return {Status::failure(SpreadsheetStatus::Failed)};
    return {{}, m_factory.startup};
}

Status MemorySpreadsheet::activate(WorkbookId book) {
    if (Status status = bookAvailable(book); !status.ok())
        return status;
    if (m_factory.refuseActivate)
        return Status::failure(SpreadsheetStatus::Busy, QStringLiteral("busy"));
    m_active = book;
    return {};
}

Status MemorySpreadsheet::setBlock(int row, int firstColumn, const QList<CellRow>& rows) {
    if (Status status = bookAvailable(m_active); !status.ok())
        return status;
    const int width = rows.isEmpty() ? 0 : int(rows.first().size());
    const int lastRow = row + int(rows.size()) - 1;
    if (width == 0 || row < 1 || lastRow > SheetMaxRows || firstColumn < 1 ||
        firstColumn + width - 1 > SheetMaxColumns)
        return Status::failure(SpreadsheetStatus::Failed, QStringLiteral("outside the sheet"));
    for (const CellRow& values : rows)
        if (values.size() != width)
            return Status::failure(SpreadsheetStatus::Failed, QStringLiteral("ragged rows"));
    if (m_failingRow >= row && m_failingRow <= lastRow)
        return Status::failure(m_failingCode, QStringLiteral("failing row"));
    MemoryWorkbook& book = m_books[m_active - 1];
    for (int r = row; const CellRow& values : rows) {
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
    std::this_thread::sleep_for(m_writeCost * width * rows.size());
    book.saved = false;
    return {};
}

Status MemorySpreadsheet::addWorksheet() {
    if (Status status = bookAvailable(m_active); !status.ok())
        return status;
    MemoryWorkbook& book = m_books[m_active - 1];
    book.sheets << MemorySheet{};
    book.activeSheet = int(book.sheets.size()) - 1;
    book.saved = false;
    return {};
}

Status MemorySpreadsheet::run(const QString& macro) {
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
    return {};
}

Result<QString> MemorySpreadsheet::name(WorkbookId book) {
    if (Status status = bookAvailable(book); !status.ok())
        return {status};
    return {{}, QFileInfo(m_books[book - 1].path).fileName()};
}

Result<bool> MemorySpreadsheet::saved(WorkbookId book) {
    if (Status status = bookAvailable(book); !status.ok())
        return {status};
    return {{}, m_books[book - 1].saved};
}

Result<QString> MemorySpreadsheet::getSaveAsFilename(const QString& initialName,
                                                     const QString& filter, const QString& title) {
    if (Status status = available(); !status.ok())
        return {status};
    m_factory.dialogs << title + u'|' + filter + u'|' + initialName;
    return {{}, m_factory.saveAsAnswer};
}

Status MemorySpreadsheet::saveAs(WorkbookId book, const QString& fileName) {
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
    return {};
}

Result<QString> MemorySpreadsheet::quit() {
    if (Status status = available(); !status.ok())
        return {status};
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
    m_closed = true;
    return {{}, kept.join(QStringLiteral("; "))};
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
