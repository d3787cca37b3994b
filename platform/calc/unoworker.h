#pragma once

#include "spreadsheet.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class OfficeProcess;

// The one thread that talks to the office. Callers hand it jobs and wait for the answer, but
// never longer than the office can answer: a job whose office has ended fails as closed, a
// write not answered in time (or behind an unanswered call) fails as busy.
class UnoWorker {
public:
    enum class Wait {
        // A call of a running capture: busy when not answered within the reply time, and busy
        // at once while an earlier call is still unanswered.
        Reply,
        // A slow call of start or stop: as long as it takes, while the office is alive and not
        // stopped; busy once the office has been stopped for the reply time.
        Slow,
        // The calls that start and end the office: like Slow, but their own answer counts even
        // when the office ends on the way (they watch it themselves, and a call into an office
        // that ended cannot wait forever: the connection breaks with it).
        Ending,
    };

    explicit UnoWorker(OfficeProcess& office,
                       std::chrono::milliseconds replyTime = std::chrono::milliseconds(1000));
    // Ends the thread after the job it runs; the office must have ended or be idle by then.
    ~UnoWorker();
    UnoWorker(const UnoWorker&) = delete;
    UnoWorker& operator=(const UnoWorker&) = delete;

    // Runs the job on the worker thread. A job abandoned as busy still runs to its end later.
    Status perform(std::function<Status()> job, Wait wait);
    // No call is queued or running.
    bool idle();

private:
    struct Ticket {
        std::function<Status()> job;
        Status status;
        bool done = false;
    };
    void loop();
    Status await(const std::shared_ptr<Ticket>& ticket, Wait wait,
                 std::unique_lock<std::mutex>& lock);

    OfficeProcess& m_office;
    const std::chrono::milliseconds m_replyTime;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Ticket>> m_queue;
    int m_unanswered = 0;
    bool m_stop = false;
    std::thread m_thread;
};
