#include "ptypair.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

// Waits up to 10 s until both ends exist, or with gone until neither does.
static bool waitForEnds(const PtyPair& pair, bool gone, const QProcess& socat) {
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(20)) {
        if (QFileInfo::exists(pair.deviceA()) != gone && QFileInfo::exists(pair.deviceB()) != gone)
            return true;
        if (!gone && socat.state() != QProcess::Running)
            return false;
    }
    return false;
}

bool PtyPair::start() {
    stop();
    const QString end = QStringLiteral("pty,raw,echo=0,link=");
    m_socat.start(QStringLiteral("socat"), {end + deviceA(), end + deviceB()});
    return m_socat.waitForStarted(5000) && waitForEnds(*this, false, m_socat);
}

void PtyPair::stop() {
    if (m_socat.state() == QProcess::NotRunning)
        return;
    m_socat.terminate();
    if (!m_socat.waitForFinished(5000))
        m_socat.kill();
    m_socat.waitForFinished(5000);
    waitForEnds(*this, true, m_socat); // socat removes its links as it ends: a restart makes them
}
