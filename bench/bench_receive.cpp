// Receive-path throughput: ORVA-style token lines, TAB data lines, the same with LF line ends,
// and CSV lines (comma fields, some quoted) through the capture pump into the in-memory
// workbook, each in its port's line format. Prints MB/s and cells/s, the ratio of the time for a
// 16 MB backlog to that for a 1 MB one (linear cost gives about 16), and the rate against the
// TAB lines', in MB and in cells. Then 64 MB arrive in port-sized reads into a capture with a
// journal, once as LF-ended lines and once as text without any line end: time per MB, resident
// memory and its peak every 8 MB, and how long Stop takes.

#include "fakeserial.h"
#include "fixedclock.h"
#include "memoryspreadsheet.h"
#include "receivepath.h"
#include "statusview.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

class QuietView final : public ReceiveView {
public:
    void setLamp(Lamp, quint32) override {}
    void setStatusText(const QString&) override {}
    void setPauseEnabled(bool) override {}
    void injectSingleTabUsed() override {}
};

// A kind of line: the port's line format and the line with a running number.
struct Kind {
    const char* name;
    LineFormat format;
    QString (*line)(int number);
};

// The receive path alone: an office that takes every write at once and only counts the cells, so
// that the figures are those of the program's own work (the in-memory workbook's bookkeeping costs
// more than the receive path itself).
class CountingSpreadsheet final : public SpreadsheetApp {
public:
    Result<QList<WorkbookId>> workbooks() override { return {{}, {1}}; }
    Result<WorkbookId> open(const QString&) override { return {{}, 1}; }
    Result<WorkbookId> openBeside(const QString&) override { return {{}, 1}; }
    Status setVisible(bool) override { return {}; }
    Result<QString> startupPath() override { return {}; }
    Status activate(WorkbookId) override { return {}; }
    Status setBlock(int, int, const QList<CellRow>& rows) override {
        for (const CellRow& row : rows)
            cells += row.size();
        return {};
    }
    Status addWorksheet() override { return {}; }
    Status run(const QString&) override { return {}; }
    Result<QString> name(WorkbookId) override { return {}; }
    Result<bool> saved(WorkbookId) override { return {{}, true}; }
    Result<QString> getSaveAsFilename(const QString&, const QString&, const QString&) override {
        return {};
    }
    Status saveAs(WorkbookId, const QString&) override { return {}; }
    Result<QString> quit() override { return {}; }
    Result<QString> quitUnasked() override { return {}; }
    Status settle() override { return {}; }

    qint64 cells = 0;
};

// The TAB data lines are the measure of the others.
constexpr std::size_t kTabKind = 1;
const Kind kKinds[] = {
    {"token lines",
     {},
     [](int n) {
         return QStringLiteral("0 %1 :: 12-06-2026 14:05:09 = 51 (RAW)  23 (C)\r\n")
             .arg(n % 10000, 4, 10, QLatin1Char('0'));
     }},
    {"TAB data lines", {}, [](int n) { return QStringLiteral("%1\t3.25\t-7\tabc\r\n").arg(n); }},
    {"TAB lines, LF",
     {.lineEnd = LineFormat::LineEnd::Lf},
     [](int n) { return QStringLiteral("%1\t3.25\t-7\tabc\n").arg(n); }},
    {"CSV lines",
     {.fields = LineFormat::Fields::Comma},
     [](int n) { return QStringLiteral("%1,3.25,\"a,b\",-7,\"say \"\"hi\"\"\"\r\n").arg(n); }},
};

QString backlog(qsizetype bytes, const Kind& kind) {
    QString text;
    text.reserve(bytes + 128);
    int number = 0;
    while (text.size() < bytes)
        text += kind.line(number++);
    return text;
}

struct Run {
    double seconds;
    double mb;
    double cells;
};

// Writes a whole backlog, pass after pass, as the capture pump would: into the in-memory
// workbook, or (alone) into one that only counts.
Run drain(const QString& text, const LineFormat& format, bool alone) {
    modGlobals globals;
    MemorySpreadsheetFactory factory;
    Status status;
    globals.excelApp = alone ? std::make_unique<CountingSpreadsheet>() : factory.create(status);
    const QString path = QCoreApplication::applicationFilePath(); // any file that exists
    globals.captureBook = globals.excelApp->open(path).value;
    FakeSerial serial;
    serial.format = format; // as the port read it from its keys when it opened
    QuietView view;
    FixedClock clock;
    ReceivePath receive(globals, serial, view, clock);
    // The backlog arrived while the window was busy; the pump writes it pass after pass, going on
    // in a new worksheet past the last row.
    serial.arrived = text;
    QElapsedTimer timer;
    timer.start();
    while (receive.pump()) {
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cells = alone ? double(static_cast<CountingSpreadsheet&>(*globals.excelApp).cells)
                               : double(factory.last()->writeCount());
    return {seconds, text.size() / (1024.0 * 1024.0), cells};
}

// The process's resident memory now and at its peak since the last resetPeak(), in MB.
struct Memory {
    double resident = 0;
    double peak = 0;
};

Memory memory() {
    QFile status(QStringLiteral("/proc/self/status"));
    Memory in;
    if (!status.open(QIODevice::ReadOnly))
        return in;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const double mb = line.simplified().split(' ').value(1).toDouble() / 1024;
        if (line.startsWith("VmRSS:"))
            in.resident = mb;
        else if (line.startsWith("VmHWM:"))
            in.peak = mb;
    }
    return in;
}

void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// 64 MB arriving in reads of 64 KB, as a fast port gives them, into a capture with a journal.
void stream(const char* name, bool lineEnds) {
    constexpr qsizetype MB = 1024 * 1024;
    constexpr qsizetype kRead = 64 * 1024;
    constexpr qsizetype kReport = 8 * MB;
    modGlobals globals;
    MemorySpreadsheetFactory factory;
    Status status;
    globals.excelApp = factory.create(status);
    globals.captureBook = globals.excelApp->open(QCoreApplication::applicationFilePath()).value;
    FakeSerial serial;
    serial.format.lineEnd = LineFormat::LineEnd::Lf;
    QuietView view;
    FixedClock clock;
    QTemporaryDir folder;
    CaptureJournal journal(folder.path());
    journal.begin(clock.now());
    ReceivePath receive(globals, serial, view, clock);
    receive.setJournal(&journal);
    QString read;
    for (int number = 0; read.size() < kRead; ++number)
        read += lineEnds ? QStringLiteral("%1\t3.25\t-7\tabc\n").arg(number) : QStringLiteral("x");
    read.truncate(kRead);
    resetPeak();
    QElapsedTimer timer;
    qint64 spent = 0;
    for (qsizetype sent = kRead; sent <= 64 * MB; sent += kRead) {
        serial.arrived = read;
        timer.start();
        while (receive.pump()) {
        }
        spent += timer.nsecsElapsed();
        // The cells are the office's memory, not the program's.
        for (MemorySheet& sheet : factory.last()->workbook(globals.captureBook).sheets)
            sheet.clear();
        if (sent % kReport == 0) {
            const Memory now = memory();
            std::printf("%-16s %2lld MB: %7.2f ms/MB | resident %5.0f MB, peak %5.0f MB\n", name,
                        sent / MB, spent / 1e6 / (kReport / MB), now.resident, now.peak);
            spent = 0;
        }
    }
    timer.start();
    receive.beginStop();
    while (receive.stopPass()) {
    }
    journal.keepUnwritten(receive.finalFlush(), receive.takeOverflow(), folder.path(), clock.now());
    const double stopMs = timer.nsecsElapsed() / 1e6;
    std::printf("%-16s Stop: %7.1f ms | peak %5.0f MB\n", name, stopMs, memory().peak);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    stream("no line end", false);
    stream("LF lines", true);
    constexpr qsizetype MB = 1024 * 1024;
    // The fastest of a few runs counts: other work on the machine weighs less, and no run pays
    // for being the first to ask the system for its memory.
    const auto fastest = [](qsizetype bytes, const Kind& kind, bool alone) {
        constexpr int kTries = 3;
        const QString text = backlog(bytes, kind);
        Run best = drain(text, kind.format, alone);
        for (int run = 1; run < kTries; ++run)
            best = std::min(best, drain(text, kind.format, alone),
                            [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
        return best;
    };
    for (const bool alone : {true, false}) {
        std::printf("%s\n", alone ? "The receive path alone (writes only counted):"
                                  : "Into the in-memory workbook:");
        Run runs[std::size(kKinds)][2];
        for (std::size_t k = 0; k < std::size(kKinds); ++k) {
            runs[k][0] = fastest(1 * MB, kKinds[k], alone);
            runs[k][1] = fastest(16 * MB, kKinds[k], alone);
        }
        const auto perSecond = [&runs](std::size_t k, double Run::*quantity) {
            return (runs[k][0].*quantity + runs[k][1].*quantity) /
                   (runs[k][0].seconds + runs[k][1].seconds);
        };
        for (std::size_t k = 0; k < std::size(kKinds); ++k) {
            const Run& small = runs[k][0];
            const Run& large = runs[k][1];
            std::printf(
                "  %-14s  1 MB: %6.2f MB/s %9.0f cells/s | 16 MB: %6.2f MB/s %9.0f cells/s | "
                "16 MB / 1 MB time: %4.1f | of TAB: %3.0f%% MB/s %3.0f%% cells/s\n",
                kKinds[k].name, small.mb / small.seconds, small.cells / small.seconds,
                large.mb / large.seconds, large.cells / large.seconds,
                large.seconds / small.seconds,
                100 * perSecond(k, &Run::mb) / perSecond(kTabKind, &Run::mb),
                100 * perSecond(k, &Run::cells) / perSecond(kTabKind, &Run::cells));
        }
    }
    return 0;
}
