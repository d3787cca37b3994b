#pragma once

#include "spreadsheet.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CallWait;
class OfficeProcess;

// One call into the office as its caller waits for it.
struct UnoCall {
    UnoCall() = default;
    UnoCall(QString operation, QList<CellValue> arguments, std::chrono::milliseconds deadline,
            bool startsOrEnds = false)
        : operation(std::move(operation))
        , arguments(std::move(arguments))
        , deadline(deadline)
        , startsOrEnds(startsOrEnds) {}

    // What is called and with what: the same call has the same operation and arguments.
    QString operation;
    QList<CellValue> arguments;
    QList<CellRow> rows; // of a block write
    // How long the caller waits for the answer.
    std::chrono::milliseconds deadline{0};
    // The call starts or ends the office: its own answer counts even when the office ends on
    // the way (it watches the office itself, and a call into an office that ended cannot wait
    // forever: the connection breaks with it).
    bool startsOrEnds = false;
    // Where the job leaves the value it answers with, if any; a late answer hands over the value
    // of the call it answered.
    std::shared_ptr<void> value;

    bool sameAs(const UnoCall& other) const {
        return operation == other.operation && arguments == other.arguments && rows == other.rows;
    }
};

// The one thread that talks to the office. Callers hand it calls and wait for the answer until
// the call's deadline, their windows kept answering by the CallWait meanwhile, but never longer
// than the office can answer: a call whose office has ended fails as closed; one not answered
// by its deadline, given up by the user, or made to an office stopped (SIGSTOP) for the reply
// time fails as busy.
//
// A call left unanswered is pending: the office may still carry it out. While it is pending
// nothing else is sent: every call fails as busy at once. Its answer, once it came, is kept for
// the next call: the same call gets it without being sent again (a write that landed late is
// not written twice); any other call drops it and is sent.
class UnoWorker {
public:
    // wait may be null: the caller then only waits.
    UnoWorker(OfficeProcess& office, CallWait* wait,
              std::chrono::milliseconds replyTime = std::chrono::milliseconds(1000));
    // Ends the threads after the jobs they run; the office must have ended or be idle by then.
    ~UnoWorker();
    UnoWorker(const UnoWorker&) = delete;
    UnoWorker& operator=(const UnoWorker&) = delete;

    Status perform(std::function<Status()> job, UnoCall& call);
    // How many rows at the start of a block write a write of the same place that landed late
    // wrote already; that late answer is then taken.
    qsizetype landedRows(const UnoCall& call);
    // Waits up to the deadline for the answer to a pending call, which stays kept for the next
    // call. Ok when no call is pending any more.
    Status settle(std::chrono::milliseconds deadline);
    // Runs the job beside a pending call, on a thread of its own: what can still be saved from
    // an office that does not answer.
    Status rescue(std::function<Status()> job, std::chrono::milliseconds deadline);
    // No call is pending.
    bool idle();

private:
    struct Ticket {
        std::function<Status()> job;
        UnoCall call;
        Status status;
        bool started = false;
        bool done = false;
    };
    void loop();
    void run(Ticket& ticket);
    // Waits up to the deadline for the ticket's answer; false, with the reason in why, when it
    // did not come.
    bool await(const std::shared_ptr<Ticket>& ticket, std::chrono::milliseconds deadline,
               std::unique_lock<std::mutex>& lock, Status& why);
    // The ticket's answer as its caller gets it.
    Status answer(const Ticket& ticket);

    OfficeProcess& m_office;
    CallWait* const m_wait;
    const std::chrono::milliseconds m_replyTime;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // The call sent last, until its caller took its answer: pending while not done.
    std::shared_ptr<Ticket> m_current;
    bool m_stop = false;
    std::vector<std::thread> m_rescuers;
    std::thread m_thread;
};
