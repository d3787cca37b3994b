#pragma once

#include <QDateTime>
#include <QString>

// Received text that could not be written into the workbook when the capture stopped is kept,
// exactly as received, in a text file of its own in the given folder. Returns the file's path,
// or an empty text when the file could not be written.
QString saveUnwrittenText(const QString& folder, const QString& text, const QDateTime& now);
