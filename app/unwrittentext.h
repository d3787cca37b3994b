#pragma once

#include <QDateTime>
#include <QString>

// Received text that did not end in the workbook when the capture stopped is kept, exactly as
// received, in a text file of its own in the given folder, named by the title and the time
// ("Celvane unwritten data 2026-06-12 14-05-09.txt"). Returns the file's path, or an empty
// text when the file could not be written.
QString saveUnwrittenText(const QString& folder, const QString& title, const QString& text,
                          const QDateTime& now);
