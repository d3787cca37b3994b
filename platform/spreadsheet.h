#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>
#include <type_traits>
#include <variant>

// The spreadsheet application the capture writes into: one running application with its open
// workbooks. Every call reports a status code; callers tell "busy" from every other failure.
//
// Every call has a deadline, and the caller's windows keep answering while it waits (see
// callwait.h). A call not answered in time, or given up by the user, fails as busy and is then
// pending: the application may still carry it out. While a call is pending every other call
// fails as busy at once, without being sent. Once the pending call is answered, its answer is
// kept for the next call: when that is the same call (same operation, same arguments) it gets
// that answer without being sent again, and a block write whose first rows a write that landed
// late wrote at the same place writes only the rest; so a write that landed late counts as
// written and is never carried out twice. Any other call drops the answer.

namespace SpreadsheetStatus {
constexpr quint32 Ok = 0;
// The application rejected the call because it is busy (a cell being edited, a dialog open,
// or an earlier call still unanswered), or did not answer it in time.
constexpr quint32 Busy = 0x80010001;
// The application or the workbook is gone (closed by the user, or the process died).
constexpr quint32 Closed = 0x80010108;
// Any other failure (a file that cannot be opened or saved, a missing macro...).
constexpr quint32 Failed = 0x80004005;
} // namespace SpreadsheetStatus

// Limits of a worksheet in the .xls format.
constexpr int SheetMaxRows = 65536;
constexpr int SheetMaxColumns = 256;

struct Status {
    quint32 code = SpreadsheetStatus::Ok;
    QString message;

    bool ok() const { return code == SpreadsheetStatus::Ok; }
    bool busy() const { return code == SpreadsheetStatus::Busy; }

    static Status success() { return {}; }
    static Status failure(quint32 code, QString message = {}) { return {code, std::move(message)}; }
};

template <class T> struct Result {
    Status status;
    T value{};

    bool ok() const { return status.ok(); }
};

// A call's answer of either kind (Status or Result<T>) made from a status alone.
template <class R> R withStatus(const Status& status) {
    if constexpr (std::is_same_v<R, Status>)
        return status;
    else
        return R{status};
}

// A text stored as it stands, even when it reads as a number ("1.5" from an instrument that
// marks decimals with a comma).
struct LiteralText {
    QString text;
    bool operator==(const LiteralText&) const = default;
};

// A value for one cell: a number; a text, which is stored as the number it reads as (see
// numbertext.h) or else as literal text, one beginning with "=" included; a literal text; or a
// local date and time, stored as a date-time value shown to the millisecond
// ("YYYY-MM-DD HH:MM:SS.000"), so that the sheet sorts, charts and subtracts it.
using CellValue = std::variant<double, QString, LiteralText, QDateTime>;
// The values of one row from its first column on.
using CellRow = QList<CellValue>;

// A workbook of the application, valid while the application object lives. 0 is no workbook.
using WorkbookId = int;

class SpreadsheetApp {
public:
    virtual ~SpreadsheetApp() = default;

    // The open workbooks, in the order in which they were opened.
    virtual Result<QList<WorkbookId>> workbooks() = 0;
    // Loads a workbook from a full path; it becomes the active workbook.
    virtual Result<WorkbookId> open(const QString& path) = 0;
    // Loads a workbook from a full path beside the others: the active workbook, where cell
    // writes go, stays the one it was.
    virtual Result<WorkbookId> openBeside(const QString& path) = 0;
    virtual Status setVisible(bool visible) = 0;
    // The application's start-up folder, without a trailing separator.
    virtual Result<QString> startupPath() = 0;
    // Makes the workbook the active one: cell writes go to its active sheet.
    virtual Status activate(WorkbookId book) = 0;
    // Sets a rectangle of cells of the active sheet of the active workbook in one call:
    // consecutive rows from the row (1-based) on, each from the column on, all of the same
    // length. All of them are set, or none: a call that fails (busy, closed, outside the
    // sheet, rows of different lengths) writes no row.
    virtual Status setBlock(int row, int firstColumn, const QList<CellRow>& rows) = 0;
    Status setCells(int row, int firstColumn, const CellRow& values) {
        return setBlock(row, firstColumn, {values});
    }
    Status setCell(int row, int column, const CellValue& value) {
        return setCells(row, column, {value});
    }
    // Adds a worksheet at the end of the active workbook and makes it its active sheet.
    virtual Status addWorksheet() = 0;
    // Runs a macro by name ("Tidy", "Book.xls!Tidy", "Book.xls!Module1.Tidy"), no arguments.
    virtual Status run(const QString& macro) = 0;
    // The workbook's file name, without folder.
    virtual Result<QString> name(WorkbookId book) = 0;
    // True when the workbook has no unsaved changes.
    virtual Result<bool> saved(WorkbookId book) = 0;
    // Asks the user for a file name; the text "False" when the user cancelled.
    virtual Result<QString> getSaveAsFilename(const QString& initialName, const QString& filter,
                                              const QString& title) = 0;
    // Stores the workbook under the name, in the format its extension names; a name whose
    // extension names no workbook format (.xls, .xlsx, .ods) gets ".xls".
    virtual Status saveAs(WorkbookId book, const QString& fileName) = 0;
    // Ends the application without losing a modified workbook silently: where nobody can be
    // asked (no display), such a workbook is kept as a recovery copy, whose path is the value
    // (empty when nothing had to be kept). An application that does not answer is ended by
    // force, once recovery copies of its modified workbooks were tried; the call fails when
    // they could not be made.
    virtual Result<QString> quit() = 0;
    // As quit(), for a session that is ending: nobody is asked, shown or not, and every
    // modified workbook is kept as a recovery copy.
    virtual Result<QString> quitUnasked() = 0;
    // Waits, as long as a question to the application may take, for the answer to a call left
    // pending, which stays kept for the next call. Ok when no call is pending any more.
    virtual Status settle() = 0;
};

// Starts a new spreadsheet application.
class SpreadsheetFactory {
public:
    virtual ~SpreadsheetFactory() = default;
    virtual std::unique_ptr<SpreadsheetApp> create(Status& status) = 0;
};
