#pragma once

#include "captureview.h"

#include <QString>
#include <QtGlobal>

// CSIDL values of the shell's known folders.
namespace Csidl {
constexpr qint32 Personal = 5; // the user's documents folder
} // namespace Csidl

// Result codes of a known-folder query.
namespace FolderCode {
constexpr qint32 Ok = 0;
constexpr qint32 Missing = 1; // the folder does not exist and cannot be made
// The CSIDL value is not one this platform serves (E_INVALIDARG).
constexpr qint32 InvalidArgument = qint32(0x80070057);
} // namespace FolderCode

// Where the platform keeps its known folders.
class FolderQuery {
public:
    virtual ~FolderQuery() = default;
    // FolderCode::Ok with the folder's path (no trailing separator) in path; otherwise
    // FolderCode::Missing or an error code, and path untouched.
    virtual qint32 folderPath(qint32 csidl, QString& path) = 0;
};

// The desktop's own folders: the documents folder is the one the XDG user-dirs file names
// (QStandardPaths::DocumentsLocation). A documents folder that is missing is made.
class SystemFolderQuery final : public FolderQuery {
public:
    qint32 folderPath(qint32 csidl, QString& path) override;
};

// Known-folder lookup for capture start.
class modShell {
public:
    modShell(FolderQuery& folders, CaptureView& view);

    // True with the folder's path for the CSIDL value. False when it does not exist (silent)
    // or on any other failure, which the user is told in a message box first. path keeps its
    // content on failure.
    bool GetFolderPath(qint32 csidl, QString& path);

private:
    FolderQuery& m_folders;
    CaptureView& m_view;
};
