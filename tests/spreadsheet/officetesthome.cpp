#include "officetesthome.h"

#include "calcspreadsheet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <cerrno>
#include <csignal>

namespace {

bool runFixtures(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    // Debian's own Python, which has xlrd.
    process.start(QStringLiteral("/usr/bin/python3"),
                  QStringList{QStringLiteral(CELVANE_FIXTURES_SCRIPT)} + arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning("fixtures.py %s: %s", qPrintable(arguments.join(u' ')),
                 process.readAllStandardError().constData());
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

} // namespace

OfficeTestHome::OfficeTestHome() {
    const QString home = m_dir.path();
    for (const char* folder : {"config", "data", "cache", "runtime", "Documents"})
        QDir(home).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(home + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/data")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home + QStringLiteral("/cache")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home + QStringLiteral("/runtime")));
    qputenv("CELVANE_HEADLESS", "1");
}

bool OfficeTestHome::prepareProfile() const {
    CalcSpreadsheet app(options());
    return app.start().ok() && app.quit().ok();
}

QString masterWorkbook() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/spreadsheet.xls");
}

WorkbookId openMasterCopy(SpreadsheetApp& app, const QString& path) {
    QFile::remove(path);
    if (!QFile::copy(masterWorkbook(), path) ||
        !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner))
        return 0;
    const Result<WorkbookId> opened = app.open(path);
    return opened.ok() ? opened.value : 0;
}

bool makeMacroBook(const QString& path) {
    return runFixtures({QStringLiteral("macrobook"), path});
}

bool makeUserMacros(const QString& profileDir, const QString& mark) {
    return runFixtures({QStringLiteral("usermacros"), profileDir, mark});
}

std::optional<QList<SheetCells>> readXls(const QString& path) {
    QByteArray output;
    if (!runFixtures({QStringLiteral("readxls"), path}, &output))
        return std::nullopt;
    QList<SheetCells> sheets;
    for (const QJsonValue sheet : QJsonDocument::fromJson(output).array()) {
        SheetCells cells;
        for (const QJsonValue entry : sheet.toArray()) {
            const QJsonArray cell = entry.toArray();
            const QPair<int, int> at{cell.at(0).toInt(), cell.at(1).toInt()};
            if (cell.at(2).toString() == u"number")
                cells.insert(at, cell.at(3).toDouble());
            else
                cells.insert(at, cell.at(3).toString());
        }
        sheets << cells;
    }
    return sheets;
}

bool processGone(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) == -1 && errno == ESRCH;
}
