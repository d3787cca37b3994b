#include "processes.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <unistd.h>

namespace {

QByteArray readProc(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QList<pid_t> officeProcesses() {
    QList<pid_t> offices;
    const QString self = QString::number(::getpid());
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        // "pid (name) state ppid ...": the name may hold blanks, so read from its last ")".
        const QString stat =
            QString::fromUtf8(readProc(QStringLiteral("/proc/%1/stat").arg(entry)));
        const qsizetype open = stat.indexOf(u'(');
        const qsizetype close = stat.lastIndexOf(u')');
        if (open < 0 || close < open)
            continue;
        const QString name = stat.mid(open + 1, close - open - 1);
        const QStringList rest = stat.mid(close + 2).split(u' ');
        if (name == QLatin1String("soffice.bin") && rest.size() > 1 && rest.at(1) == self)
            offices << pid;
    }
    return offices;
}

qint64 peakMemoryKiB(pid_t pid) {
    const QString status =
        QString::fromLatin1(readProc(pid == 0 ? QStringLiteral("/proc/self/status")
                                              : QStringLiteral("/proc/%1/status").arg(pid)));
    static const QRegularExpression peak(QStringLiteral(R"(^VmHWM:\s+(\d+) kB$)"),
                                         QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = peak.match(status);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

bool resetPeakMemory() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}
