#include "calcspreadsheet.h"

#include "calcsession.h"
#include "officeprocess.h"
#include "saveasdialog.h"
#include "unoworker.h"

#include <QDir>
#include <QStandardPaths>

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// How long the program waits for the office, call by call (the README tells the user).
constexpr milliseconds WriteTime = 1s;     // a cell write or a new sheet during a capture
constexpr milliseconds QuestionTime = 10s; // workbooks, name, saved flag, activate, show; and
                                           // the answer to a call left pending
constexpr milliseconds StartTime = 90s;    // start the office and connect to it
constexpr milliseconds FileTime = 60s;     // open or save a workbook; end a headless office;
                                           // recovery copies
constexpr milliseconds AskTime = 5min;     // end a visible office, which may ask the user
constexpr milliseconds MacroTime = 10min;  // the user's macro
// How long an office that was told to end may take before it is ended by force.
constexpr milliseconds EndTime = 30s;

Status statusOf(const Status& status) {
    return status;
}
template <class T> Status statusOf(const Result<T>& result) {
    return result.status;
}

Status notRunning() {
    return Status::failure(SpreadsheetStatus::Closed, QStringLiteral("The office is not running."));
}

QList<CellValue> bookArgument(WorkbookId book) {
    return {double(book)};
}

UnoCall blockCall(WorkbookId book, int row, int firstColumn, const QList<CellRow>& rows) {
    UnoCall call(QStringLiteral("setBlock"), {double(book), double(row), double(firstColumn)},
                 WriteTime);
    call.rows = rows;
    return call;
}

} // namespace

CalcSpreadsheet::CalcSpreadsheet(CalcOptions options, CallWait* wait)
    : m_options(std::move(options))
    , m_wait(wait)
    , m_office(std::make_unique<OfficeProcess>()) {
    // The UNO runtime of this process finds its types and services through this file.
    if (qEnvironmentVariableIsEmpty("URE_BOOTSTRAP"))
        qputenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" LIBREOFFICE_PROGRAM_DIR "/fundamentalrc");
    m_session = std::make_unique<CalcSession>(m_options, *m_office);
    m_worker = std::make_unique<UnoWorker>(*m_office, wait, WriteTime);
}

CalcSpreadsheet::~CalcSpreadsheet() {
    if (!gone() && shutDown(false).status.busy())
        rescueAndEnd();
    endByForce();
    m_worker.reset();
    m_session.reset();
}

template <class R, class F> R CalcSpreadsheet::call(UnoCall call, F&& body) {
    if (gone())
        return withStatus<R>(notRunning());
    auto result = std::make_shared<R>();
    call.value = result;
    const Status status = m_worker->perform(
        [result, body = std::forward<F>(body)]() mutable {
            *result = body();
            return statusOf(*result);
        },
        call);
    if (!status.ok())
        return withStatus<R>(status);
    return *std::static_pointer_cast<R>(call.value);
}

Status CalcSpreadsheet::start() {
    CalcSession* session = m_session.get();
    // The start watches the office itself: it may end once on the way (a new profile).
    UnoCall call{QStringLiteral("start"), {}, StartTime, true};
    const Status status = m_worker->perform([session] { return session->start(); }, call);
    m_started = status.ok();
    // A start given up or not answered leaves no office behind.
    if (!m_started)
        endByForce();
    return status;
}

Result<QString> CalcSpreadsheet::shutDown(bool ask) {
    CalcSession* session = m_session.get();
    const Result<QString> result =
        call<Result<QString>>({QStringLiteral("quit"), {}, ask ? AskTime : FileTime, true},
                              [session, ask] { return session->quit(ask); });
    if (result.status.busy())
        return result;
    m_quit = true;
    // An office that could not be told to end cleanly, or whose end the user gave up waiting
    // for, is ended at once.
    if (!result.ok() || !m_office->waitForEnd(EndTime, m_wait))
        endByForce();
    return result;
}

Result<QString> CalcSpreadsheet::rescueAndEnd() {
    CalcSession* session = m_session.get();
    auto kept = std::make_shared<QString>();
    const Status status =
        m_worker->rescue([session, kept] { return session->keepRecoveryCopies(*kept); }, FileTime);
    m_quit = true;
    endByForce();
    if (!status.ok())
        return {Status::failure(status.code,
                                QStringLiteral("The office did not answer; nothing was kept."))};
    return {{}, *kept};
}

void CalcSpreadsheet::endByForce() {
    m_office->kill();
    // A killed office takes a moment to go, a large one longer; the calls into it end with it.
    if (m_office->running())
        m_office->waitForEnd(EndTime, m_wait);
}

Result<QList<WorkbookId>> CalcSpreadsheet::workbooks() {
    CalcSession* session = m_session.get();
    return call<Result<QList<WorkbookId>>>({QStringLiteral("workbooks"), {}, QuestionTime},
                                           [session] { return session->workbooks(); });
}

Result<WorkbookId> CalcSpreadsheet::open(const QString& path) {
    const Result<WorkbookId> result = openBeside(path);
    if (result.ok())
        m_active = result.value;
    return result;
}

Result<WorkbookId> CalcSpreadsheet::openBeside(const QString& path) {
    CalcSession* session = m_session.get();
    return call<Result<WorkbookId>>({QStringLiteral("open"), {path}, FileTime},
                                    [session, path] { return session->open(path); });
}

Status CalcSpreadsheet::setVisible(bool visible) {
    CalcSession* session = m_session.get();
    return call<Status>({QStringLiteral("setVisible"), {double(visible)}, QuestionTime},
                        [session, visible] { return session->setVisible(visible); });
}

Result<QString> CalcSpreadsheet::startupPath() {
    if (gone())
        return {notRunning()};
    // Made on first use, so the user finds where "Personal.xls" belongs.
    if (!QDir().mkpath(m_options.startupDir))
        return {Status::failure(SpreadsheetStatus::Failed,
                                QStringLiteral("Cannot make ") + m_options.startupDir)};
    return {{}, QDir::cleanPath(m_options.startupDir)};
}

Status CalcSpreadsheet::activate(WorkbookId book) {
    CalcSession* session = m_session.get();
    const Status status =
        call<Status>({QStringLiteral("activate"), bookArgument(book), QuestionTime},
                     [session, book] { return session->activate(book); });
    if (status.ok())
        m_active = book;
    return status;
}

Status CalcSpreadsheet::setBlock(int row, int firstColumn, const QList<CellRow>& rows) {
    CalcSession* session = m_session.get();
    const WorkbookId book = m_active;
    // The rows that a write of the same place which landed late wrote already are not written
    // again.
    const qsizetype landed = m_worker->landedRows(blockCall(book, row, firstColumn, rows));
    if (landed > 0 && landed == rows.size())
        return {};
    const int first = row + int(landed);
    const QList<CellRow> rest = rows.mid(landed);
    return call<Status>(blockCall(book, first, firstColumn, rest),
                        [session, book, first, firstColumn, rest] {
                            return session->setBlock(book, first, firstColumn, rest);
                        });
}

Status CalcSpreadsheet::addWorksheet() {
    CalcSession* session = m_session.get();
    const WorkbookId book = m_active;
    return call<Status>({QStringLiteral("addWorksheet"), bookArgument(book), WriteTime},
                        [session, book] { return session->addWorksheet(book); });
}

Status CalcSpreadsheet::run(const QString& macro) {
    CalcSession* session = m_session.get();
    return call<Status>({QStringLiteral("run"), {macro}, MacroTime},
                        [session, macro] { return session->run(macro); });
}

Result<QString> CalcSpreadsheet::name(WorkbookId book) {
    CalcSession* session = m_session.get();
    return call<Result<QString>>({QStringLiteral("name"), bookArgument(book), QuestionTime},
                                 [session, book] { return session->name(book); });
}

Result<bool> CalcSpreadsheet::saved(WorkbookId book) {
    CalcSession* session = m_session.get();
    return call<Result<bool>>({QStringLiteral("saved"), bookArgument(book), QuestionTime},
                              [session, book] { return session->saved(book); });
}

Result<QString> CalcSpreadsheet::getSaveAsFilename(const QString& initialName,
                                                   const QString& filter, const QString& title) {
    if (gone())
        return {notRunning()};
    const QString chosen =
        askSaveAsFilename(initialName, filter, title,
                          QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    return {{}, chosen.isEmpty() ? QStringLiteral("False") : chosen};
}

Status CalcSpreadsheet::saveAs(WorkbookId book, const QString& fileName) {
    CalcSession* session = m_session.get();
    return call<Status>({QStringLiteral("saveAs"), bookArgument(book) << fileName, FileTime},
                        [session, book, fileName] { return session->saveAs(book, fileName); });
}

Result<QString> CalcSpreadsheet::quit() {
    return end(!m_options.headless);
}

Result<QString> CalcSpreadsheet::quitUnasked() {
    return end(false);
}

Result<QString> CalcSpreadsheet::end(bool ask) {
    if (gone())
        return {notRunning()};
    // A call left pending gets its time first: the office may be only slow.
    if (m_worker->settle(QuestionTime).ok()) {
        const Result<QString> ended = shutDown(ask);
        if (!ended.status.busy())
            return ended;
    }
    return rescueAndEnd();
}

Status CalcSpreadsheet::settle() {
    if (gone())
        return notRunning();
    return m_worker->settle(QuestionTime);
}

bool CalcSpreadsheet::gone() {
    return !m_started || m_quit || !m_office->running();
}

pid_t CalcSpreadsheet::officePid() const {
    return m_office->pid();
}

CalcSpreadsheetFactory::CalcSpreadsheetFactory(CalcOptions options, CallWait* wait)
    : m_options(std::move(options))
    , m_wait(wait) {}

std::unique_ptr<SpreadsheetApp> CalcSpreadsheetFactory::create(Status& status) {
    auto app = std::make_unique<CalcSpreadsheet>(m_options, m_wait);
    status = app->start();
    if (!status.ok())
        return nullptr;
    return app;
}
