#pragma once

#include <QByteArray>
#include <QString>

// The lock file the office keeps beside a document it has open (".~lock.NAME#" in the same
// folder): one line "author,system user,host,date,profile address;". An office that was
// killed leaves it behind, and the next open would stop at the office's question whether to
// open the document read-only.

// The lock file of the document.
QString lockFilePath(const QString& documentPath);
// The lock was written by an office that used the profile at profileUrl.
bool isLockOf(const QByteArray& lockContent, const QString& profileUrl);
// Removes the document's lock when an office with our profile wrote it. Call it only while no
// office of ours has that document open. True when a lock was removed.
bool removeOwnLock(const QString& documentPath, const QString& profileUrl);
