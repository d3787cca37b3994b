// celvane-instrument: plays an emulated instrument on a serial device.

#include "instrumentplayer.h"
#include "version.h"

#include <QCoreApplication>
#include <QSerialPort>

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("celvane-instrument"));
    QCoreApplication::setApplicationVersion(QLatin1String(Version::text));

    QString error;
    const auto options = InstrumentPlayer::parse(QCoreApplication::arguments(), error);
    if (!options) {
        std::fprintf(stderr, "celvane-instrument: %s (see --help)\n", qPrintable(error));
        return 2;
    }

    QSerialPort port;
    port.setPortName(options->device);
    if (!port.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "celvane-instrument: cannot open %s: %s\n",
                     qPrintable(options->device), qPrintable(port.errorString()));
        return 1;
    }
    // A real port may refuse a speed it cannot do; a pseudo-terminal may refuse parity and
    // data bits other than 8.
    if (!options->line.applyTo(port))
        std::fprintf(stderr,
                     "celvane-instrument: %s does not take these line settings; "
                     "sending anyway\n",
                     qPrintable(options->device));

    SystemClock clock;
    InstrumentPlayer player(*options, clock);
    // Outputs go out together until their pauses add up to one worth waiting for (or a batch
    // is full), so that a fast line is not slowed by a write per output.
    constexpr auto kShortestWait = std::chrono::milliseconds(1);
    constexpr qsizetype kFullBatch = 4096;
    auto next = std::chrono::steady_clock::now();
    QByteArray batch;
    for (qint64 sent = 0; options->count == 0 || sent < options->count; ++sent) {
        const QString output = player.nextOutput();
        batch += output.toLatin1();
        next += player.pauseAfter(output);
        const bool last = options->count != 0 && sent + 1 == options->count;
        if (!last && batch.size() < kFullBatch &&
            next - std::chrono::steady_clock::now() < kShortestWait)
            continue;
        if (port.write(batch) != batch.size() || !port.waitForBytesWritten(5000)) {
            std::fprintf(stderr, "celvane-instrument: writing to %s failed: %s\n",
                         qPrintable(options->device), qPrintable(port.errorString()));
            return 1;
        }
        batch.clear();
        std::this_thread::sleep_until(next);
    }
    port.flush();
    return 0;
}
