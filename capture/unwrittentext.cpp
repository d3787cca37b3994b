#include "unwrittentext.h"

#include <QDir>
#include <QSaveFile>

QString fileNameStamp(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss"));
}

QString newFilePath(const QString& folder, const QString& stem, const QString& extension) {
    const QDir dir(folder);
    QString path = dir.filePath(stem + extension);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(stem + QStringLiteral(" (%1)").arg(n) + extension);
    return path;
}

QString unwrittenTextPath(const QString& folder, const QString& title, const QDateTime& now) {
    return newFilePath(folder, title + u' ' + fileNameStamp(now));
}

QString saveUnwrittenText(const QString& folder, const QString& title, const QString& text,
                          const QDateTime& now, const std::function<bool(QIODevice&)>& before) {
    QSaveFile file(unwrittenTextPath(folder, title, now));
    if (!file.open(QIODevice::WriteOnly) || (before && !before(file)))
        return {};
    // One character stands for one received byte.
    file.write(text.toLatin1());
    return file.commit() ? file.fileName() : QString();
}
