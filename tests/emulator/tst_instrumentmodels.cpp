#include "clsorva.h"
#include "clsquorilex.h"
#include "fixedclock.h"
#include "modeloutputs.h"

#include <QMap>
#include <QTest>

#include <array>
#include <optional>

using namespace Qt::StringLiterals;

class tst_InstrumentModels : public QObject {
    Q_OBJECT

private slots:
    void init();
    void orvaLine();
    void fourDigitIndex_data();
    void fourDigitIndex();
    void valueRanges_data();
    void valueRanges();
    void valuesSpreadEvenly();
    void quorilexSequence_data();
    void quorilexSequence();

private:
    FixedClock clock;
    std::optional<clsOrva> orva;
    std::optional<clsQuorilex> quorilex;
};

void tst_InstrumentModels::init() {
    clock.set(QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9)));
    orva.emplace(clock);
    orva->reset();
    quorilex.emplace(clock);
    quorilex->reset();
}

void tst_InstrumentModels::orvaLine() {
    orva->setFourDigitIndex("77");
    orva->setMinMeasurement(51);
    orva->setMaxMeasurement(51);
    orva->setMinTemperature(-3);
    orva->setMaxTemperature(-3);
    // A reset clears the index and keeps the bounds.
    orva->reset();
    QCOMPARE(orva->nextOutput(), u"0 0000 :: 12-06-2026 14:05:09 = 51 (RAW)  -3 (C)\r\n"_s);
    // Sending a line changes no setting.
    orva->setFourDigitIndex("42");
    clock.set(QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)));
    QCOMPARE(orva->nextOutput(), u"0 0042 :: 01-02-2027 03:04:05 = 51 (RAW)  -3 (C)\r\n"_s);
    QCOMPARE(orva->nextOutput(), u"0 0042 :: 01-02-2027 03:04:05 = 51 (RAW)  -3 (C)\r\n"_s);
}

void tst_InstrumentModels::fourDigitIndex_data() {
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

void tst_InstrumentModels::fourDigitIndex() {
    QFETCH(QString, text);
    QFETCH(QString, index);
    orva->setFourDigitIndex("99");
    orva->setFourDigitIndex(text);
    QCOMPARE(matchOrvaLine(orva->nextOutput()).captured(1), index);
}

void tst_InstrumentModels::valueRanges_data() {
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("seen");
    QTest::newRow("40..60") << 40 << 60 << "40..60";
    QTest::newRow("min equals max") << 50 << 50 << "50..50";
    QTest::newRow("negative") << -5 << 5 << "-5..5";
    // A minimum above the maximum follows the same formula: floor(-39 * r + 50) gives 11..50,
    // where 50 needs a draw of exactly 0.
    QTest::newRow("min above max") << 50 << 10 << "11..49";
    QTest::newRow("min one above max") << 11 << 10 << "11..11";
}

void tst_InstrumentModels::valueRanges() {
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(QString, seen);
    // The clock stands still: all the draws are made within one millisecond.
    orva->setMinMeasurement(qint16(min));
    orva->setMaxMeasurement(qint16(max));
    orva->setMinTemperature(qint16(min));
    orva->setMaxTemperature(qint16(max));
    QCOMPARE(seenRanges(*orva), seen + " / " + seen);
}

void tst_InstrumentModels::valuesSpreadEvenly() {
    // Over the whole 16-bit range, whose span does not fit in 16 bits, 4000 lines give about
    // 1000 values in each quarter.
    orva->setMinMeasurement(-32768);
    orva->setMaxMeasurement(32767);
    std::array<int, 4> counts{};
    for (int i = 0; i < 4000; ++i) {
        clock.advanceMs(250);
        const QString line = orva->nextOutput();
        const int quarter = (matchOrvaLine(line).captured(4).toInt() + 32768) / 16384;
        QVERIFY2(quarter >= 0 && quarter < 4, qPrintable(line));
        ++counts[quarter];
    }
    for (int count : counts)
        QVERIFY2(count > 850 && count < 1150, qPrintable(QString::number(count)));
}

void tst_InstrumentModels::quorilexSequence_data() {
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

void tst_InstrumentModels::quorilexSequence() {
    QFETCH(QString, steps);
    const QMap<QString, void (clsQuorilex::*)()> switches{{"off", &clsQuorilex::turnOff},
                                                          {"on", &clsQuorilex::turnOn},
                                                          {"reset", &clsQuorilex::reset}};
    for (const QString& step : steps.split(u", "_s)) {
        if (step.startsWith("eol "))
            quorilex->setEOLFrequency(qint16(step.mid(4).toInt()));
        else if (switches.contains(step))
            ((*quorilex).*switches[step])();
        else
            QCOMPARE(quorilexOutputs(*quorilex, int(step.size())), step);
    }
}

QTEST_APPLESS_MAIN(tst_InstrumentModels)
#include "tst_instrumentmodels.moc"
