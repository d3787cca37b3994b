#include "fixedclock.h"
#include "instrumentplayer.h"
#include "ptypair.h"
#include "qtserialcontrol.h"
#include "settings.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

// celvane-instrument: its options, its pacing, and the program itself on a pseudo-terminal.
class tst_Instrument : public QObject {
    Q_OBJECT
private slots:
    void badOptions_data();
    void badOptions();
    void pacing_data();
    void pacing();
    void orvaLinesCarryARunningIndex();
    void quorilexStartsWithASeparator();
    void playsOnASerialDevice();

private:
    static InstrumentPlayer::Options options(const QStringList& arguments) {
        QString error;
        const auto parsed =
            InstrumentPlayer::parse(QStringList{"celvane-instrument"} + arguments, error);
        return parsed.value_or(InstrumentPlayer::Options{});
    }
};

void tst_Instrument::badOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("no device") << QStringList{"--model", "orva"} << "--device is needed";
    QTest::newRow("unknown model") << QStringList{"--model", "tessor", "--device", "/dev/x"}
                                   << "--model must be orva or quorilex";
    QTest::newRow("negative interval")
        << QStringList{"--device", "/dev/x", "--interval", "-1"}
        << "--interval must be a whole number of milliseconds, 0 or more";
    QTest::newRow("count not a number") << QStringList{"--device", "/dev/x", "--count", "many"}
                                        << "--count must be a whole number, 0 or more";
    QTest::newRow("zero baud") << QStringList{"--device", "/dev/x", "--baud", "0"}
                               << "--baud must be a positive whole number";
}

void tst_Instrument::badOptions() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QString said;
    QVERIFY(!InstrumentPlayer::parse(QStringList{"celvane-instrument"} + arguments, said));
    QCOMPARE(said, error);
}

void tst_Instrument::pacing_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<qint64>("micros");
    QTest::newRow("interval") << QStringList{"--device", "d", "--interval", "250"} << 50
                              << qint64(250000);
    QTest::newRow("line speed 9600")
        << QStringList{"--device", "d", "--interval", "0"} << 48 << qint64(50000);
    QTest::newRow("line speed 921600")
        << QStringList{"--device", "d", "--interval", "0", "--baud", "921600"} << 48 << qint64(520);
}

void tst_Instrument::pacing() {
    QFETCH(QStringList, arguments);
    QFETCH(int, bytes);
    QFETCH(qint64, micros);
    FixedClock clock;
    const InstrumentPlayer player(options(arguments), clock);
    QCOMPARE(player.pauseAfter(QString(bytes, u'x')).count(), micros);
}

void tst_Instrument::orvaLinesCarryARunningIndex() {
    FixedClock clock;
    InstrumentPlayer player(options({"--device", "d"}), clock);
    const QRegularExpression line(QStringLiteral(
        "^0 (\\d{4}) :: 12-06-2026 14:05:09 = (\\d+) \\(RAW\\)  (\\d+) \\(C\\)\r\n$"));
    for (int i = 0; i < 3; ++i) {
        const auto match = line.match(player.nextOutput());
        QVERIFY(match.hasMatch());
        QCOMPARE(match.captured(1).toInt(), i);
        QVERIFY(match.captured(2).toInt() >= 40 && match.captured(2).toInt() <= 60);
        QVERIFY(match.captured(3).toInt() >= 20 && match.captured(3).toInt() <= 25);
    }
}

void tst_Instrument::quorilexStartsWithASeparator() {
    FixedClock clock;
    InstrumentPlayer player(options({"--device", "d", "--model", "quorilex"}), clock);
    QCOMPARE(player.nextOutput(), QStringLiteral("\r\n\r\n\r\n"));
    QCOMPARE(player.nextOutput(), QStringLiteral("9999\r\n"));
}

void tst_Instrument::playsOnASerialDevice() {
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    PtyPair pty;
    QVERIFY(pty.start());
    openSettings()->setValue(QStringLiteral("Ports/COM1"), pty.deviceA());
    QtSerialControl port;
    QVERIFY(port.setPortOpen(true));

    QProcess instrument;
    instrument.start(QCoreApplication::applicationDirPath() + "/celvane-instrument",
                     {"--model", "orva", "--device", pty.deviceB(), "--interval", "0", "--count",
                      "5", "--baud", "115200"});
    QVERIFY(instrument.waitForFinished(20000));
    QCOMPARE(instrument.exitCode(), 0);

    QString received;
    for (int i = 0; i < 100 && received.count(QStringLiteral("\r\n")) < 5; ++i) {
        QTest::qWait(20);
        received += port.input();
    }
    const QStringList lines = received.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    for (int i = 0; i < 5; ++i)
        QVERIFY2(lines[i].startsWith(QStringLiteral("0 %1 :: ").arg(i, 4, 10, QLatin1Char('0'))),
                 qPrintable(lines[i]));
}

QTEST_GUILESS_MAIN(tst_Instrument)
#include "tst_instrument.moc"
