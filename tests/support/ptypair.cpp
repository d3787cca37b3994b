#include "ptypair.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

namespace {

// Waits up to 10 s until both ends exist (or, with gone, until neither does).
bool waitForEnds(const PtyPair& pair, bool gone, const QProcess* socat = nullptr) {
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(20)) {
        const bool a = QFileInfo::exists(pair.deviceA()), b = QFileInfo::exists(pair.deviceB());
        if (gone ? !a && !b : a && b)
            return true;
        if (socat && socat->state() != QProcess::Running)
            return false;
    }
    return false;
}

} // namespace

bool PtyPair::start() {
    stop();
    const QString end = QStringLiteral("pty,raw,echo=0,link=");
    m_socat.start(QStringLiteral("socat"), {end + deviceA(), end + deviceB()});
    return m_socat.waitForStarted(5000) && waitForEnds(*this, false, &m_socat);
}

void PtyPair::stop() {
    if (m_socat.state() == QProcess::NotRunning)
        return;
    m_socat.terminate();
    if (!m_socat.waitForFinished(5000))
        m_socat.kill();
    m_socat.waitForFinished(5000);
    // socat removes its links as it ends; wait for that so that a restart can make them anew.
    waitForEnds(*this, true);
}
