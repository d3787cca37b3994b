#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

// The received text of one capture on disk, byte for byte as it arrives and before it goes to
// the spreadsheet, so that a program, an office or a machine that goes down takes none of it
// along. A capture that ends normally removes its journal once everything received is in a
// saved file; one found in the journal folder at a later start belongs to a capture that was
// interrupted.
class CaptureJournal {
public:
    explicit CaptureJournal(QString folder);

    // The journal folder of this user: ~/.local/share/Celvane/journal.
    static QString userFolder();

    // Opens a new, empty journal for a capture that begins at now. False when it cannot be
    // written; the capture then has none.
    bool begin(const QDateTime& now);
    QString folder() const { return m_folder; }
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }

    // Appends received text, one byte per character, and hands it to the system at once; what
    // is appended reaches the disk itself at least once a second.
    void append(const QString& text);
    // Makes sure everything appended is on the disk.
    void sync();

    // Stop, before the spreadsheet's part of it, so that a step that hangs later has kept it
    // already: received text that could not be written into the workbook is kept in a text
    // file of its own in documents (saveUnwrittenText()).
    void keepUnwritten(const QString& text, const QString& documents, const QDateTime& now);
    // Stop, once the spreadsheet has ended, its workbook kept or not: when the workbook is
    // lost, that text file takes everything received instead. The journal goes once all it
    // holds is in a file; where a file cannot be written it stays, closed, for the next start.
    // The value is the sentence that tells the user where the received text is (empty when it
    // is all in the workbook).
    QString finish(bool workbookKept);

    // Whether the folder holds journals of captures that did not end normally.
    static bool anyInterrupted(const QString& folder);
    // Moves every journal that an interrupted capture left in the folder to documents, as
    // "Celvane interrupted capture DATE TIME.txt" (the time the capture began), exactly as
    // received; an empty one is only removed. Returns the new paths; a journal that cannot be
    // moved stays.
    static QStringList recoverInterrupted(const QString& folder, const QString& documents);

private:
    bool copyTo(const QString& path);
    void remove();
    void close();

    QString m_folder;
    QFile m_file;
    QElapsedTimer m_sinceSync;
    // Set by keepUnwritten() for finish().
    QString m_documents;
    QDateTime m_stopped;
    QString m_unwrittenFile; // empty when there was nothing to keep, or it could not be kept
    bool m_unwrittenLost = false;
};
