#pragma once

#include <QProcess>
#include <QTemporaryDir>

// Two linked pseudo-terminals made by socat: what is written to one end arrives at the other.
class PtyPair {
public:
    ~PtyPair() { stop(); }
    bool start(); // starts socat and waits until both ends exist; false when that failed
    void stop();  // ends socat: both ends go away

    QString deviceA() const { return m_dir.filePath(QStringLiteral("a")); }
    QString deviceB() const { return m_dir.filePath(QStringLiteral("b")); }

private:
    QTemporaryDir m_dir;
    QProcess m_socat;
};
