#include "clsorva.h"
#include "clsquorilex.h"
#include "fixedclock.h"
#include "modeloutputs.h"

#include <QMap>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_InstrumentModels : public QObject {
    Q_OBJECT

    FixedClock clock;
    clsOrva orva{clock};
    clsQuorilex quorilex{clock};

private slots:
    void init() {
        clock.set(QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9)));
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
        // Sending a line changes no setting.
        orva.setFourDigitIndex("42");
        clock.set(QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)));
        QCOMPARE(orva.nextOutput(), u"0 0042 :: 01-02-2027 03:04:05 = 51 (RAW)  -3 (C)\r\n"_s);
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
        QCOMPARE(matchOrvaLine(orva.nextOutput()).captured(1), index);
    }

    void valueRanges_data() {
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("seen"); // lowest..highest of many values; x: any digit
        QTest::newRow("40..60") << 40 << 60 << "40..60";
        QTest::newRow("negative") << -5 << 5 << "-5..5";
        // A minimum above the maximum follows the same formula: floor(-39 * r + 50) gives 11..50,
        // where 50 needs a draw of exactly 0.
        QTest::newRow("min above max") << 50 << 10 << "11..49";
        QTest::newRow("min one above max") << 11 << 10 << "11..11";
        // A span that does not fit in 16 bits.
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
        QVERIFY2(
            QRegularExpression(QRegularExpression::anchoredPattern(form)).match(got).hasMatch(),
            qPrintable(got));
    }

    void quorilexSequence_data() {
        // Steps, split at ", ": "eol N", "off", "on" and "reset" change the model; any other step
        // lists the outputs that come next, as quorilexOutputs shows them.
        QTest::addColumn<QString>("steps");
        const QString sixteen(16, u'9');
        const QString ten(10, u'9');
        QTest::newRow("after reset") << "|" + sixteen + "|" + sixteen + "|";
        QTest::newRow("frequency 0") << "eol 0, |||";
        // Ten samples have been sent; they count towards the new frequency.
        QTest::newRow("lowered below the count") << "|" + ten + ", eol 4, |9999|";
        QTest::newRow("lowered to the count") << "|" + ten + ", eol 10, |" + ten + "|";
        QTest::newRow("raised") << "|" + ten + ", eol 20, " + ten + "|" + QString(20, u'9') + "|";
        // Switched on again, the sequence goes on where it stopped; a reset switches it on.
        QTest::newRow("power off and on") << "eol 3, |9, off, ...., on, 99|9, off, reset, |9";
    }

    void quorilexSequence() {
        QFETCH(QString, steps);
        const QMap<QString, void (clsQuorilex::*)()> switches{{"off", &clsQuorilex::turnOff},
                                                              {"on", &clsQuorilex::turnOn},
                                                              {"reset", &clsQuorilex::reset}};
        for (const QString& step : steps.split(u", "_s)) {
            if (step.startsWith("eol "))
                quorilex.setEOLFrequency(qint16(step.mid(4).toInt()));
            else if (switches.contains(step))
                (quorilex.*switches[step])();
            else
                QCOMPARE(quorilexOutputs(quorilex, int(step.size())), step);
        }
    }
};

QTEST_APPLESS_MAIN(tst_InstrumentModels)
#include "tst_instrumentmodels.moc"
