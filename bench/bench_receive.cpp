// Receive-path throughput: ORVA-style token lines and TAB data lines through
// ProcessReceiveBuffer into the in-memory workbook. Prints MB/s and cells/s, and the ratio of
// the time for a 16 MB backlog to that for a 1 MB one (linear cost gives about 16).

#include "fakeserial.h"
#include "fixedclock.h"
#include "memoryspreadsheet.h"
#include "receivepath.h"
#include "statusview.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

class QuietView final : public ReceiveView {
public:
    void setLamp(Lamp, quint32) override {}
    void setStatusText(const QString&) override {}
    void setPauseEnabled(bool) override {}
    void injectSingleTabUsed() override {}
};

QString backlog(qsizetype bytes, bool tokenLines) {
    QString text;
    text.reserve(bytes + 128);
    int index = 0;
    while (text.size() < bytes) {
        if (tokenLines)
            text += QStringLiteral("0 %1 :: 12-06-2026 14:05:09 = 51 (RAW)  23 (C)\r\n")
                        .arg(index++ % 10000, 4, 10, QLatin1Char('0'));
        else
            text += QStringLiteral("%1\t3.25\t-7\tabc\r\n").arg(index++);
    }
    return text;
}

struct Run {
    double seconds;
    int cells;
};

// Writes a whole backlog, pass after pass, as the capture pump would.
Run drain(const QString& text) {
    modGlobals globals;
    MemorySpreadsheetFactory factory;
    Status status;
    globals.excelApp = factory.create(status);
    const QString path = QCoreApplication::applicationFilePath(); // any file that exists
    globals.captureBook = globals.excelApp->open(path).value;
    FakeSerial serial;
    QuietView view;
    FixedClock clock;
    ReceivePath receive(globals, serial, view, clock);
    // The backlog's row count passes a sheet's; rows wrap round so the workbook takes them all.
    QElapsedTimer timer;
    timer.start();
    receive.appendReceived({text, {}});
    while (!receive.receiveBuffer().isEmpty()) {
        if (receive.currentRow() > SheetMaxRows - 1)
            receive.setCurrentRow(1);
        receive.ProcessReceiveBuffer();
    }
    return {timer.nsecsElapsed() / 1e9, factory.last()->writeCount()};
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    constexpr qsizetype MB = 1024 * 1024;
    for (const bool tokenLines : {true, false}) {
        const char* kind = tokenLines ? "token lines" : "TAB data lines";
        const Run small = drain(backlog(1 * MB, tokenLines));
        const Run large = drain(backlog(16 * MB, tokenLines));
        std::printf("%-15s  1 MB: %7.2f MB/s %10.0f cells/s | 16 MB: %7.2f MB/s %10.0f cells/s | "
                    "time ratio 16 MB / 1 MB: %.1f\n",
                    kind, 1 / small.seconds, small.cells / small.seconds, 16 / large.seconds,
                    large.cells / large.seconds, large.seconds / small.seconds);
    }
    return 0;
}
