#pragma once

#include "calcoptions.h"
#include "spreadsheet.h"

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <QList>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class OfficeProcess;
struct MacroName;

namespace com::sun::star::script::provider {
class XScriptProvider;
} // namespace com::sun::star::script::provider

// The office as the worker thread sees it: every member runs on that thread, one at a time,
// and reports a status; no exception of the office leaves it.
class CalcSession {
public:
    CalcSession(CalcOptions options, OfficeProcess& office);
    ~CalcSession();
    CalcSession(const CalcSession&) = delete;
    CalcSession& operator=(const CalcSession&) = delete;

    // Starts the office with our profile and connects to it.
    Status start();
    Result<QList<WorkbookId>> workbooks();
    Result<WorkbookId> open(const QString& path);
    Status setVisible(bool visible);
    Status activate(WorkbookId book);
    Status setBlock(WorkbookId book, int row, int firstColumn, const QList<CellRow>& rows);
    Status addWorksheet(WorkbookId book);
    Status run(const QString& macro);
    Result<QString> name(WorkbookId book);
    Result<bool> saved(WorkbookId book);
    Status saveAs(WorkbookId book, const QString& fileName);
    // Ends the office. With ask, the office asks the user about modified workbooks first, as it
    // does when the user quits it; whatever is still modified afterwards is kept as a recovery
    // copy, whose paths are the value ("; " between several).
    Result<QString> quit(bool ask);
    // Keeps a recovery copy of every modified workbook; kept names them ("; " between several).
    // The one member that may run beside another: it rescues what it can from an office that
    // hangs in a call.
    Status keepRecoveryCopies(QString& kept);
    // Lets go of everything in the office.
    void release();

    // The profile's address as the office writes it into its lock files.
    QString profileUrl() const;

private:
    struct Book {
        css::uno::Reference<css::sheet::XSpreadsheetDocument> document;
        css::uno::Reference<css::sheet::XSpreadsheet> sheet; // where cell writes go
        std::shared_ptr<std::atomic_bool> closed;            // set when the office disposes it
        sal_Int32 dateTimeFormat = -1;   // the key of the date-time format, once it is known
        QSet<sal_Int32> dateTimeColumns; // of the sheet, those made wide enough for it
    };

    template <class R, class F> R guarded(F&& body);
    Status connect(const QString& pipe);
    void keepTipsAway();
    // The open workbook, or why there is none (the personal macro place is none).
    Status usable(WorkbookId book) const;
    Book& book(WorkbookId id) { return m_books[std::size_t(id - 1)]; }
    // The key of the workbook's format for dates with times to the millisecond.
    static sal_Int32 dateTimeFormat(Book& book);
    QString fileName(const Book& book) const;
    bool isPersonal(const QString& fileName) const;
    // A place that holds Basic macros: an open workbook, or the profile's "My Macros".
    struct MacroPlace {
        css::uno::Reference<css::script::provider::XScriptProvider> provider;
        css::uno::Reference<css::uno::XInterface> libraries; // its Basic library container
        css::uno::Reference<css::uno::XInterface> document;  // none for "My Macros"
    };
    MacroPlace documentMacros(const Book& book) const;
    MacroPlace myMacros() const;
    // The script address of the named macro in the place; empty when it has none.
    rtl::OUString findMacro(const MacroPlace& place, const MacroName& name) const;
    Status runMacro(const MacroPlace& place, const rtl::OUString& uri);
    QString keepRecoveryCopy(Book& book);
    QStringList copyModifiedBooks();
    // The workbooks opened so far, as they are now.
    std::vector<Book> books();
    void showWindow(Book& book, bool visible);

    const CalcOptions m_options;
    OfficeProcess& m_office;
    css::uno::Reference<css::uno::XComponentContext> m_local;
    css::uno::Reference<css::uno::XComponentContext> m_remote;
    css::uno::Reference<css::frame::XDesktop2> m_desktop;
    std::mutex m_booksMutex; // open() adds to m_books while a rescue may read it
    std::vector<Book> m_books;
    bool m_visible = false;
};
