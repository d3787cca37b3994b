#pragma once

#include <QDateTime>
#include <QIODevice>
#include <QString>

#include <functional>

// Received text that did not end in the workbook when the capture stopped is kept, exactly as
// received, in a text file of its own in the given folder, named by the title and the time
// ("Celvane unwritten data 2026-06-12 14-05-09.txt"). Returns the file's path, or an empty
// text when the file could not be written. Before the text, before() writes what comes first
// when it is given, and returns false when that failed.
QString saveUnwrittenText(const QString& folder, const QString& title, const QString& text,
                          const QDateTime& now, const std::function<bool(QIODevice&)>& before = {});

// Where saveUnwrittenText() would keep text under the title now, with " (2)" and so on before
// the ".txt" when that name is taken.
QString unwrittenTextPath(const QString& folder, const QString& title, const QDateTime& now);

// The time in the names of the files that keep received text: "2026-12-06 14-05-09".
QString fileNameStamp(const QDateTime& time);

// A path for a new file in folder: stem and the extension (".txt"), or stem, " (2)" and the
// extension and so on when that is taken.
QString newFilePath(const QString& folder, const QString& stem,
                    const QString& extension = QStringLiteral(".txt"));
