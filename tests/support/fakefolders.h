#pragma once

#include "modshell.h"

// Known folders as the test says: one answer for every CSIDL value, or a failure code.
class FakeFolders final : public FolderQuery {
public:
    qint32 folderPath(qint32, QString& path) override {
        if (code == FolderCode::Ok)
            path = answer;
        return code;
    }
    qint32 code = FolderCode::Ok;
    QString answer;
};
