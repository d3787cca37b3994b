#include "officetesthome.h"

#include "calcspreadsheet.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QStringList fixtures{u"/usr/bin/python3"_s, CELVANE_FIXTURES_SCRIPT};

// What the command printed, its errors passed on; none when it failed.
std::optional<QByteArray> output(QStringList command) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

} // namespace

OfficeTestHome::OfficeTestHome()
    : m_dir(QDir::tempPath() + u"/celvane.home-XXXXXX"_s) {
    const QDir home(m_dir.path());
    qputenv("HOME", QFile::encodeName(home.path()));
    home.mkpath(u"Documents"_s);
    for (const char* folder : {"CONFIG_HOME", "DATA_HOME", "CACHE_HOME", "RUNTIME_DIR"}) {
        home.mkpath(QLatin1String(folder));
        qputenv("XDG_" + QByteArray(folder),
                QFile::encodeName(home.filePath(QLatin1String(folder))));
    }
    QFile::setPermissions(home.filePath(u"RUNTIME_DIR"_s),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("CELVANE_HEADLESS", "1");
    CalcSpreadsheet app(options());
    m_ready =
        m_dir.isValid() && app.start().ok() && app.quit().ok() &&
        output(fixtures + QStringList{u"usermacros"_s, options().profileDir, file(u"ran"_s)}) &&
        output(fixtures + QStringList{u"macrobook"_s, file(u"macros.ods"_s)});
}

WorkbookId OfficeTestHome::openMasterCopy(SpreadsheetApp& app, const QString& name) const {
    const QString path = file(name);
    QFile::remove(path);
    if (!QFile::copy(QCoreApplication::applicationDirPath() + u"/spreadsheet.xls"_s, path) ||
        !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner))
        return 0;
    const Result<WorkbookId> opened = app.open(path);
    return opened.ok() ? opened.value : 0;
}

QList<SheetCells> readXls(const QString& path) {
    QList<SheetCells> sheets;
    const QByteArray json =
        output(fixtures + QStringList{u"readxls"_s, path}).value_or(QByteArray());
    for (const QJsonValue sheet : QJsonDocument::fromJson(json).array()) {
        SheetCells& cells = sheets.emplaceBack();
        for (const QJsonValue cell : sheet.toArray())
            cells.insert({cell[0].toInt(), cell[1].toInt()},
                         cell[2].isDouble() ? QVariant(cell[2].toDouble())
                         : cell[2].isObject()
                             ? QVariant(QDateTime::fromString(cell[2][u"date"_s].toString(),
                                                              Qt::ISODateWithMs))
                             : QVariant(cell[2].toString()));
    }
    return sheets;
}

QList<pid_t> officeProcesses() {
    QList<pid_t> offices; // pgrep also lists those killed but not yet reaped
    const QStringList pgrep{u"pgrep"_s, u"-xP"_s, QString::number(::getpid()), u"soffice.bin"_s};
    for (const QByteArray& pid : output(pgrep).value_or(QByteArray()).split('\n'))
        if (!pid.isEmpty())
            offices << pid.toInt();
    return offices;
}
