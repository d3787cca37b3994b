#pragma once

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT (the session logs out, the machine shuts down, Ctrl+C) turned into
// a Qt signal: received() is emitted from the event loop, never inside the signal handler. The
// first one also sets a deadline: a program still running kDeadlineSeconds later ends there and
// then. A second one ends it at once. Ended so, the program ends as if killed (its own files
// stay as they are). While the object lives the three signals end nothing by themselves; one
// object at a time.
class StopSignals : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned kDeadlineSeconds = 9;

    StopSignals();
    ~StopSignals() override;

signals:
    void received();

private:
    void drain();

    int m_pipe[2] = {-1, -1};
    struct sigaction m_old[3]{};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
