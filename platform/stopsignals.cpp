#include "stopsignals.h"

#include <QSocketNotifier>

#include <iterator>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The handler only writes into the pipe; the event loop reads it.
int g_writeEnd = -1;
volatile sig_atomic_t g_received = 0;

void onSignal(int number) {
    if (g_received != 0) {
        // The default action ends the program as soon as this handler returns.
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    g_received = 1;
    ::alarm(StopSignals::kDeadlineSeconds); // SIGALRM's default action ends the program
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &byte, 1);
}

} // namespace

StopSignals::StopSignals() {
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_writeEnd = m_pipe[1];
    g_received = 0;
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::drain);
    struct sigaction action {};
    action.sa_handler = onSignal;
    // One handler at a time, so that the second signal always sees the first.
    sigemptyset(&action.sa_mask);
    for (const int number : kStopSignals)
        sigaddset(&action.sa_mask, number);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        ::sigaction(kStopSignals[i], &action, &m_old[i]);
}

StopSignals::~StopSignals() {
    if (m_pipe[0] < 0)
        return;
    ::alarm(0);
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        ::sigaction(kStopSignals[i], &m_old[i], nullptr);
    m_notifier.reset();
    g_writeEnd = -1;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void StopSignals::drain() {
    char bytes[16];
    while (::read(m_pipe[0], bytes, sizeof bytes) > 0) {
    }
    emit received();
}
