#include "modshell.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

qint32 SystemFolderQuery::folderPath(qint32 csidl, QString& path) {
    if (csidl != Csidl::Personal)
        return FolderCode::InvalidArgument;
    const QString location = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (location.isEmpty())
        return FolderCode::Missing;
    // A new account may not have the folder yet; the desktop would make it on first use too.
    if (!QDir().mkpath(location) || !QFileInfo(location).isDir())
        return FolderCode::Missing;
    path = QDir::toNativeSeparators(QDir::cleanPath(location));
    return FolderCode::Ok;
}

modShell::modShell(FolderQuery& folders, CaptureView& view)
    : m_folders(folders)
    , m_view(view) {}

bool modShell::GetFolderPath(qint32 csidl, QString& path) {
    QString found;
    const qint32 code = m_folders.folderPath(csidl, found);
    if (code == FolderCode::Ok) {
        path = found;
        return true;
    }
    if (code != FolderCode::Missing)
        m_view.showMessage(
            QStringLiteral("Failure in modShell:GetFolderPath"),
            QStringLiteral("Error code: %1 returned for CSIDL value: %2").arg(code).arg(csidl));
    return false;
}
