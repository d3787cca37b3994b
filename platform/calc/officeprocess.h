#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <chrono>
#include <mutex>

class CallWait;

// The office program as a child process of ours. It is started by the thread that owns the
// connection to it and dies with that thread (and so with the program). Its own process group
// lets us end it with whatever it started.
class OfficeProcess {
public:
    OfficeProcess() = default;
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess&) = delete;
    OfficeProcess& operator=(const OfficeProcess&) = delete;

    // Starts program with the arguments; its output goes nowhere. False when it cannot start.
    bool start(const QString& program, const QStringList& arguments);

    pid_t pid() const { return m_pid; }
    // It was started and has not ended yet.
    bool running();
    // It has ended (killed, crashed or quit); false before it was started.
    bool ended();
    // Its exit code once it has ended by itself; -1 while it runs or when a signal ended it.
    int exitCode();
    // It is stopped by a signal (SIGSTOP) and cannot answer.
    bool stopped();
    // Waits until it ends, in short steps between which wait (if any) lets the caller's windows
    // answer; false when it still runs after the time-out or the user gave the wait up.
    bool waitForEnd(std::chrono::milliseconds timeout, CallWait* wait = nullptr);
    // Ends it at once, with everything it started, without waiting: a process the system has not
    // taken away yet is reaped by a later look, or beside the program once this object goes.
    void kill();

private:
    bool reap(int options);

    std::mutex m_mutex;
    pid_t m_pid = 0;
    int m_pidfd = -1; // readable once the process has ended
    bool m_ended = false;
    int m_exitCode = -1;
};
