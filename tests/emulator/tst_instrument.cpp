#include "fixedclock.h"
#include "instrumentplayer.h"
#include "modeloutputs.h"
#include "uartline.h"

#include <QTemporaryDir>
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

    void fourDigitIndex() {
        // Text, then the index: the last four characters, half rounded to even; 0099, the one
        // before, when the text is refused.
        for (const QString row : {"12345 2345", "-5 00-5", "12ab 0012", "2.5 0002", "3.5 0004",
                                  "-32768.5 2768", "32767.5 0099"}) {
            orva.setFourDigitIndex("99");
            orva.setFourDigitIndex(row.section(u' ', 0, 0));
            QCOMPARE(orva.getFourDigitIndex(), row.section(u' ', 1));
        }
    }

    void valueRanges() {
        // Both bounds, then the lowest..highest of many values (x: any digit). With the bounds
        // crossed, floor(-39 * r + 50) gives 11..50, where 50 needs a draw of exactly 0.
        for (const QString row : {"40 60 40..60", "50 10 11..49", "-32768 32767 -32xxx..32xxx"}) {
            const auto min = qint16(row.section(u' ', 0, 0).toInt());
            const auto max = qint16(row.section(u' ', 1, 1).toInt());
            orva.setMinMeasurement(min);
            orva.setMaxMeasurement(max);
            orva.setMinTemperature(min);
            orva.setMaxTemperature(max);
            const QString seen = row.section(u' ', 2);
            const QString form =
                QRegularExpression::escape(seen + " / " + seen).replace(u'x', "\\d");
            QVERIFY2(QRegularExpression("^" + form + "$").match(seenRanges(orva)).hasMatch(),
                     qPrintable(row));
        }
    }

    void quorilexSequence_data() {
        // "eol N", "off", "on", "reset" change the model; other steps are the outputs that follow.
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

    void playerPacing() {
        // Options, then the first output's start ("|" for CR LF) and the pause after it: ten bits a
        // character by default, eleven with 7 data bits, parity and 2 stop bits; ORVA lines from
        // the bench ranges have 50 characters.
        for (const QString row : {"--interval 100 = 0 0000 after 100000 us",
                                  "--interval 0 --settings 9600,e,7,2 = 0 0000 after 57291 us",
                                  "--model quorilex --interval 0 = ||| after 6250 us"}) {
            QString error;
            const auto options = InstrumentPlayer::parse(
                ("celvane-instrument --device d " + row.section(" = ", 0, 0)).split(u' '), error);
            QVERIFY2(options, qPrintable(error));
            InstrumentPlayer player(*options, clock);
            const QString output = player.nextOutput();
            QCOMPARE(output.left(6).replace(u"\r\n"_s, u"|"_s) +
                         u" after %1 us"_s.arg(player.pauseAfter(output).count()),
                     row.section(" = ", 1));
        }
    }

    void uartLineLosesWhatItsKernelCannotHold_data() {
        // Bytes arriving in two bursts while the program does not read; the bytes lost of them.
        QTest::addColumn<int>("arriving");
        QTest::addColumn<int>("lost");
        QTest::newRow("less than 68 KB") << 60000 << 0;
        QTest::newRow("more") << 100000 << 100000 - 68 * 1024;
    }

    void uartLineLosesWhatItsKernelCannotHold() {
        QFETCH(int, arriving);
        QFETCH(int, lost);
        const QTemporaryDir dir;
        UartLine line;
        QString error;
        QVERIFY2(line.open(dir.filePath("line"), error), qPrintable(error));
        line.arrive(QByteArray(arriving / 2, 'x'));
        QTest::qSleep(50);
        line.arrive(QByteArray(arriving - arriving / 2, 'x'));
        // The pseudo-terminal's own share varies by a few KB with how it was written to.
        QVERIFY2(qAbs(line.lost() - lost) <= 4096, qPrintable(QString::number(line.lost())));
    }
};

QTEST_APPLESS_MAIN(tst_Instrument)
#include "tst_instrument.moc"
