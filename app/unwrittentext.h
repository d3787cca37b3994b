#pragma once

#include <QDateTime>
#include <QString>

// Received text that could not be written into the workbook when the capture stopped is kept,
// exactly as received, in a text file of its own in the given folder. Returns the file's path,
// or an empty text when the file could not be written.
QString saveUnwrittenText(const QString& folder, const QString& text, const QDateTime& now);

// Where saveUnwrittenText() would keep text now: "Celvane unwritten data DATE TIME.txt", with
// " (2)" and so on before the ".txt" when that is taken.
QString unwrittenTextPath(const QString& folder, const QDateTime& now);

// The time in the names of the files that keep received text: "2026-12-06 14-05-09".
QString fileNameStamp(const QDateTime& time);

// A path for a new text file in folder: stem + ".txt", or stem + " (2).txt" and so on when that
// is taken.
QString newTextFilePath(const QString& folder, const QString& stem);
