#include "fixedclock.h"
#include "instrumentplayer.h"
#include "modeloutputs.h"
#include "ptypair.h"
#include "qtserialcontrol.h"
#include "settings.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// celvane-instrument: its options, its pacing, and the program itself on a pseudo-terminal.
class tst_Instrument : public QObject {
    Q_OBJECT
private slots:
    void badOptions_data();
    void badOptions();
    void pacing_data();
    void pacing();
    void quorilexModel();
    void playsOnASerialDevice();

private:
    // A command line such as "--device d --interval 0".
    static QStringList line(const QString& arguments) {
        return ("celvane-instrument " + arguments).split(u' ');
    }
    static InstrumentPlayer::Options options(const QString& arguments) {
        QString error;
        return InstrumentPlayer::parse(line(arguments), error)
            .value_or(InstrumentPlayer::Options{});
    }
};

void tst_Instrument::badOptions_data() {
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("no device") << "--model orva" << u"--device is needed"_s;
    QTest::newRow("unknown model")
        << "--model tessor --device d" << u"--model must be orva or quorilex"_s;
    QTest::newRow("negative interval")
        << "--device d --interval -1"
        << u"--interval must be a whole number of milliseconds, 0 or more"_s;
    QTest::newRow("count not a number")
        << "--device d --count many" << u"--count must be a whole number, 0 or more"_s;
    QTest::newRow("zero baud") << "--device d --baud 0"
                               << u"--baud must be a positive whole number"_s;
}

void tst_Instrument::badOptions() {
    QFETCH(QString, arguments);
    QFETCH(QString, error);
    QString said;
    QVERIFY(!InstrumentPlayer::parse(line(arguments), said));
    QCOMPARE(said, error);
}

void tst_Instrument::pacing_data() {
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<qint64>("micros");
    QTest::newRow("interval") << "--device d --interval 250" << 50 << qint64(250000);
    QTest::newRow("line speed 9600") << "--device d --interval 0" << 48 << qint64(50000);
    QTest::newRow("line speed 921600")
        << "--device d --interval 0 --baud 921600" << 48 << qint64(520);
}

void tst_Instrument::pacing() {
    QFETCH(QString, arguments);
    QFETCH(int, bytes);
    QFETCH(qint64, micros);
    FixedClock clock;
    const InstrumentPlayer player(options(arguments), clock);
    QCOMPARE(player.pauseAfter(QString(bytes, u'x')).count(), micros);
}

void tst_Instrument::quorilexModel() {
    FixedClock clock;
    InstrumentPlayer quorilex(options("--device d --model quorilex"), clock);
    QCOMPARE(quorilex.nextOutput(), u"\r\n\r\n\r\n"_s);
    QCOMPARE(quorilex.nextOutput(), u"9999\r\n"_s);
}

void tst_Instrument::playsOnASerialDevice() {
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    PtyPair pty;
    QVERIFY(pty.start());
    openSettings()->setValue(u"Ports/COM1"_s, pty.deviceA());
    QtSerialControl port;
    QVERIFY(port.setPortOpen(true));

    QProcess instrument;
    instrument.start(QCoreApplication::applicationDirPath() + "/celvane-instrument",
                     {"--model", "orva", "--device", pty.deviceB(), "--interval", "0", "--count",
                      "5", "--baud", "115200"});
    QVERIFY(instrument.waitForFinished(20000));
    QCOMPARE(instrument.exitCode(), 0);

    QString received;
    for (int i = 0; i < 100 && received.count(u"\r\n"_s) < 5; ++i) {
        QTest::qWait(20);
        received += port.input();
    }
    // ORVA lines with a running index and values as a bench instrument gives them.
    const QStringList lines = received.split(u"\r\n"_s, Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    for (int i = 0; i < 5; ++i) {
        const QRegularExpressionMatch line = matchOrvaLine(lines[i] + "\r\n");
        const int measurement = line.captured(4).toInt();
        const int temperature = line.captured(5).toInt();
        QCOMPARE(line.captured(1), u"000%1"_s.arg(i));
        QVERIFY(measurement >= 40 && measurement <= 60 && temperature >= 20 && temperature <= 25);
    }
}

QTEST_GUILESS_MAIN(tst_Instrument)
#include "tst_instrument.moc"
