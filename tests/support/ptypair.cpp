#include "ptypair.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

PtyPair::PtyPair() = default;

PtyPair::~PtyPair() {
    stop();
}

bool PtyPair::start() {
    stop();
    const auto end = [](const QString& link) {
        return QStringLiteral("pty,raw,echo=0,link=") + link;
    };
    m_socat.start(QStringLiteral("socat"), {end(deviceA()), end(deviceB())});
    if (!m_socat.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (QFileInfo::exists(deviceA()) && QFileInfo::exists(deviceB()))
            return true;
        if (m_socat.state() != QProcess::Running)
            return false;
        QThread::msleep(20);
    }
    return false;
}

void PtyPair::stop() {
    if (m_socat.state() == QProcess::NotRunning)
        return;
    m_socat.terminate();
    if (!m_socat.waitForFinished(5000)) {
        m_socat.kill();
        m_socat.waitForFinished(5000);
    }
    // socat removes its links as it ends; wait for that so a restart can make them anew.
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && (QFileInfo::exists(deviceA()) || QFileInfo::exists(deviceB())))
        QThread::msleep(20);
}
