#pragma once

#include "calcoptions.h"
#include "spreadsheet.h"

#include <sys/types.h>

#include <limits>
#include <memory>

class CalcSession;
class CallWait;
class OfficeProcess;
class UnoWorker;
struct UnoCall;

// The spreadsheet application on Linux: a LibreOffice Calc of our own, started with the
// program's private profile and driven over UNO from one worker thread.
//
// - Cell writes go to the active sheet of the workbook the program last opened or activated,
//   whatever document or sheet the user clicks into meanwhile: the sheet that was active when
//   the workbook was opened, or the one addWorksheet() added last.
// - Every call has a deadline, from a second for a write to minutes for the user's macro, and
//   the CallWait keeps the caller's windows answering while it waits. A call not answered in time,
//   given up by the user, or made to an office stopped for a second fails as busy and is pending
//   (see UnoWorker). A workbook closed by the user, or an office that ended, fails every later call
//   as closed.
// - Macros: "Book.xls!Tidy" or "Book.xls!Module1.Tidy" is a Basic macro of the open document
//   Book.xls. The profile's "My Macros" library stands for the personal macro workbook, which
//   the office cannot keep inside an .xls file: a run under "Personal.xls!" (or an unqualified
//   one) looks there after the open documents. So that a search over workbooks() by name finds
//   it, workbooks() lists it last, as the entry MyMacros named "Personal.xls", whenever no
//   document of that name is open; it is always saved and cannot be activated or stored.
// - quit() ends the office. A visible office asks about modified workbooks as it does itself;
//   whatever is still modified then, or every modified workbook of a headless office or of one
//   told to quitUnasked(), is kept as a recovery copy in the documents folder. An office that does
//   not answer is ended by force, once a recovery copy of every modified workbook was tried beside
//   the call it hangs in.
// - The office never outlives this object: destroying it ends the office the same way,
//   without asking.
class CalcSpreadsheet final : public SpreadsheetApp {
public:
    // The entry of workbooks() that stands for "My Macros".
    static constexpr WorkbookId MyMacros = std::numeric_limits<WorkbookId>::max();

    // wait keeps the caller's windows answering while a call waits (none: the caller only
    // waits).
    explicit CalcSpreadsheet(CalcOptions options, CallWait* wait = nullptr);
    ~CalcSpreadsheet() override;

    // Starts the office and connects to it; an object whose start failed only fails.
    Status start();

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
    Result<QString> quitUnasked() override;
    Status settle() override;

    // The office's process id (0 before it started).
    pid_t officePid() const;
    bool headless() const { return m_options.headless; }

private:
    // Not started, quit, or the office has ended: every call fails as closed.
    bool gone();
    template <class R, class F> R call(UnoCall call, F&& body);
    // quit(), asking the user about modified workbooks or not.
    Result<QString> end(bool ask);
    // Ends the office; busy (and nothing done) when it does not answer.
    Result<QString> shutDown(bool ask);
    // Ends an office that does not answer, after trying recovery copies of its modified
    // workbooks beside the call it hangs in.
    Result<QString> rescueAndEnd();
    // Kills the office and waits for it to go, the caller's windows answering meanwhile.
    void endByForce();

    const CalcOptions m_options;
    CallWait* const m_wait;
    std::unique_ptr<OfficeProcess> m_office;
    std::unique_ptr<CalcSession> m_session;
    std::unique_ptr<UnoWorker> m_worker;
    WorkbookId m_active = 0;
    bool m_started = false;
    bool m_quit = false;
};

// Starts LibreOffice Calc applications with the user's options.
class CalcSpreadsheetFactory final : public SpreadsheetFactory {
public:
    explicit CalcSpreadsheetFactory(CalcOptions options = CalcOptions::fromEnvironment(),
                                    CallWait* wait = nullptr);
    std::unique_ptr<SpreadsheetApp> create(Status& status) override;

private:
    CalcOptions m_options;
    CallWait* m_wait;
};
