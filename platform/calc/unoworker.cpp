#include "unoworker.h"

#include "officeprocess.h"

namespace {
using Clock = std::chrono::steady_clock;
// How often a waiting caller looks at the office process.
constexpr std::chrono::milliseconds LookInterval(50);

Status officeEnded() {
    return Status::failure(SpreadsheetStatus::Closed, QStringLiteral("The office has ended."));
}
Status notAnswered() {
    return Status::failure(SpreadsheetStatus::Busy, QStringLiteral("The office does not answer."));
}
} // namespace

UnoWorker::UnoWorker(OfficeProcess& office, std::chrono::milliseconds replyTime)
    : m_office(office)
    , m_replyTime(replyTime)
    , m_thread(&UnoWorker::loop, this) {}

UnoWorker::~UnoWorker() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void UnoWorker::loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            return;
        const std::shared_ptr<Ticket> ticket = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        Status status = ticket->job();
        lock.lock();
        ticket->status = std::move(status);
        ticket->done = true;
        ticket->job = nullptr;
        --m_unanswered;
        m_changed.notify_all();
    }
}

bool UnoWorker::idle() {
    std::lock_guard lock(m_mutex);
    return m_unanswered == 0;
}

Status UnoWorker::perform(std::function<Status()> job, Wait wait) {
    if (m_office.ended())
        return officeEnded();
    std::unique_lock lock(m_mutex);
    if (wait == Wait::Reply && m_unanswered > 0)
        return notAnswered();
    auto ticket = std::make_shared<Ticket>();
    ticket->job = std::move(job);
    m_queue.push_back(ticket);
    ++m_unanswered;
    m_changed.notify_all();
    return await(ticket, wait, lock);
}

Status UnoWorker::await(const std::shared_ptr<Ticket>& ticket, Wait wait,
                        std::unique_lock<std::mutex>& lock) {
    const auto deadline = Clock::now() + m_replyTime;
    Clock::time_point stoppedSince;
    bool stopped = false;
    for (;;) {
        if (m_changed.wait_for(lock, LookInterval, [&] { return ticket->done; })) {
            // A call that failed because its office went away failed as closed.
            if (wait != Wait::Ending && !ticket->status.ok() && !ticket->status.busy() &&
                m_office.ended())
                return officeEnded();
            return ticket->status;
        }
        if (wait != Wait::Ending && m_office.ended())
            return officeEnded();
        const auto now = Clock::now();
        if (wait == Wait::Reply) {
            if (now >= deadline)
                return notAnswered();
            continue;
        }
        if (!m_office.stopped()) {
            stopped = false;
        } else if (!stopped) {
            stopped = true;
            stoppedSince = now;
        } else if (now - stoppedSince >= m_replyTime) {
            return notAnswered();
        }
    }
}
