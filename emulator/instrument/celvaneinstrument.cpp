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
    // A pseudo-terminal takes any speed; a real port may refuse one it cannot do.
    if (!port.setBaudRate(options->baud) || !port.setDataBits(QSerialPort::Data8) ||
        !port.setParity(QSerialPort::NoParity) || !port.setStopBits(QSerialPort::OneStop) ||
        !port.setFlowControl(QSerialPort::NoFlowControl))
        std::fprintf(stderr, "celvane-instrument: %s does not take %d baud 8N1; sending anyway\n",
                     qPrintable(options->device), options->baud);

    SystemClock clock;
    InstrumentPlayer player(*options, clock);
    auto next = std::chrono::steady_clock::now();
    for (qint64 sent = 0; options->count == 0 || sent < options->count; ++sent) {
        const QString output = player.nextOutput();
        const QByteArray bytes = output.toLatin1();
        if (port.write(bytes) != bytes.size() || !port.waitForBytesWritten(5000)) {
            std::fprintf(stderr, "celvane-instrument: writing to %s failed: %s\n",
                         qPrintable(options->device), qPrintable(port.errorString()));
            return 1;
        }
        next += player.pauseAfter(output);
        std::this_thread::sleep_until(next);
    }
    port.flush();
    return 0;
}
