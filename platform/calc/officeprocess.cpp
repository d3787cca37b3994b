#include "officeprocess.h"

#include "callwait.h"

#include <QFile>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

OfficeProcess::~OfficeProcess() {
    kill();
    // Killed but not yet gone (a large office takes a while to tear down): reaped beside us.
    if (m_pid > 0 && !m_ended)
        std::thread([pid = m_pid] { ::waitpid(pid, nullptr, 0); }).detach();
    if (m_pidfd >= 0)
        ::close(m_pidfd);
}

bool OfficeProcess::start(const QString& program, const QStringList& arguments) {
    // Everything the child needs is made before fork: after it, only async-signal-safe calls.
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> storage{path};
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);
    const int nowhere = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nowhere < 0)
        return false;
    const pid_t parent = ::getpid();

    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::setpgid(0, 0);
        ::dup2(nowhere, STDIN_FILENO);
        ::dup2(nowhere, STDOUT_FILENO);
        ::dup2(nowhere, STDERR_FILENO);
        ::execve(argv[0], argv.data(), environ);
        ::_exit(127);
    }
    ::close(nowhere);
    if (child < 0)
        return false;
    std::lock_guard lock(m_mutex);
    m_pid = child;
    if (m_pidfd >= 0)
        ::close(m_pidfd);
    m_pidfd = int(::syscall(SYS_pidfd_open, child, 0));
    m_ended = false;
    m_exitCode = -1;
    return true;
}

bool OfficeProcess::reap(int options) {
    if (m_pid <= 0 || m_ended)
        return m_ended;
    int status = 0;
    const pid_t result = ::waitpid(m_pid, &status, options);
    if (result == m_pid && (WIFEXITED(status) || WIFSIGNALED(status))) {
        m_ended = true;
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else if (result < 0 && errno == ECHILD)
        m_ended = true;
    return m_ended;
}

bool OfficeProcess::running() {
    std::lock_guard lock(m_mutex);
    return m_pid > 0 && !reap(WNOHANG);
}

bool OfficeProcess::ended() {
    std::lock_guard lock(m_mutex);
    return reap(WNOHANG);
}

int OfficeProcess::exitCode() {
    std::lock_guard lock(m_mutex);
    return reap(WNOHANG) ? m_exitCode : -1;
}

bool OfficeProcess::stopped() {
    pid_t pid = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_pid <= 0 || reap(WNOHANG))
            return false;
        pid = m_pid;
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (name) state ...": the name may hold blanks and parentheses, the state follows the
    // last closing parenthesis.
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size())
        return false;
    const char state = line.at(close + 2);
    return state == 'T' || state == 't';
}

bool OfficeProcess::waitForEnd(std::chrono::milliseconds timeout, CallWait* wait) {
    using namespace std::chrono;
    const steady_clock::time_point begun = steady_clock::now();
    bool asked = false;
    bool gone = ended();
    while (!gone) {
        const auto waited = duration_cast<milliseconds>(steady_clock::now() - begun);
        if (waited >= timeout)
            break;
        // Without a pidfd this only pauses for the step.
        pollfd end{m_pidfd, POLLIN, 0};
        ::poll(&end, 1, int(std::min(CallWait::LookInterval, timeout - waited).count()));
        gone = ended();
        if (gone || !wait)
            continue;
        asked = true;
        if (!wait->keepWaiting(waited))
            break;
    }
    if (asked)
        wait->waitEnded();
    return gone;
}

void OfficeProcess::kill() {
    std::lock_guard lock(m_mutex);
    if (m_pid <= 0 || reap(WNOHANG))
        return;
    ::kill(-m_pid, SIGKILL);
    ::kill(m_pid, SIGKILL);
    reap(WNOHANG);
}
