#pragma once

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

// SIGTERM and SIGHUP (the session logs out, the machine shuts down) turned into a Qt signal:
// received() is emitted from the event loop, never inside the signal handler. While the object
// lives, the two signals no longer end the program at once; one object at a time.
class StopSignals : public QObject {
    Q_OBJECT
public:
    StopSignals();
    ~StopSignals() override;

signals:
    void received();

private:
    void drain();

    int m_pipe[2] = {-1, -1};
    struct sigaction m_oldTerm {};
    struct sigaction m_oldHangUp {};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
