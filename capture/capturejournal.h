#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class QThread;

// The received text of one capture on disk, byte for byte as it arrives and before it goes to
// the spreadsheet, so that a program, an office or a machine that goes down takes none of it
// along. A capture that ends normally removes its journal once everything received is in a
// saved file; one found in the journal folder at a later start belongs to a capture that was
// interrupted. A journal that a write failed to is incomplete: it is never taken for, or called,
// the record of everything received.
class CaptureJournal : public QObject {
    Q_OBJECT
public:
    explicit CaptureJournal(QString folder);
    ~CaptureJournal() override;

    // The journal folder of this user: ~/.local/share/Celvane/journal.
    static QString userFolder();

    // Opens a new, empty journal for a capture that begins at now. False when it cannot be
    // written; the capture then has none.
    bool begin(const QDateTime& now);
    QString folder() const { return m_folder; }
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }

    // How many bytes the journal holds: where the next append() begins.
    qint64 size() const { return m_file.pos(); }
    // Open and no write failed: it holds every byte appended, each where size() said.
    bool complete() const { return isOpen() && m_trouble.isEmpty(); }

    // Appends received text, one byte per character, and hands it to the system at once; what
    // is appended reaches the disk itself within a second, also when nothing follows it, pushed
    // there beside the window, which never waits for the disk.
    void append(const QString& text);
    // Makes sure everything appended is on the disk, and waits for it.
    void sync();
    bool allOnDisk() const { return !m_unsynced; }
    // Why received data is not kept on disk since a write or sync failed ("Received data is NOT
    // kept on disk: " and the reason); empty while all is well.
    QString trouble() const { return m_trouble; }

    // A part of the received text at Stop: a text, or length bytes of the journal from
    // journalFrom on, where text too long to be held in memory waits.
    struct Piece {
        QString text;
        qint64 journalFrom = 0;
        qint64 length = 0;
    };
    // Stop, before the spreadsheet's part of it, so that a step that hangs later has kept it
    // already: received text that could not be written into the workbook, its pieces one after
    // the other, and the parts of lines wider than the worksheet, are kept in text files of their
    // own in documents (saveUnwrittenText()).
    void keepUnwritten(const QList<Piece>& unwritten, const QString& overflow,
                       const QString& documents, const QDateTime& now);
    // Stop, once the spreadsheet has ended, its workbook kept or not. The value tells the user
    // where the received text is (empty when it is all in the workbook). The journal goes once
    // all it holds is in files. Where part of it is in no file, a complete journal stands in for
    // it: it takes the place of the unwritten text when the workbook is lost, and otherwise stays,
    // closed, for the next start. An incomplete one is kept as part of the received data only.
    QString finish(bool workbookKept);

    // The session ended during a capture: what the next start tells the user (where the
    // workbook or the received text went).
    void leaveNote(const QString& text) const;
    // The note left by the last session's end, removed; empty when there is none.
    static QString takeNote(const QString& folder);

    // Whether the folder holds journals of captures that did not end normally.
    static bool anyInterrupted(const QString& folder);
    // Moves every journal that an interrupted capture left in the folder to documents, as
    // "Celvane interrupted capture DATE TIME.txt" (the time the capture began), exactly as
    // received; an empty one is only removed. Returns the new paths; a journal that cannot be
    // moved stays.
    static QStringList recoverInterrupted(const QString& folder, const QString& documents);

signals:
    // A write or sync failed just now; see trouble().
    void writeFailed();

private:
    // Text kept in a file at Stop: where, or that it could not be kept.
    struct Kept {
        QString file;
        bool lost = false;
    };
    Kept keep(const QList<Piece>& pieces, const QString& title) const;
    // Writes the pieces one after the other, those of the journal read from it in parts.
    bool copyPieces(const QList<Piece>& pieces, QIODevice& to) const;
    // The journal in place of what is lost; the sentence that says where it is.
    QString standIn(bool workbookKept);
    void fail(const QString& reason);
    // Pushes what was appended to the disk on a thread of its own; one push at a time.
    void syncBeside();
    // The push given (by its count) ended beside the window; it covered the appends up to the
    // count given.
    void syncedBeside(quint64 push, quint64 appends);
    // Waits for the push under way, if any, and tells a failure.
    void awaitSyncBeside();
    bool copyTo(const QString& path);
    void remove();
    void close();

    QString m_folder;
    QFile m_file;
    QElapsedTimer m_sinceSync;
    QTimer m_syncTimer;
    bool m_unsynced = false;
    quint64 m_appends = 0;
    quint64 m_pushes = 0;
    std::unique_ptr<QThread> m_syncer; // the push under way
    int m_syncError = 0;               // its errno; 0 when it succeeded
    QString m_trouble;
    // Set by keepUnwritten() for finish().
    QString m_documents;
    QDateTime m_stopped;
    Kept m_unwritten;
    Kept m_overflow;
};
