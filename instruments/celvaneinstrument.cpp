// celvane-instrument: plays an emulated instrument on a serial device.

#include "instrumentplayer.h"
#include "version.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
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

    QFile writeLog(options->writeLog);
    if (!options->writeLog.isEmpty() && !writeLog.open(QIODevice::WriteOnly | QIODevice::Text)) {
        std::fprintf(stderr, "celvane-instrument: cannot write %s: %s\n",
                     qPrintable(options->writeLog), qPrintable(writeLog.errorString()));
        return 1;
    }

    SystemClock clock;
    InstrumentPlayer player(*options, clock);
    // Outputs go out together until their pauses add up to one worth waiting for (or a batch
    // is full), so that a fast line is not slowed by a write per output.
    constexpr auto kShortestWait = std::chrono::milliseconds(1);
    constexpr qsizetype kFullBatch = 4096;
    auto next = std::chrono::steady_clock::now();
    QByteArray batch;
    qint64 batchStart = 0; // the running number of the batch's first output
    for (qint64 sent = 0; options->count == 0 || sent < options->count; ++sent) {
        const QString output = player.nextOutput();
        batch += output.toLatin1();
        next += player.pauseAfter(output);
        const bool last = options->count != 0 && sent + 1 == options->count;
        if (!last && batch.size() < kFullBatch &&
            next - std::chrono::steady_clock::now() < kShortestWait)
            continue;
        if (writeLog.isOpen())
            writeLog.write(QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + ' ' +
                           QByteArray::number(batchStart) + ' ' + QByteArray::number(sent) + '\n');
        batchStart = sent + 1;
        if (port.write(batch) != batch.size() || !port.waitForBytesWritten(5000)) {
            std::fprintf(stderr, "celvane-instrument: writing to %s failed: %s\n",
                         qPrintable(options->device), qPrintable(port.errorString()));
            return 1;
        }
        batch.clear();
        std::this_thread::sleep_until(next);
    }
    port.flush();
    if (writeLog.isOpen() && !writeLog.flush()) {
        std::fprintf(stderr, "celvane-instrument: writing %s failed: %s\n",
                     qPrintable(options->writeLog), qPrintable(writeLog.errorString()));
        return 1;
    }
    return 0;
}
