#include "officetesthome.h"

#include "calcspreadsheet.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool runFixtures(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"),
                  QStringList{QStringLiteral(CELVANE_FIXTURES_SCRIPT)} + arguments);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit ||
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

OfficeTestHome::OfficeTestHome()
    : m_dir(QDir::tempPath() + QStringLiteral("/celvane.home-XXXXXX")) {
    const QString home = m_dir.path();
    for (const char* folder : {"config", "data", "cache", "runtime", "Documents"})
        QDir(home).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(home + u"/runtime"_s,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + u"/config"_s));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + u"/data"_s));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home + u"/cache"_s));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home + u"/runtime"_s));
    qputenv("CELVANE_HEADLESS", "1");
    CalcSpreadsheet app(options());
    m_ready = m_dir.isValid() && app.start().ok() && app.quit().ok() &&
              runFixtures({QStringLiteral("usermacros"), options().profileDir, file("ran")}) &&
              runFixtures({QStringLiteral("macrobook"), file("macros.ods")});
}

WorkbookId OfficeTestHome::openMasterCopy(SpreadsheetApp& app, const QString& name) const {
    const QString path = file(name);
    QFile::remove(path);
    if (!QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/spreadsheet.xls"),
                     path) ||
        !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner))
        return 0;
    const Result<WorkbookId> opened = app.open(path);
    return opened.ok() ? opened.value : 0;
}

QList<SheetCells> readXls(const QString& path) {
    QByteArray output;
    QList<SheetCells> sheets;
    if (!runFixtures({QStringLiteral("readxls"), path}, &output))
        return sheets;
    for (const QJsonValue sheet : QJsonDocument::fromJson(output).array()) {
        SheetCells& cells = sheets.emplaceBack();
        for (const QJsonValue entry : sheet.toArray()) {
            const QJsonArray cell = entry.toArray();
            const QPair<int, int> at{cell.at(0).toInt(), cell.at(1).toInt()};
            if (cell.at(2).toString() == u"number")
                cells.insert(at, cell.at(3).toDouble());
            else
                cells.insert(at, cell.at(3).toString());
        }
    }
    return sheets;
}

QString firstDifference(const QList<SheetCells>& actual, const QList<SheetCells>& expected) {
    if (actual.size() != expected.size())
        return QStringLiteral("%1 sheets where %2 were due")
            .arg(actual.size())
            .arg(expected.size());
    for (qsizetype sheet = 0; sheet < expected.size(); ++sheet) {
        SheetCells both = expected[sheet];
        both.insert(actual[sheet]);
        for (auto cell = both.cbegin(); cell != both.cend(); ++cell) {
            const QVariant due = expected[sheet].value(cell.key());
            const QVariant found = actual[sheet].value(cell.key());
            if (found.typeId() == due.typeId() && found == due)
                continue;
            QString text;
            QDebug(&text).nospace() << "sheet " << sheet + 1 << " cell " << cell.key() << ": "
                                    << found << " where " << due << " was due";
            return text;
        }
    }
    return {};
}

QList<pid_t> officeProcesses() {
    QList<pid_t> offices;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks, so read on from its last ")".
        const QByteArray line = stat.readAll();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (line.contains("(soffice.bin)") && rest.size() > 1 && rest.at(1).toInt() == ::getpid())
            offices << entry.toInt();
    }
    return offices;
}
