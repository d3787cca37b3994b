#include "officetesthome.h"

#include "calcspreadsheet.h"

#include <QCoreApplication>
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
    process.start(u"/usr/bin/python3"_s, QStringList{CELVANE_FIXTURES_SCRIPT} + arguments);
    const bool ran = process.waitForFinished(600000) &&
                     process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ran)
        qWarning("fixtures.py %s: %s", qPrintable(arguments.join(u' ')),
                 process.readAllStandardError().constData());
    else if (output)
        *output = process.readAllStandardOutput();
    return ran;
}

} // namespace

OfficeTestHome::OfficeTestHome()
    : m_dir(QDir::tempPath() + u"/celvane.home-XXXXXX"_s) {
    const QDir home(m_dir.path());
    qputenv("HOME", QFile::encodeName(home.path()));
    home.mkpath(u"Documents"_s);
    for (const auto& [variable, folder] : {std::pair{"XDG_CONFIG_HOME", "config"},
                                           {"XDG_DATA_HOME", "data"},
                                           {"XDG_CACHE_HOME", "cache"},
                                           {"XDG_RUNTIME_DIR", "runtime"}}) {
        home.mkpath(QLatin1String(folder));
        qputenv(variable, QFile::encodeName(home.filePath(QLatin1String(folder))));
    }
    QFile::setPermissions(home.filePath(u"runtime"_s),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("CELVANE_HEADLESS", "1");
    CalcSpreadsheet app(options());
    m_ready = m_dir.isValid() && app.start().ok() && app.quit().ok() &&
              runFixtures({u"usermacros"_s, options().profileDir, file(u"ran"_s)}) &&
              runFixtures({u"macrobook"_s, file(u"macros.ods"_s)});
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
    QByteArray output;
    QList<SheetCells> sheets;
    if (!runFixtures({u"readxls"_s, path}, &output))
        return sheets;
    // Sheets, each a list of [row, column, value]: a JSON number for a number, else a string.
    for (const QJsonValue sheet : QJsonDocument::fromJson(output).array()) {
        SheetCells& cells = sheets.emplaceBack();
        for (const QJsonValue cell : sheet.toArray())
            cells.insert({cell[0].toInt(), cell[1].toInt()},
                         cell[2].isDouble() ? QVariant(cell[2].toDouble()) : cell[2].toString());
    }
    return sheets;
}

QList<pid_t> officeProcesses() {
    QList<pid_t> offices;
    for (const QString& entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/%1/stat"_s.arg(entry));
        // "pid (name) state ppid ...": the name may hold blanks, so read on from its last ")".
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (line.contains("(soffice.bin)") && rest.size() > 1 && rest.at(1).toInt() == ::getpid())
            offices << entry.toInt();
    }
    return offices;
}
