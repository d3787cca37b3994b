#include "uartline.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Writes without waiting; the bytes taken, 0 when the pseudo-terminal is full.
qsizetype writeSome(int fd, const char* data, qsizetype size) {
    const ssize_t written = ::write(fd, data, size_t(size));
    return written > 0 ? written : 0;
}

} // namespace

UartLine::~UartLine() {
    if (!m_link.isEmpty())
        QFile::remove(m_link);
    for (const int fd : {m_slave, m_master})
        if (fd >= 0)
            ::close(fd);
}

bool UartLine::open(const QString& link, QString& error) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    const char* name = m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0
                           ? ::ptsname(m_master)
                           : nullptr;
    m_slave = name ? ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK) : -1;
    termios raw{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &raw) != 0) {
        error =
            QStringLiteral("no pseudo-terminal: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    // What the pseudo-terminal holds, raw as the program reads it: filled until it takes no
    // more after it had time to hand on within itself what it took, then emptied.
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    const QByteArray fill(4096, 'x');
    for (qsizetype taken = 1; taken > 0 && m_ptyHolds < kKernelHolds; m_ptyHolds += taken) {
        taken = writeSome(m_master, fill.constData(), fill.size());
        if (taken == 0 && ::poll(nullptr, 0, 20) == 0)
            taken = writeSome(m_master, fill.constData(), fill.size());
    }
    char drop[4096];
    pollfd readable{m_slave, POLLIN, 0};
    while (::poll(&readable, 1, 50) > 0 && ::read(m_slave, drop, sizeof drop) > 0) {
    }
    if (!QFile::link(QString::fromLocal8Bit(name), link)) {
        error = QStringLiteral("cannot make the link %1").arg(link);
        return false;
    }
    m_link = link;
    return true;
}

void UartLine::arrive(const QByteArray& bytes) {
    push();
    m_held += bytes;
    push();
    // The kernel holds what the pseudo-terminal holds and what the line holds here together.
    const qsizetype room = qMax<qsizetype>(kKernelHolds - m_ptyHolds, 0);
    if (m_held.size() > room) {
        m_lost += m_held.size() - room;
        m_held.truncate(room);
    }
}

void UartLine::push() {
    if (!m_held.isEmpty())
        m_held.remove(0, writeSome(m_master, m_held.constData(), m_held.size()));
}

bool UartLine::drained() {
    push();
    int waiting = 0;
    return m_held.isEmpty() && ::ioctl(m_slave, FIONREAD, &waiting) == 0 && waiting == 0;
}
