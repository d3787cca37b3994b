#include "capturejournal.h"

#include "offthread.h"
#include "unwrittentext.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

#include <unistd.h>

namespace {

const QString kJournalPrefix = QStringLiteral("capture ");
const QString kJournalSuffix = QStringLiteral(".journal");
const QString kInterrupted = QStringLiteral("Celvane interrupted capture ");
const QString kNoteName = QStringLiteral("last stop.txt");
const QString kNotKept = QStringLiteral("Received data is NOT kept on disk: ");

const QString kUnwrittenTitle = QStringLiteral("Celvane unwritten data");
const QString kOverflowTitle = QStringLiteral("Celvane overflow");
const QString kPartTitle = QStringLiteral("Celvane part of received data");
const QString kUnrecordedIn = QStringLiteral("Received data that was not recorded is in ");
const QString kUnrecordedLost = QStringLiteral("Received data that was not recorded is LOST.");
const QString kOverflowIn = QStringLiteral("Received text that did not fit the worksheet is in ");
const QString kOverflowLost =
    QStringLiteral("Received text that did not fit the worksheet is LOST.");
const QString kAllIn = QStringLiteral("All received data is in ");
const QString kPartIn = QStringLiteral("Part of the received data is in ");

// How often what was appended is pushed to the disk itself.
constexpr int kSyncIntervalMs = 1000;
// How much of the journal a copy holds in memory at a time.
constexpr qint64 kCopyChunk = 1 << 20;

// Where text kept at Stop is, or that it is lost; empty when there was none.
QString told(const QString& file, bool lost, const QString& in, const QString& lostText) {
    return lost ? lostText : file.isEmpty() ? QString() : in + file;
}

} // namespace

CaptureJournal::CaptureJournal(QString folder)
    : m_folder(std::move(folder)) {
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(kSyncIntervalMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &CaptureJournal::syncBeside);
}

CaptureJournal::~CaptureJournal() {
    awaitSyncBeside();
}

QString CaptureJournal::userFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Celvane/journal");
}

bool CaptureJournal::begin(const QDateTime& now) {
    close();
    m_trouble.clear();
    m_unsynced = false;
    if (!QDir().mkpath(m_folder))
        return false;
    m_file.setFileName(newFilePath(m_folder, kJournalPrefix + fileNameStamp(now), kJournalSuffix));
    m_sinceSync.start();
    // Unbuffered: a write that fails is known at once, and nothing is written later out of order.
    return m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
}

void CaptureJournal::append(const QString& text) {
    if (!m_file.isOpen() || text.isEmpty())
        return;
    // One character stands for one received byte.
    const QByteArray bytes = text.toLatin1();
    if (m_file.write(bytes) != bytes.size())
        fail(m_file.errorString());
    m_unsynced = true;
    ++m_appends;
    if (m_sinceSync.elapsed() >= kSyncIntervalMs)
        syncBeside();
    else if (!m_syncTimer.isActive())
        m_syncTimer.start();
}

void CaptureJournal::sync() {
    awaitSyncBeside();
    m_syncTimer.stop();
    if (!m_file.isOpen())
        return;
    if (::fdatasync(m_file.handle()) == 0)
        m_unsynced = false;
    else
        fail(qt_error_string(errno));
    m_sinceSync.restart();
}

void CaptureJournal::syncBeside() {
    m_syncTimer.stop();
    if (!m_file.isOpen() || m_syncer)
        return; // the push under way looks again when it ends
    m_sinceSync.restart();
    m_syncer.reset(QThread::create(
        [this, file = m_file.handle()] { m_syncError = ::fdatasync(file) == 0 ? 0 : errno; }));
    connect(m_syncer.get(), &QThread::finished, this,
            [this, push = ++m_pushes, appends = m_appends] { syncedBeside(push, appends); });
    m_syncer->start();
}

void CaptureJournal::syncedBeside(quint64 push, quint64 appends) {
    if (!m_syncer || push != m_pushes)
        return; // a sync() took it over
    awaitSyncBeside();
    if (m_syncError == 0 && appends == m_appends)
        m_unsynced = false;
    else if (m_syncError == 0 && !m_syncTimer.isActive())
        m_syncTimer.start(); // appended meanwhile
}

void CaptureJournal::awaitSyncBeside() {
    if (!m_syncer)
        return;
    m_syncer->wait();
    m_syncer.reset();
    if (m_syncError != 0)
        fail(qt_error_string(m_syncError));
}

void CaptureJournal::fail(const QString& reason) {
    // The first reason stays in view.
    if (m_trouble.isEmpty())
        m_trouble = kNotKept + reason;
    emit writeFailed();
}

void CaptureJournal::keepUnwritten(const QList<Piece>& unwritten, const QString& overflow,
                                   const QString& documents, const QDateTime& now) {
    m_documents = documents;
    m_stopped = now;
    // Long texts take a while to write: the window goes on answering meanwhile.
    runOffThread([&] {
        m_unwritten = keep(unwritten, kUnwrittenTitle);
        m_overflow = keep({{overflow}}, kOverflowTitle);
    });
}

CaptureJournal::Kept CaptureJournal::keep(const QList<Piece>& pieces, const QString& title) const {
    if (std::ranges::all_of(
            pieces, [](const Piece& piece) { return piece.text.isEmpty() && piece.length == 0; }))
        return {};
    const QString file =
        m_documents.isEmpty()
            ? QString()
            : saveUnwrittenText(m_documents, title, QString(), m_stopped,
                                [&](QIODevice& to) { return copyPieces(pieces, to); });
    return {file, file.isEmpty()};
}

bool CaptureJournal::copyPieces(const QList<Piece>& pieces, QIODevice& to) const {
    QFile journal(m_file.fileName());
    for (const Piece& piece : pieces) {
        // One character stands for one received byte.
        if (!piece.text.isEmpty() && to.write(piece.text.toLatin1()) != piece.text.size())
            return false;
        if (piece.length == 0)
            continue;
        if ((!journal.isOpen() && !journal.open(QIODevice::ReadOnly)) ||
            !journal.seek(piece.journalFrom))
            return false;
        for (qint64 left = piece.length; left > 0;) {
            const QByteArray part = journal.read(qMin(left, kCopyChunk));
            if (part.isEmpty() || to.write(part) != part.size())
                return false;
            left -= part.size();
        }
    }
    return true;
}

QString CaptureJournal::finish(bool workbookKept) {
    const bool lost = !workbookKept || m_unwritten.lost || m_overflow.lost;
    // A complete journal that stands in tells of everything received at once.
    const bool whole = isOpen() && m_trouble.isEmpty() && lost;
    QStringList sentences;
    if (!whole)
        sentences << told(m_unwritten.file, m_unwritten.lost, kUnrecordedIn, kUnrecordedLost);
    if (!whole || !m_overflow.lost)
        sentences << told(m_overflow.file, m_overflow.lost, kOverflowIn, kOverflowLost);
    if (isOpen() && lost)
        sentences << standIn(workbookKept);
    else
        remove();
    m_unwritten = m_overflow = {};
    sentences.removeAll(QString());
    return sentences.join(u' ');
}

QString CaptureJournal::standIn(bool workbookKept) {
    const bool complete = m_trouble.isEmpty();
    // Complete, it replaces the file of the unwritten text, which it holds too.
    const QString file =
        complete && !m_unwritten.file.isEmpty()
            ? m_unwritten.file
            : unwrittenTextPath(m_documents, complete ? kUnwrittenTitle : kPartTitle, m_stopped);
    const bool copied = !workbookKept && !m_documents.isEmpty() && copyTo(file);
    const QString where = copied ? file : path();
    copied ? remove() : close();
    return (complete ? kAllIn : kPartIn) + where;
}

void CaptureJournal::leaveNote(const QString& text) const {
    QSaveFile note(QDir(m_folder).filePath(kNoteName));
    if (!text.isEmpty() && QDir().mkpath(m_folder) && note.open(QIODevice::WriteOnly)) {
        note.write(text.toUtf8());
        note.commit();
    }
}

QString CaptureJournal::takeNote(const QString& folder) {
    QFile note(QDir(folder).filePath(kNoteName));
    if (folder.isEmpty() || !note.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(note.readAll());
    note.remove();
    return text;
}

bool CaptureJournal::copyTo(const QString& path) {
    bool copied = false;
    const Piece whole{QString(), 0, m_file.size()};
    // A journal may be large: it is copied piece by piece while the window goes on answering.
    runOffThread([this, &copied, &whole, &path] {
        QSaveFile copy(path);
        copied = copy.open(QIODevice::WriteOnly) && copyPieces({whole}, copy) && copy.commit();
    });
    return copied;
}

void CaptureJournal::remove() {
    awaitSyncBeside(); // its file goes
    if (m_file.isOpen())
        m_file.remove();
}

void CaptureJournal::close() {
    if (m_file.isOpen())
        sync();
    m_file.close();
}

namespace {

QFileInfoList journalsIn(const QString& folder) {
    if (folder.isEmpty())
        return {};
    return QDir(folder).entryInfoList({kJournalPrefix + u'*' + kJournalSuffix}, QDir::Files,
                                      QDir::Name);
}

} // namespace

bool CaptureJournal::anyInterrupted(const QString& folder) {
    return !journalsIn(folder).isEmpty();
}

QStringList CaptureJournal::recoverInterrupted(const QString& folder, const QString& documents) {
    QStringList recovered;
    for (const QFileInfo& journal : journalsIn(folder)) {
        if (journal.size() == 0) {
            QFile::remove(journal.filePath());
            continue;
        }
        const QString began =
            journal.fileName().mid(kJournalPrefix.size()).chopped(kJournalSuffix.size());
        const QString target = newFilePath(documents, kInterrupted + began);
        if (QFile::rename(journal.filePath(), target))
            recovered << target;
    }
    return recovered;
}
