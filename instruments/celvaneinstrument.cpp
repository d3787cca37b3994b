// celvane-instrument: plays an emulated instrument on a serial device.

#include "instrumentplayer.h"
#include "uartline.h"
#include "version.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSerialPort>

#include <chrono>
#include <cstdio>
#include <thread>

// Opens the device and sets its line; false, with the reason on the error output, when it
// cannot be opened.
static bool openPort(QSerialPort& port, const InstrumentPlayer::Options& options) {
    port.setPortName(options.device);
    if (!port.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "celvane-instrument: cannot open %s: %s\n", qPrintable(options.device),
                     qPrintable(port.errorString()));
        return false;
    }
    // A real port may refuse a speed it cannot do; a pseudo-terminal may refuse parity and
    // data bits other than 8.
    if (!options.line.applyTo(port))
        std::fprintf(stderr,
                     "celvane-instrument: %s does not take these line settings; "
                     "sending anyway\n",
                     qPrintable(options.device));
    return true;
}

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
    UartLine uart;
    if (!options->uartLink.isEmpty()) {
        if (!uart.open(options->uartLink, error)) {
            std::fprintf(stderr, "celvane-instrument: %s\n", qPrintable(error));
            return 1;
        }
        // The program opens the line meanwhile.
        std::getchar();
    } else if (!openPort(port, *options)) {
        return 1;
    }

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
        if (!options->uartLink.isEmpty()) {
            uart.arrive(batch);
        } else if (port.write(batch) != batch.size() || !port.waitForBytesWritten(5000)) {
            std::fprintf(stderr, "celvane-instrument: writing to %s failed: %s\n",
                         qPrintable(options->device), qPrintable(port.errorString()));
            return 1;
        }
        batch.clear();
        std::this_thread::sleep_until(next);
    }
    if (options->uartLink.isEmpty()) {
        port.flush();
    } else {
        // Read to the end when nothing waits for a while: the pseudo-terminal hands what it
        // holds on to the reader in steps.
        for (int quiet = 0; quiet < 3; quiet = uart.drained() ? quiet + 1 : 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::printf("%lld bytes lost\n", uart.lost());
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
    }
    if (writeLog.isOpen() && !writeLog.flush()) {
        std::fprintf(stderr, "celvane-instrument: writing %s failed: %s\n",
                     qPrintable(options->writeLog), qPrintable(writeLog.errorString()));
        return 1;
    }
    return 0;
}
