#include "fixedclock.h"
#include "instrumentplayer.h"
#include "modeloutputs.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The emulated instruments, and celvane-instrument's options and pacing.
class tst_Instrument : public QObject {
    Q_OBJECT

    FixedClock clock;
    clsOrva orva{clock};
    clsQuorilex quorilex{clock};

private slots:
    void init() {
        clock.set(FixedClock().now());
        orva.reset();
        quorilex.reset();
    }

    void orvaLine() {
        orva.setFourDigitIndex("77");
        orva.setMinMeasurement(51);
        orva.setMaxMeasurement(51);
        orva.setMinTemperature(-3);
        orva.setMaxTemperature(-3);
        // A reset clears the index and keeps the bounds.
        orva.reset();
        QCOMPARE(orva.nextOutput(), u"0 0000 :: 12-06-2026 14:05:09 = 51 (RAW)  -3 (C)\r\n"_s);
        orva.setFourDigitIndex("42");
        clock.set(QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)));
        // Sending a line changes no setting.
        for (int i = 0; i < 2; ++i)
            QCOMPARE(orva.nextOutput(), u"0 0042 :: 01-02-2027 03:04:05 = 51 (RAW)  -3 (C)\r\n"_s);
    }

    void fourDigitIndex_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("index"); // 0099, the index before, when the text is refused
        QTest::newRow("12345 keeps the last four") << "12345" << u"2345"_s;
        QTest::newRow("-5") << "-5" << u"00-5"_s;
        QTest::newRow("digits then letters") << "12ab" << u"0012"_s;
        QTest::newRow("half to even, down") << "2.5" << u"0002"_s;
        QTest::newRow("half to even, up") << "3.5" << u"0004"_s;
        QTest::newRow("half below the bottom, to even -32768") << "-32768.5" << u"2768"_s;
        QTest::newRow("half above the top keeps") << "32767.5" << u"0099"_s;
    }

    void fourDigitIndex() {
        QFETCH(QString, text);
        QFETCH(QString, index);
        orva.setFourDigitIndex("99");
        orva.setFourDigitIndex(text);
        QCOMPARE(orva.getFourDigitIndex(), index);
    }

    void valueRanges_data() {
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("seen"); // lowest..highest of many values; x: any digit
        QTest::newRow("40..60") << 40 << 60 << "40..60";
        QTest::newRow("negative") << -5 << 5 << "-5..5";
        // floor(-39 * r + 50) gives 11..50, where 50 needs a draw of exactly 0.
        QTest::newRow("min above max") << 50 << 10 << "11..49";
        QTest::newRow("whole 16-bit range") << -32768 << 32767 << "-32xxx..32xxx";
    }

    void valueRanges() {
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(QString, seen);
        // The clock stands still: all the draws are made within one millisecond.
        orva.setMinMeasurement(qint16(min));
        orva.setMaxMeasurement(qint16(max));
        orva.setMinTemperature(qint16(min));
        orva.setMaxTemperature(qint16(max));
        const QString got = seenRanges(orva);
        const QString form = QRegularExpression::escape(seen + " / " + seen).replace(u'x', "\\d");
        QVERIFY2(QRegularExpression("^" + form + "$").match(got).hasMatch(), qPrintable(got));
    }

    void quorilexSequence_data() {
        // Steps, split at ", ": "eol N", "off", "on" and "reset" change the model; any other step
        // lists the outputs that come next, as quorilexOutputs shows them.
        QTest::addColumn<QString>("steps");
        const QString ten(10, u'9');
        QTest::newRow("after reset") << "|" + QString(16, u'9') + "|9";
        QTest::newRow("frequency 0") << "eol 0, |||";
        // Ten samples have been sent; they count towards the new frequency.
        QTest::newRow("lowered below the count") << "|" + ten + ", eol 4, |9999|";
        QTest::newRow("raised") << "|" + ten + ", eol 20, " + ten + "|" + QString(20, u'9') + "|";
        // Switched on again, the sequence goes on where it stopped; a reset switches it on.
        QTest::newRow("power off and on") << "eol 3, |9, off, ...., on, 99|9, off, reset, |9";
    }

    void quorilexSequence() {
        QFETCH(QString, steps);
        for (const QString& step : steps.split(u", "_s)) {
            if (step.startsWith("eol "))
                quorilex.setEOLFrequency(qint16(step.mid(4).toInt()));
            else if (step == "off" || step == "on")
                step == "on" ? quorilex.turnOn() : quorilex.turnOff();
            else if (step == "reset")
                quorilex.reset();
            else
                QCOMPARE(quorilexOutputs(quorilex, int(step.size())), step);
        }
    }

    void playerOptions_data() {
        // What the options give: the error, or the first output's start ("|" for CR LF) and the
        // pause after it. An ORVA line from the bench ranges has 50 characters.
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
        QTest::newRow("interval") << "--device d --interval 100" << u"0 0000 after 100000 us"_s;
        // Ten bits a character by default; eleven with 7 data bits, parity and 2 stop bits.
        QTest::newRow("line speed")
            << "--device d --interval 0 --baud 921600" << u"0 0000 after 542 us"_s;
        QTest::newRow("line settings 9600,e,7,2")
            << "--device d --interval 0 --settings 9600,e,7,2" << u"0 0000 after 57291 us"_s;
        QTest::newRow("quorilex") << "--device d --model quorilex --interval 0"
                                  << u"||| after 6250 us"_s;
    }

    void playerOptions() {
        QFETCH(QString, arguments);
        QFETCH(QString, gives);
        QString said;
        const auto options =
            InstrumentPlayer::parse(("celvane-instrument " + arguments).split(u' '), said);
        if (options) {
            InstrumentPlayer player(*options, clock);
            const QString output = player.nextOutput();
            said = output.left(6).replace(u"\r\n"_s, u"|"_s) +
                   u" after %1 us"_s.arg(player.pauseAfter(output).count());
        }
        QCOMPARE(said, gives);
    }
};

QTEST_APPLESS_MAIN(tst_Instrument)
#include "tst_instrument.moc"
