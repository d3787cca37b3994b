#include "officelock.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

QString lockFilePath(const QString& documentPath) {
    const QFileInfo document(documentPath);
    return document.absolutePath() + QStringLiteral("/.~lock.") + document.fileName() +
           QStringLiteral("#");
}

bool isLockOf(const QByteArray& lockContent, const QString& profileUrl) {
    // The author's name may hold commas, escaped as "\,": the profile is the last field.
    QByteArray line = lockContent.trimmed();
    if (line.endsWith(';'))
        line.chop(1);
    const qsizetype comma = line.lastIndexOf(',');
    if (comma < 0 || profileUrl.isEmpty())
        return false;
    return QString::fromUtf8(line.mid(comma + 1)) == profileUrl;
}

bool removeOwnLock(const QString& documentPath, const QString& profileUrl) {
    QFile lock(lockFilePath(documentPath));
    if (!lock.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = lock.read(64 * 1024);
    lock.close();
    return isLockOf(content, profileUrl) && lock.remove();
}
