#include "calcspreadsheet.h"

#include "calcsession.h"
#include "officeprocess.h"
#include "saveasdialog.h"
#include "unoworker.h"

#include <QDir>
#include <QStandardPaths>

#include <type_traits>

namespace {

// How long an office that was told to end may take before it is ended by force.
constexpr std::chrono::seconds EndTime(30);

Status statusOf(const Status& status) {
    return status;
}
template <class T> Status statusOf(const Result<T>& result) {
    return result.status;
}

template <class R> R withStatus(const Status& status) {
    if constexpr (std::is_same_v<R, Status>)
        return status;
    else
        return R{status};
}

Status notRunning() {
    return Status::failure(SpreadsheetStatus::Closed, QStringLiteral("The office is not running."));
}

} // namespace

CalcSpreadsheet::CalcSpreadsheet(CalcOptions options)
    : m_options(std::move(options))
    , m_office(std::make_unique<OfficeProcess>()) {
    // The UNO runtime of this process finds its types and services through this file.
    if (qEnvironmentVariableIsEmpty("URE_BOOTSTRAP"))
        qputenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" LIBREOFFICE_PROGRAM_DIR "/fundamentalrc");
    m_session = std::make_unique<CalcSession>(m_options, *m_office);
    m_worker = std::make_unique<UnoWorker>(*m_office);
}

CalcSpreadsheet::~CalcSpreadsheet() {
    if (!gone() && m_worker->idle())
        shutDown(false);
    m_office->kill();
    m_worker.reset();
    m_session.reset();
}

template <class R, class F> R CalcSpreadsheet::slow(F&& call) {
    if (gone())
        return withStatus<R>(notRunning());
    auto result = std::make_shared<R>();
    const Status status = m_worker->perform(
        [result, call = std::forward<F>(call)]() mutable {
            *result = call();
            return statusOf(*result);
        },
        UnoWorker::Wait::Slow);
    if (!status.ok())
        return withStatus<R>(status);
    return *result;
}

Status CalcSpreadsheet::start() {
    CalcSession* session = m_session.get();
    // The start watches the office itself: it may end once on the way (a new profile).
    const Status status =
        m_worker->perform([session] { return session->start(); }, UnoWorker::Wait::Ending);
    m_started = status.ok();
    return status;
}

Result<QString> CalcSpreadsheet::shutDown(bool ask) {
    CalcSession* session = m_session.get();
    auto result = std::make_shared<Result<QString>>();
    const Status status = m_worker->perform(
        [session, result, ask] {
            *result = session->quit(ask);
            return result->status;
        },
        UnoWorker::Wait::Ending);
    if (status.busy())
        return {status};
    m_quit = true;
    // An office that could not be told to end cleanly is ended at once.
    if (!status.ok() || !m_office->waitForEnd(EndTime))
        m_office->kill();
    if (!status.ok())
        return {status};
    return *result;
}

Result<QList<WorkbookId>> CalcSpreadsheet::workbooks() {
    CalcSession* session = m_session.get();
    return slow<Result<QList<WorkbookId>>>([session] { return session->workbooks(); });
}

Result<WorkbookId> CalcSpreadsheet::open(const QString& path) {
    const Result<WorkbookId> result = openBeside(path);
    if (result.ok())
        m_active = result.value;
    return result;
}

Result<WorkbookId> CalcSpreadsheet::openBeside(const QString& path) {
    CalcSession* session = m_session.get();
    return slow<Result<WorkbookId>>([session, path] { return session->open(path); });
}

Status CalcSpreadsheet::setVisible(bool visible) {
    CalcSession* session = m_session.get();
    return slow<Status>([session, visible] { return session->setVisible(visible); });
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
    const Status status = slow<Status>([session, book] { return session->activate(book); });
    if (status.ok())
        m_active = book;
    return status;
}

Status CalcSpreadsheet::setBlock(int row, int firstColumn, const QList<CellRow>& rows) {
    if (gone())
        return notRunning();
    CalcSession* session = m_session.get();
    const WorkbookId book = m_active;
    return m_worker->perform([session, book, row, firstColumn,
                              rows] { return session->setBlock(book, row, firstColumn, rows); },
                             UnoWorker::Wait::Reply);
}

Status CalcSpreadsheet::addWorksheet() {
    if (gone())
        return notRunning();
    CalcSession* session = m_session.get();
    const WorkbookId book = m_active;
    return m_worker->perform([session, book] { return session->addWorksheet(book); },
                             UnoWorker::Wait::Reply);
}

Status CalcSpreadsheet::run(const QString& macro) {
    CalcSession* session = m_session.get();
    return slow<Status>([session, macro] { return session->run(macro); });
}

Result<QString> CalcSpreadsheet::name(WorkbookId book) {
    CalcSession* session = m_session.get();
    return slow<Result<QString>>([session, book] { return session->name(book); });
}

Result<bool> CalcSpreadsheet::saved(WorkbookId book) {
    CalcSession* session = m_session.get();
    return slow<Result<bool>>([session, book] { return session->saved(book); });
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
    return slow<Status>([session, book, fileName] { return session->saveAs(book, fileName); });
}

Result<QString> CalcSpreadsheet::quit() {
    if (gone())
        return {notRunning()};
    if (!m_worker->idle())
        return {Status::failure(SpreadsheetStatus::Busy,
                                QStringLiteral("The office does not answer."))};
    return shutDown(!m_options.headless);
}

bool CalcSpreadsheet::gone() {
    return !m_started || m_quit || !m_office->running();
}

pid_t CalcSpreadsheet::officePid() const {
    return m_office->pid();
}

CalcSpreadsheetFactory::CalcSpreadsheetFactory(CalcOptions options)
    : m_options(std::move(options)) {}

std::unique_ptr<SpreadsheetApp> CalcSpreadsheetFactory::create(Status& status) {
    auto app = std::make_unique<CalcSpreadsheet>(m_options);
    status = app->start();
    if (!status.ok())
        return nullptr;
    return app;
}
