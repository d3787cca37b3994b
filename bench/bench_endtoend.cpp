// The whole chain under load: celvane-instrument plays ORVA lines as fast as each line speed
// carries them, for a fixed time, into the program (started through its entry routine, in
// this process) with a LibreOffice of its own; Stop saves the workbook, which an independent
// reader reads back. For each speed it prints the lines sent per second, the lines landed in
// the saved workbook per second (from the first line sent until the last one was written),
// the backlog when the instrument ended, lines lost and doubled, the time from Stop, pressed as
// soon as the instrument ended with the backlog still waiting, to the question for a new name,
// the longest time between two turns of the program's event loop (from Start until the office
// has ended, and the longest of each part: before Stop, to the question, to the office's end),
// and the peak memory of the program and of its office.
//
//   bench_endtoend [--seconds S] [--bauds 9600,115200,921600] [--visible] [--flood] [--time]
//                  [--uart] [--pause-office MS]
//
// --visible shows the office's window on the current display; --flood adds a run in which
// the instrument writes 60,000 lines as fast as the pseudo-terminal takes them. --time turns the
// port's time of arrival on and adds how late each row's time is after the instrument's write of
// its line (median, 99th percentile and most), from the times the instrument logs. --uart plays
// the line speeds on a line that loses what a real serial line's kernel cannot hold (68 KB) and
// adds the bytes it lost: a pseudo-terminal pair makes its writer wait while the program does not
// read, a real line does not. --pause-office stops the office (SIGSTOP) halfway through the
// sending time for that many milliseconds.

#include "frmmain.h"
#include "officetesthome.h"
#include "orvarows.h"
#include "programrun.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr qint64 kOrvaLineBytes = 50;
constexpr int kBitsPerByte = 10; // start bit, eight data bits, stop bit
// A flood: the lines offered (less than a worksheet holds, so the saved workbook reads back
// quickly), and a line speed that makes no pause worth waiting for.
constexpr qint64 kFloodLines = 60000;
constexpr int kFloodBaud = 1000000000;

// The peak resident memory of a process (VmHWM) in KiB; -1 when it cannot be read. 0 is this
// process.
qint64 peakMemoryKiB(pid_t pid = 0) {
    QFile file(pid == 0 ? QStringLiteral("/proc/self/status")
                        : QStringLiteral("/proc/%1/status").arg(pid));
    const QString status =
        QString::fromLatin1(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    static const QRegularExpression peak(QStringLiteral(R"(^VmHWM:\s+(\d+) kB$)"),
                                         QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = peak.match(status);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

// Starts this process's peak resident memory anew from what it uses now; false when the
// system refuses.
bool resetPeakMemory() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// True when none of the processes runs any more (ended, reaped or not).
bool ended(const QList<pid_t>& processes) {
    return std::ranges::all_of(processes, [](pid_t pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return true;
        const QByteArray fields = stat.readAll();
        return fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
    });
}

// Watches the program from start() until its office has ended: the longest time between two
// turns of the event loop (within the watching timer's 10 ms, modal dialogs' loops included),
// when the first modal dialog showed and the office's peak memory then, and when the last
// bytes were written. The dialog is seen as it shows: one answered at once may be gone before
// the timer's next turn.
class EventLoopWatch final : public QObject {
public:
    EventLoopWatch(const ProgramRun& run, const QList<pid_t>& offices)
        : m_run(run)
        , m_offices(offices) {}

    void start() {
        turn.start();
        timer.callOnTimeout([this] { look(); });
        timer.start(10);
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !modalAt && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isModal()) {
            modalAt = std::chrono::steady_clock::now();
            look();
            if (!m_offices.isEmpty())
                officePeakKiB = peakMemoryKiB(m_offices.first());
        }
        return false;
    }

    bool officeEnded() const { return !timer.isActive(); }

    QTimer timer;
    QElapsedTimer turn;
    qint64 longestGapMs = 0;
    // The same before Stop, from Stop to the question, and from the question to the office's end.
    bool stopping = false;
    qint64 gapBeforeStopMs = 0;
    qint64 gapToQuestionMs = 0;
    qint64 gapToEndMs = 0;
    std::optional<std::chrono::steady_clock::time_point> modalAt;
    std::chrono::steady_clock::time_point writtenAt;
    qint64 officePeakKiB = -1;

private:
    void look() {
        const qint64 gap = turn.restart();
        longestGapMs = qMax(longestGapMs, gap);
        qint64& phase = !stopping ? gapBeforeStopMs : !modalAt ? gapToQuestionMs : gapToEndMs;
        phase = qMax(phase, gap);
        if (m_run.window()) {
            if (const qint64 written = m_run.bytesWritten(); written > m_written) {
                m_written = written;
                writtenAt = std::chrono::steady_clock::now();
            }
        }
        if (modalAt && ended(m_offices))
            timer.stop();
    }

    const ProgramRun& m_run;
    const QList<pid_t> m_offices;
    qint64 m_written = 0;
};

// Stops the processes for a time, after a delay, on a thread of its own: the event loop may
// be held in a call to them meanwhile.
class Pause {
public:
    Pause(const QList<pid_t>& processes, std::chrono::milliseconds after,
          std::chrono::milliseconds length) {
        if (length.count() <= 0)
            return;
        m_thread = std::thread([=] {
            std::this_thread::sleep_for(after);
            for (const pid_t pid : processes)
                ::kill(pid, SIGSTOP);
            std::this_thread::sleep_for(length);
            for (const pid_t pid : processes)
                ::kill(pid, SIGCONT);
        });
    }
    ~Pause() {
        if (m_thread.joinable())
            m_thread.join();
    }
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;

private:
    std::thread m_thread;
};

// How late the rows' times are after the instrument's writes of their lines, in milliseconds.
struct Lateness {
    qint64 median = -1;
    qint64 p99 = -1;
    qint64 most = -1;
};

// The time of the write of each line sent, from the instrument's log of its writes (the time in
// milliseconds since the epoch, the first and the last line); empty when the log is unreadable.
QList<qint64> writeTimes(const QString& log, qint64 sent) {
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QList<qint64> times(sent, -1);
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.size() != 3)
            return {};
        for (qint64 line = fields[1].toLongLong(); line <= fields[2].toLongLong() && line < sent;
             ++line)
            times[line] = fields[0].toLongLong();
    }
    return times.contains(-1) ? QList<qint64>() : times;
}

// The nearest-rank percentile of sorted values.
qint64 percentile(const QList<qint64>& sorted, int percent) {
    return sorted[std::max<qsizetype>((sorted.size() * percent + 99) / 100, 1) - 1];
}

Lateness lateness(const OrvaRows& rows, const QList<qint64>& written) {
    QList<qint64> late;
    for (const auto& [line, arrival] : rows.arrivals)
        late << arrival - written[line];
    if (late.isEmpty())
        return {};
    std::ranges::sort(late);
    return {percentile(late, 50), percentile(late, 99), late.last()};
}

struct Figures {
    qint64 sent = 0;
    double sendSeconds = 0;
    double landSeconds = 0;
    qint64 backlog = 0;   // lines received or on their way, not written, when sending ended
    qint64 uartLost = -1; // bytes a real line would have lost; -1: not on such a line
    qint64 stopToQuestionMs = -1;
    qint64 longestGapMs = -1;
    QString gaps; // the longest gaps before Stop, to the question, to the office's end
    OrvaRows rows;
    qint64 programPeakKiB = -1;
    qint64 officePeakKiB = -1;
    Lateness late; // with the time of arrival
    QString problem;
};

// celvane-instrument on a line of its own that loses what a real serial line loses (see its
// --uart). It waits to play until told, so that the program can open the line first.
class UartInstrument {
public:
    ~UartInstrument() {
        m_process.closeWriteChannel(); // the line goes
        m_process.waitForFinished(5000);
    }
    // Starts it and waits until its line exists; false when it did not.
    bool start(qint64 lines, int baud, const QStringList& more) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationDirPath() +
                            QStringLiteral("/celvane-instrument"),
                        QStringLiteral("--model orva --interval 0 --count %1 --baud %2 --uart")
                                .arg(lines)
                                .arg(baud)
                                .split(u' ')
                            << line() << more);
        return m_process.waitForStarted(10000) &&
               ProgramRun::turnUntil([this] { return QFileInfo::exists(line()); }, 10s);
    }
    QString line() const { return m_dir.filePath(QStringLiteral("line")); }
    // Plays until the program has read what the line kept, and gives the bytes lost; -1 when the
    // instrument failed.
    qint64 play(std::chrono::milliseconds timeout) {
        m_process.write("\n");
        ProgramRun::turnUntil([this] { return m_process.canReadLine(); }, timeout);
        const QList<QByteArray> report = m_process.readLine().split(' ');
        return report.size() == 3 && report[1] == "bytes" ? report[0].toLongLong() : -1;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// How the runs go.
struct RunOptions {
    int seconds = 15;
    bool uart = false; // on a line that loses what a real one loses
    std::chrono::milliseconds officePause{0};
};

// A run at a line speed, or a flood when baud is 0; with the time of arrival when writeLog names
// the file for the instrument's log of its writes.
Figures runAt(int baud, const RunOptions& options, const QString& saved, const QString& writeLog) {
    Figures figures;
    figures.sent =
        baud == 0 ? kFloodLines : qint64(options.seconds) * baud / kBitsPerByte / kOrvaLineBytes;
    if (!resetPeakMemory())
        std::fprintf(stderr, "peak memory cannot be reset: it counts from the bench's start\n");

    const bool timed = !writeLog.isEmpty();
    const auto port =
        timed ? QMap<QString, QString>{{QStringLiteral("COM1Time"), QStringLiteral("on")}}
              : QMap<QString, QString>();
    const QStringList more =
        timed ? QStringList{QStringLiteral("--write-log"), writeLog} : QStringList();
    const bool uart = options.uart && baud != 0; // a flood is for the landing only
    const int lineBaud = baud == 0 ? kFloodBaud : baud;
    UartInstrument line; // outlives the program, which lets it go at Stop
    ProgramRun run;
    if (uart && !line.start(figures.sent, lineBaud, more)) {
        figures.problem = QStringLiteral("the instrument made no line");
        return figures;
    }
    if (!run.start(port, uart ? line.line() : QString())) {
        figures.problem = run.problem();
        return figures;
    }
    const QList<pid_t> offices = officeProcesses();
    EventLoopWatch watch(run, offices);
    watch.start();
    const auto started = std::chrono::steady_clock::now();
    const Pause pause(offices, std::chrono::seconds(options.seconds) / 2, options.officePause);
    const auto timeout = std::chrono::seconds(options.seconds * 4 + 60);
    if (uart ? (figures.uartLost = line.play(timeout)) < 0
             : !run.playInstrument("orva", figures.sent, lineBaud, timeout, more)) {
        figures.problem = uart ? QStringLiteral("the instrument failed") : run.problem();
        return figures;
    }
    const auto stopClicked = std::chrono::steady_clock::now();
    watch.stopping = true;
    figures.sendSeconds = std::chrono::duration<double>(stopClicked - started).count();
    figures.backlog = figures.sent - run.bytesWritten() / kOrvaLineBytes;
    // Stop at once, with the backlog waiting: it is written before the question.
    if (!run.stopSavingAs(saved) ||
        !ProgramRun::turnUntil([&] { return watch.officeEnded(); }, std::chrono::minutes(2))) {
        figures.problem =
            run.problem().isEmpty() ? QStringLiteral("the office did not end") : run.problem();
        return figures;
    }
    figures.landSeconds = std::chrono::duration<double>(watch.writtenAt - started).count();
    figures.programPeakKiB = peakMemoryKiB();
    figures.officePeakKiB = watch.officePeakKiB;
    if (watch.modalAt)
        figures.stopToQuestionMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(*watch.modalAt - stopClicked)
                .count();
    figures.longestGapMs = watch.longestGapMs;
    figures.gaps = QStringLiteral("%1/%2/%3")
                       .arg(watch.gapBeforeStopMs)
                       .arg(watch.gapToQuestionMs)
                       .arg(watch.gapToEndMs);

    const QList<SheetCells> sheets = readXls(saved);
    if (sheets.isEmpty()) {
        figures.problem = QStringLiteral("the saved workbook cannot be read");
        return figures;
    }
    figures.rows = readOrvaRows(sheets, figures.sent, timed);
    if (timed) {
        const QList<qint64> written = writeTimes(writeLog, figures.sent);
        if (written.isEmpty())
            figures.problem = QStringLiteral("the instrument's log of its writes cannot be read");
        else
            figures.late = lateness(figures.rows, written);
    }
    return figures;
}

double perSecond(qint64 count, double seconds) {
    return seconds > 0 ? count / seconds : 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("celvane-instrument into the program and a headless LibreOffice."));
    parser.addHelpOption();
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("How long the instrument sends."),
                                           QStringLiteral("s"), QStringLiteral("15"));
    const QCommandLineOption baudsOption(
        QStringLiteral("bauds"), QStringLiteral("The line speeds, comma-separated."),
        QStringLiteral("list"), QStringLiteral("9600,115200,921600"));
    const QCommandLineOption visibleOption(
        QStringLiteral("visible"),
        QStringLiteral("Show the office's window on the current display (under Xvfb, say)."));
    const QCommandLineOption floodOption(
        QStringLiteral("flood"),
        QStringLiteral(
            "Add a run with no pacing: lines as fast as the pseudo-terminal takes them."));
    const QCommandLineOption timeOption(
        QStringLiteral("time"),
        QStringLiteral("Turn the time of arrival on (COM1Time=on) and tell how late the rows' "
                       "times are after the instrument wrote their lines."));
    const QCommandLineOption uartOption(
        QStringLiteral("uart"),
        QStringLiteral("Play the line speeds on a line that loses what a real serial line's kernel "
                       "cannot hold (68 KB), and tell the bytes lost."));
    const QCommandLineOption pauseOption(
        QStringLiteral("pause-office"),
        QStringLiteral("Stop the office halfway through the sending time for this long."),
        QStringLiteral("ms"), QStringLiteral("0"));
    parser.addOptions({secondsOption, baudsOption, visibleOption, floodOption, timeOption,
                       uartOption, pauseOption});
    parser.process(app);
    RunOptions options;
    options.seconds = parser.value(secondsOption).toInt();
    options.uart = parser.isSet(uartOption);
    options.officePause = std::chrono::milliseconds(parser.value(pauseOption).toInt());
    if (options.seconds <= 0 || options.officePause.count() < 0) {
        std::fprintf(stderr,
                     "--seconds must be a positive whole number, --pause-office 0 or more\n");
        return 2;
    }

    // A home of its own: documents, settings and the office's profile.
    const OfficeTestHome home;
    if (!home.isReady()) {
        std::fprintf(stderr, "cannot start a headless LibreOffice\n");
        return 1;
    }
    const bool visible = parser.isSet(visibleOption);
    if (visible)
        qunsetenv("CELVANE_HEADLESS");
    const QTemporaryDir files;
    const bool timed = parser.isSet(timeOption);
    std::printf("ORVA lines (50 bytes) for %d s at each speed, into a %s LibreOffice%s%s; office "
                "stopped for %lld ms\n",
                options.seconds, visible ? "visible" : "headless",
                options.uart ? ", on a line that loses what a real one loses" : "",
                timed ? "; time of arrival on, late: row time - instrument's write, ms" : "",
                qlonglong(options.officePause.count()));
    std::printf("%10s %7s %9s %9s %9s %8s %5s %7s %8s %7s %14s %11s %10s", "baud", "lines",
                "sent/s", "landed/s", "landed", "backlog", "lost", "doubled", "stop ms", "gap ms",
                "run/stop/end", "program MB", "office MB");
    std::printf(options.uart ? " %10s" : "", "bytes lost");
    std::printf(timed ? " %11s %8s %8s\n" : "\n", "late median", "late p99", "late max");
    QList<int> bauds;
    for (const QString& text : parser.value(baudsOption).split(u',', Qt::SkipEmptyParts)) {
        bauds << text.toInt();
        if (bauds.last() <= 0) {
            std::fprintf(stderr, "not a line speed: %s\n", qPrintable(text));
            return 2;
        }
    }
    if (parser.isSet(floodOption))
        bauds << 0;
    bool allLanded = true;
    for (const int baud : std::as_const(bauds)) {
        const QString name = baud == 0 ? QStringLiteral("flood") : QString::number(baud);
        const Figures f =
            runAt(baud, options, files.filePath(name + QStringLiteral(".xls")),
                  timed ? files.filePath(name + QStringLiteral("-writes.txt")) : QString());
        if (!f.problem.isEmpty()) {
            std::printf("%10s  failed: %s\n", qPrintable(name), qPrintable(f.problem));
            allLanded = false;
            continue;
        }
        std::printf("%10s %7lld %9.1f %9.1f %9lld %8lld %5lld %7lld %8lld %7lld %14s %11.1f "
                    "%10.1f",
                    qPrintable(name), f.sent, perSecond(f.sent, f.sendSeconds),
                    perSecond(f.rows.rows, f.landSeconds), f.rows.rows, f.backlog, f.rows.lost,
                    f.rows.doubled, f.stopToQuestionMs, f.longestGapMs, qPrintable(f.gaps),
                    f.programPeakKiB / 1024.0, f.officePeakKiB / 1024.0);
        if (options.uart)
            std::printf(" %10s", f.uartLost < 0 ? "-" : qPrintable(QString::number(f.uartLost)));
        std::printf(timed ? " %11lld %8lld %8lld\n" : "\n", f.late.median, f.late.p99, f.late.most);
        if (!f.rows.complete()) {
            std::printf("         first problem: %s\n", qPrintable(f.rows.firstProblem));
            allLanded = false;
        }
        std::fflush(stdout);
    }
    return allLanded ? 0 : 1;
}
