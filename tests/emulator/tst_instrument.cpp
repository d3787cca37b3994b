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
    void options_data() {
        // What the options give: the error, or the first output's start ("|" for CR LF) and the
        // pause after it.
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("gives");
        QTest::newRow("no device") << "--model orva" << u"--device is needed"_s;
        QTest::newRow("unknown model")
            << "--model tessor --device d" << u"--model must be orva or quorilex"_s;
        QTest::newRow("negative interval")
            << "--device d --interval -1"
            << u"--interval must be a whole number of milliseconds, 0 or more"_s;
        QTest::newRow("count not a number")
            << "--device d --count many" << u"--count must be a whole number, 0 or more"_s;
        QTest::newRow("zero baud")
            << "--device d --baud 0" << u"--baud must be a positive whole number"_s;
        QTest::newRow("not a line setting")
            << "--device d --settings 9600,n,8"
            << u"--settings must be baud,parity,data bits,stop bits[,flow control], for example "
               "115200,e,7,1"_s;
        QTest::newRow("two speeds") << "--device d --baud 9600 --settings 9600,n,8,1"
                                    << u"give --baud or --settings, not both"_s;
        // An ORVA line from the bench ranges has 50 characters; ten bits a character.
        QTest::newRow("interval") << "--device d --interval 100" << u"0 0000 after 100000 us"_s;
        QTest::newRow("line speed 9600") << "--device d --interval 0" << u"0 0000 after 52083 us"_s;
        QTest::newRow("line speed 921600")
            << "--device d --interval 0 --baud 921600" << u"0 0000 after 542 us"_s;
        // Eleven bits a character: start, 7 data bits, parity, 2 stop bits.
        QTest::newRow("line settings 9600,e,7,2")
            << "--device d --interval 0 --settings 9600,e,7,2" << u"0 0000 after 57291 us"_s;
        QTest::newRow("quorilex") << "--device d --model quorilex --interval 0"
                                  << u"||| after 6250 us"_s;
    }

    void options() {
        QFETCH(QString, arguments);
        QFETCH(QString, gives);
        QString said;
        const auto options =
            InstrumentPlayer::parse(("celvane-instrument " + arguments).split(u' '), said);
        if (options) {
            FixedClock clock;
            InstrumentPlayer player(*options, clock);
            const QString output = player.nextOutput();
            said = output.left(6).replace(u"\r\n"_s, u"|"_s) +
                   u" after %1 us"_s.arg(player.pauseAfter(output).count());
        }
        QCOMPARE(said, gives);
    }

    void playsOnASerialDevice() {
        QTemporaryDir config;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
        PtyPair pty;
        QVERIFY(pty.start());
        openSettings()->setValue(u"Ports/COM1"_s, pty.deviceA());
        QtSerialControl port;
        QVERIFY(port.setPortOpen(true));

        QProcess instrument;
        instrument.start(QCoreApplication::applicationDirPath() + "/celvane-instrument",
                         {"--model", "orva", "--device", pty.deviceB(), "--interval", "0",
                          "--count", "5", "--settings", "115200,n,8,2"});
        QVERIFY(instrument.waitForFinished(20000));
        QCOMPARE(instrument.exitCode(), 0);
        QCOMPARE(instrument.readAllStandardError(), QByteArray()); // the device took the line

        QString received;
        for (int i = 0; i < 100 && received.count(u"\r\n"_s) < 5; ++i) {
            QTest::qWait(20);
            received += port.input();
        }
        // ORVA lines with a running index and values as a bench instrument gives them.
        const QStringList lines = received.split(u"\r\n"_s, Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        for (int i = 0; i < 5; ++i) {
            const QRegularExpression bench(
                uR"(^0 000%1 :: \S+ \S+ = (4\d|5\d|60) \(RAW\)  2[0-5] \(C\)$)"_s.arg(i));
            QVERIFY2(bench.match(lines[i]).hasMatch(), qPrintable(lines[i]));
        }
    }
};

QTEST_GUILESS_MAIN(tst_Instrument)
#include "tst_instrument.moc"
