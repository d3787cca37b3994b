#include "unoworker.h"

#include "callwait.h"
#include "officeprocess.h"

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

Status officeEnded() {
    return Status::failure(SpreadsheetStatus::Closed, QStringLiteral("The office has ended."));
}
Status notAnswered() {
    return Status::failure(SpreadsheetStatus::Busy, QStringLiteral("The office does not answer."));
}
Status givenUp() {
    return Status::failure(SpreadsheetStatus::Busy, QStringLiteral("The wait was given up."));
}
} // namespace

UnoWorker::UnoWorker(OfficeProcess& office, CallWait* wait, milliseconds replyTime)
    : m_office(office)
    , m_wait(wait)
    , m_replyTime(replyTime)
    , m_thread(&UnoWorker::loop, this) {}

UnoWorker::~UnoWorker() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
    for (std::thread& rescuer : m_rescuers)
        rescuer.join();
}

void UnoWorker::loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || (m_current && !m_current->started); });
        if (m_stop)
            return;
        const std::shared_ptr<Ticket> ticket = m_current;
        ticket->started = true;
        lock.unlock();
        run(*ticket);
        lock.lock();
    }
}

void UnoWorker::run(Ticket& ticket) {
    Status status = ticket.job();
    std::lock_guard lock(m_mutex);
    ticket.status = std::move(status);
    ticket.done = true;
    ticket.job = nullptr;
    m_changed.notify_all();
}

bool UnoWorker::idle() {
    std::lock_guard lock(m_mutex);
    return !m_current || m_current->done;
}

Status UnoWorker::perform(std::function<Status()> job, UnoCall& call) {
    if (m_office.ended())
        return officeEnded();
    std::unique_lock lock(m_mutex);
    if (m_current) {
        if (!m_current->done)
            return notAnswered();
        // A late answer: it decides for the same call, and is dropped by any other.
        const std::shared_ptr<Ticket> late = std::move(m_current);
        if (late->call.sameAs(call)) {
            call.value = late->call.value;
            return answer(*late);
        }
    }
    auto ticket = std::make_shared<Ticket>();
    ticket->job = std::move(job);
    ticket->call = call;
    m_current = ticket;
    m_changed.notify_all();
    Status why;
    if (!await(ticket, call.deadline, lock, why))
        return why;
    m_current.reset();
    return answer(*ticket);
}

qsizetype UnoWorker::landedRows(const UnoCall& call) {
    std::lock_guard lock(m_mutex);
    if (!m_current || !m_current->done || !m_current->status.ok())
        return 0;
    const UnoCall& late = m_current->call;
    if (late.operation != call.operation || late.arguments != call.arguments ||
        late.rows.size() > call.rows.size() || call.rows.mid(0, late.rows.size()) != late.rows)
        return 0;
    const qsizetype landed = late.rows.size();
    m_current.reset();
    return landed;
}

Status UnoWorker::settle(milliseconds deadline) {
    std::unique_lock lock(m_mutex);
    if (!m_current || m_current->done)
        return {};
    Status why;
    return await(m_current, deadline, lock, why) ? Status() : why;
}

Status UnoWorker::rescue(std::function<Status()> job, milliseconds deadline) {
    std::unique_lock lock(m_mutex);
    auto ticket = std::make_shared<Ticket>();
    ticket->job = std::move(job);
    ticket->started = true;
    m_rescuers.emplace_back([this, ticket] { run(*ticket); });
    Status why;
    if (!await(ticket, deadline, lock, why))
        return why;
    return answer(*ticket);
}

Status UnoWorker::answer(const Ticket& ticket) {
    // A call that failed because its office went away failed as closed.
    if (!ticket.call.startsOrEnds && !ticket.status.ok() && !ticket.status.busy() &&
        m_office.ended())
        return officeEnded();
    return ticket.status;
}

bool UnoWorker::await(const std::shared_ptr<Ticket>& ticket, milliseconds deadline,
                      std::unique_lock<std::mutex>& lock, Status& why) {
    const Clock::time_point begun = Clock::now();
    Clock::time_point stoppedSince;
    bool stopped = false;
    bool asked = false;
    bool answered = false;
    for (;;) {
        if (m_changed.wait_for(lock, CallWait::LookInterval, [&] { return ticket->done; })) {
            answered = true;
            break;
        }
        if (!ticket->call.startsOrEnds && m_office.ended()) {
            why = officeEnded();
            break;
        }
        const Clock::time_point now = Clock::now();
        const auto waited = std::chrono::duration_cast<milliseconds>(now - begun);
        if (waited >= deadline) {
            why = notAnswered();
            break;
        }
        if (!m_office.stopped()) {
            stopped = false;
        } else if (!stopped) {
            stopped = true;
            stoppedSince = now;
        } else if (now - stoppedSince >= m_replyTime) {
            why = notAnswered();
            break;
        }
        if (!m_wait)
            continue;
        asked = true;
        lock.unlock();
        const bool goOn = m_wait->keepWaiting(waited);
        lock.lock();
        if (!goOn && !ticket->done) {
            why = givenUp();
            break;
        }
    }
    if (asked) {
        lock.unlock();
        m_wait->waitEnded();
        lock.lock();
    }
    return answered;
}
