#include "unwrittentext.h"

#include <QDir>
#include <QSaveFile>

QString fileNameStamp(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss"));
}

QString newTextFilePath(const QString& folder, const QString& stem) {
    const QDir dir(folder);
    QString path = dir.filePath(stem + QStringLiteral(".txt"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(stem + QStringLiteral(" (%1).txt").arg(n));
    return path;
}

QString unwrittenTextPath(const QString& folder, const QDateTime& now) {
    return newTextFilePath(folder, QStringLiteral("Celvane unwritten data ") + fileNameStamp(now));
}

QString saveUnwrittenText(const QString& folder, const QString& text, const QDateTime& now) {
    const QString path = unwrittenTextPath(folder, now);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    // One character stands for one received byte.
    file.write(text.toLatin1());
    return file.commit() ? path : QString();
}
