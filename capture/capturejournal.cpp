#include "capturejournal.h"

#include "unwrittentext.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {

const QString kJournalPrefix = QStringLiteral("capture ");
const QString kJournalSuffix = QStringLiteral(".journal");
const QString kInterrupted = QStringLiteral("Celvane interrupted capture ");

const QString kUnwrittenTitle = QStringLiteral("Celvane unwritten data");
const QString kUnrecordedIn = QStringLiteral("Received data that was not recorded is in ");
const QString kUnrecordedLost = QStringLiteral("Received data that was not recorded is LOST.");
const QString kAllIn = QStringLiteral("All received data is in ");

// How often what was appended is pushed to the disk itself.
constexpr qint64 kSyncIntervalMs = 1000;

} // namespace

CaptureJournal::CaptureJournal(QString folder)
    : m_folder(std::move(folder)) {}

QString CaptureJournal::userFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Celvane/journal");
}

bool CaptureJournal::begin(const QDateTime& now) {
    close();
    if (!QDir().mkpath(m_folder))
        return false;
    m_file.setFileName(newFilePath(m_folder, kJournalPrefix + fileNameStamp(now), kJournalSuffix));
    m_sinceSync.start();
    return m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
}

void CaptureJournal::append(const QString& text) {
    if (!m_file.isOpen() || text.isEmpty())
        return;
    // One character stands for one received byte.
    m_file.write(text.toLatin1());
    m_file.flush();
    if (m_sinceSync.elapsed() >= kSyncIntervalMs)
        sync();
}

void CaptureJournal::sync() {
    if (!m_file.isOpen())
        return;
    m_file.flush();
    ::fdatasync(m_file.handle());
    m_sinceSync.restart();
}

void CaptureJournal::keepUnwritten(const QString& text, const QString& documents,
                                   const QDateTime& now) {
    m_documents = documents;
    m_stopped = now;
    m_unwrittenFile =
        text.isEmpty() ? QString() : saveUnwrittenText(documents, kUnwrittenTitle, text, now);
    m_unwrittenLost = !text.isEmpty() && m_unwrittenFile.isEmpty();
}

QString CaptureJournal::finish(bool workbookKept) {
    QString sentence;
    if (workbookKept && !m_unwrittenLost) {
        if (!m_unwrittenFile.isEmpty())
            sentence = kUnrecordedIn + m_unwrittenFile;
        remove();
    } else if (!isOpen()) {
        if (m_unwrittenLost)
            sentence = kUnrecordedLost;
        else if (!m_unwrittenFile.isEmpty())
            sentence = kUnrecordedIn + m_unwrittenFile;
    } else {
        // The workbook is lost: the text file takes everything received, in place of the part
        // that was not written.
        const QString file = m_unwrittenFile.isEmpty()
                                 ? unwrittenTextPath(m_documents, kUnwrittenTitle, m_stopped)
                                 : m_unwrittenFile;
        if (!workbookKept && !m_documents.isEmpty() && copyTo(file)) {
            sentence = kAllIn + file;
            remove();
        } else {
            sentence = kAllIn + path();
            close();
        }
    }
    m_unwrittenFile.clear();
    m_unwrittenLost = false;
    return sentence;
}

bool CaptureJournal::copyTo(const QString& path) {
    m_file.flush();
    QFile journal(m_file.fileName());
    QSaveFile copy(path);
    if (!journal.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly))
        return false;
    copy.write(journal.readAll());
    return copy.commit();
}

void CaptureJournal::remove() {
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
