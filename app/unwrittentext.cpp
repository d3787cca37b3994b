#include "unwrittentext.h"

#include <QDir>
#include <QSaveFile>

QString saveUnwrittenText(const QString& folder, const QString& title, const QString& text,
                          const QDateTime& now) {
    const QDir dir(folder);
    const QString stem = title + u' ' + now.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss"));
    QString path = dir.filePath(stem + QStringLiteral(".txt"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(stem + QStringLiteral(" (%1).txt").arg(n));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    // One character stands for one received byte.
    file.write(text.toLatin1());
    return file.commit() ? path : QString();
}
