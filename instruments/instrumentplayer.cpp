#include "instrumentplayer.h"

#include <QCommandLineParser>

std::optional<InstrumentPlayer::Options> InstrumentPlayer::parse(const QStringList& arguments,
                                                                 QString& error) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays an ORVA or QUORILEX instrument on a serial device, for checking a "
                       "cable or feeding Celvane without an instrument."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption model(QStringLiteral("model"), QStringLiteral("orva or quorilex."),
                                   QStringLiteral("name"), QStringLiteral("orva"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("The serial device to write to."),
                                    QStringLiteral("path"));
    const QCommandLineOption interval(
        QStringLiteral("interval"),
        QStringLiteral("Milliseconds between outputs; 0 sends as fast as the line carries them "
                       "(10 bits a character at 9600,n,8,1)."),
        QStringLiteral("ms"), QStringLiteral("250"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("Outputs to send; 0 sends until stopped."),
                                   QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Line speed."),
                                  QStringLiteral("b"), QStringLiteral("9600"));
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QStringLiteral("Line settings baud,parity,data bits,stop bits[,flow control], as "
                       "Celvane's settings file takes them (in place of --baud)."),
        QStringLiteral("line"), QStringLiteral("9600,n,8,1"));
    const QCommandLineOption writeLog(
        QStringLiteral("write-log"),
        QStringLiteral("Log each write to the device as a line: the time just before it in "
                       "milliseconds since the epoch, and the running numbers (0, 1, ...) of its "
                       "first and last output."),
        QStringLiteral("file"));
    const QCommandLineOption uart(
        QStringLiteral("uart"),
        QStringLiteral("In place of --device, a line made on a pseudo-terminal pair that loses "
                       "text as a real serial line does: the program's end is linked at path, and "
                       "what the receiving end's kernel cannot hold (68 KB) is lost. Plays once a "
                       "line is read from standard input, then writes the bytes lost to standard "
                       "output when the program has read the rest, and keeps the line until "
                       "standard input ends."),
        QStringLiteral("path"));
    parser.addOptions({model, device, interval, count, baud, settings, writeLog, uart});
    parser.process(arguments);

    Options options;
    const QString modelName = parser.value(model).toLower();
    if (modelName == QLatin1String("orva"))
        options.model = Model::Orva;
    else if (modelName == QLatin1String("quorilex"))
        options.model = Model::Quorilex;
    else {
        error = QStringLiteral("--model must be orva or quorilex");
        return std::nullopt;
    }
    options.device = parser.value(device);
    options.writeLog = parser.value(writeLog);
    options.uartLink = parser.value(uart);
    if (options.device.isEmpty() == options.uartLink.isEmpty()) {
        error = QStringLiteral("--device or --uart is needed, not both");
        return std::nullopt;
    }
    bool ok = false;
    options.intervalMs = parser.value(interval).toInt(&ok);
    if (!ok || options.intervalMs < 0) {
        error = QStringLiteral("--interval must be a whole number of milliseconds, 0 or more");
        return std::nullopt;
    }
    options.count = parser.value(count).toLongLong(&ok);
    if (!ok || options.count < 0) {
        error = QStringLiteral("--count must be a whole number, 0 or more");
        return std::nullopt;
    }
    if (parser.isSet(settings)) {
        if (parser.isSet(baud)) {
            error = QStringLiteral("give --baud or --settings, not both");
            return std::nullopt;
        }
        const auto line = LineSettings::parse(parser.value(settings));
        if (!line) {
            error = QStringLiteral("--settings must be baud,parity,data bits,stop bits[,flow "
                                   "control], for example 115200,e,7,1");
            return std::nullopt;
        }
        options.line = *line;
        return options;
    }
    options.line.baud = parser.value(baud).toInt(&ok);
    if (!ok || options.line.baud <= 0) {
        error = QStringLiteral("--baud must be a positive whole number");
        return std::nullopt;
    }
    return options;
}

InstrumentPlayer::InstrumentPlayer(const Options& options, const Clock& clock)
    : m_options(options)
    , m_orva(clock)
    , m_quorilex(clock) {
    m_orva.reset();
    m_quorilex.reset();
    // Values as a bench instrument gives them.
    m_orva.setMinMeasurement(40);
    m_orva.setMaxMeasurement(60);
    m_orva.setMinTemperature(20);
    m_orva.setMaxTemperature(25);
}

QString InstrumentPlayer::nextOutput() {
    const qint64 index = m_sent++;
    if (m_options.model == Model::Quorilex)
        return m_quorilex.nextOutput();
    m_orva.setFourDigitIndex(QString::number(index % 10000));
    return m_orva.nextOutput();
}

std::chrono::microseconds InstrumentPlayer::pauseAfter(const QString& output) const {
    if (m_options.intervalMs > 0)
        return std::chrono::milliseconds(m_options.intervalMs);
    const double bits = output.size() * m_options.line.bitsPerCharacter();
    return std::chrono::microseconds(qint64(bits * 1e6 / m_options.line.baud));
}
