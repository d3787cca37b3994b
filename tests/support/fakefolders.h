#pragma once

#include "modshell.h"

// Known folders as the test says: one answer for every CSIDL value, or a failure code.
struct FakeFolders final : FolderQuery {
    qint32 folderPath(qint32, QString& path) override {
        path = code == FolderCode::Ok ? answer : path;
        return code;
    }
    qint32 code = FolderCode::Ok;
    QString answer;
};
