#include "clsorva.h"
#include "clsquorilex.h"
#include "fixedclock.h"
#include "orvalines.h"

#include <QSet>
#include <QTest>

#include <array>

namespace {

const QString kSample = QStringLiteral("9999\r\n");
const QString kSeparator = QStringLiteral("\r\n\r\n\r\n");

} // namespace

class tst_InstrumentModels : public QObject {
    Q_OBJECT

private slots:
    void orvaLineIsExact();
    void orvaDateAndTime_data();
    void orvaDateAndTime();
    void orvaAfterReset();
    void resetKeepsBounds();
    void fourDigitIndex_data();
    void fourDigitIndex();
    void indexOutOfRangeKeepsPrevious_data();
    void indexOutOfRangeKeepsPrevious();
    void valueRanges_data();
    void valueRanges();
    void drawsWithinOneClockTickDiffer();
    void valuesAreSpreadEvenly();
    void nextOutputChangesNoSetting();

    void quorilexSequenceAfterReset();
    void quorilexFrequencyAtOrBelowZero_data();
    void quorilexFrequencyAtOrBelowZero();
    void quorilexFrequencyChangedWithinGroup_data();
    void quorilexFrequencyChangedWithinGroup();
    void quorilexPowerOffAndOn();
    void quorilexIgnoresIndexAndRanges();
};

void tst_InstrumentModels::orvaLineIsExact() {
    FixedClock clock(QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9)));
    clsOrva orva(clock);
    orva.reset();
    orva.setFourDigitIndex(QStringLiteral("42"));
    orva.setMinMeasurement(51);
    orva.setMaxMeasurement(51);
    orva.setMinTemperature(23);
    orva.setMaxTemperature(23);
    QCOMPARE(orva.nextOutput(),
             QStringLiteral("0 0042 :: 12-06-2026 14:05:09 = 51 (RAW)  23 (C)\r\n"));
}

void tst_InstrumentModels::orvaDateAndTime_data() {
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");
    QTest::newRow("single digits")
        << QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)) << QStringLiteral("01-02-2027 03:04:05");
    QTest::newRow("midnight") << QDateTime(QDate(2026, 3, 15), QTime(0, 0, 0))
                              << QStringLiteral("03-15-2026 00:00:00");
    QTest::newRow("afternoon is 24-hour") << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))
                                          << QStringLiteral("12-31-1999 23:59:59");
}

void tst_InstrumentModels::orvaDateAndTime() {
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);
    FixedClock clock(now);
    clsOrva orva(clock);
    orva.reset();
    QCOMPARE(orva.nextOutput(),
             QStringLiteral("0 0000 :: ") + expected + QStringLiteral(" = 0 (RAW)  0 (C)\r\n"));
}

void tst_InstrumentModels::orvaAfterReset() {
    FixedClock clock;
    clsOrva orva(clock);
    orva.setFourDigitIndex(QStringLiteral("77"));
    orva.reset();
    QCOMPARE(orva.getFourDigitIndex(), QStringLiteral("0000"));
    for (int i = 0; i < 20; ++i)
        QVERIFY(orva.nextOutput().startsWith(QStringLiteral("0 0000 :: ")));
}

void tst_InstrumentModels::resetKeepsBounds() {
    FixedClock clock;
    clsOrva orva(clock);
    orva.setMinMeasurement(7);
    orva.setMaxMeasurement(7);
    orva.setMinTemperature(-3);
    orva.setMaxTemperature(-3);
    orva.reset();
    const auto line = parseOrvaLine(orva.nextOutput());
    QVERIFY(line);
    QCOMPARE(line->measurement, 7);
    QCOMPARE(line->temperature, -3);
}

void tst_InstrumentModels::fourDigitIndex_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("7") << "7"
                       << "0007";
    QTest::newRow("1234") << "1234"
                          << "1234";
    QTest::newRow("12345 keeps the last four") << "12345"
                                               << "2345";
    QTest::newRow("-5") << "-5"
                        << "00-5";
    QTest::newRow("-32768") << "-32768"
                            << "2768";
    QTest::newRow("32767") << "32767"
                           << "2767";
    QTest::newRow("leading blanks") << "   42"
                                    << "0042";
    QTest::newRow("plus sign") << "+8"
                               << "0008";
    QTest::newRow("digits then letters") << "12ab"
                                         << "0012";
    QTest::newRow("letters") << "abc"
                             << "0000";
    QTest::newRow("empty") << ""
                           << "0000";
    QTest::newRow("half goes to even, down") << "2.5"
                                             << "0002";
    QTest::newRow("half goes to even, up") << "3.5"
                                           << "0004";
    QTest::newRow("negative half") << "-2.5"
                                   << "00-2";
    QTest::newRow("fraction rounds") << "41.6"
                                     << "0042";
    QTest::newRow("bare fraction") << ".5"
                                   << "0000";
    QTest::newRow("exponent") << "1e3"
                              << "1000";
    QTest::newRow("fraction and exponent") << "1.5E1x"
                                           << "0015";
    QTest::newRow("unfinished exponent") << "7e"
                                         << "0007";
    QTest::newRow("just below the top rounds into range") << "32767.4"
                                                          << "2767";
    QTest::newRow("half below the bottom goes to even -32768") << "-32768.5"
                                                               << "2768";
}

void tst_InstrumentModels::fourDigitIndex() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    FixedClock clock;
    clsOrva orva(clock);
    orva.reset();
    orva.setFourDigitIndex(QStringLiteral("99"));
    orva.setFourDigitIndex(text);
    QCOMPARE(orva.getFourDigitIndex(), expected);
    QVERIFY(orva.nextOutput().startsWith(QStringLiteral("0 ") + expected + QStringLiteral(" :: ")));
}

void tst_InstrumentModels::indexOutOfRangeKeepsPrevious_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("40000") << "40000";
    QTest::newRow("32768") << "32768";
    QTest::newRow("-32769") << "-32769";
    QTest::newRow("half above the top goes to even 32768") << "32767.5";
    QTest::newRow("beyond any number") << "1e999";
}

void tst_InstrumentModels::indexOutOfRangeKeepsPrevious() {
    QFETCH(QString, text);
    FixedClock clock;
    clsOrva orva(clock);
    orva.reset();
    orva.setFourDigitIndex(QStringLiteral("99"));
    orva.setFourDigitIndex(text);
    QCOMPARE(orva.getFourDigitIndex(), QStringLiteral("0099"));
}

void tst_InstrumentModels::valueRanges_data() {
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("low");    // no value below
    QTest::addColumn<int>("high");   // no value above
    QTest::addColumn<int>("spread"); // at least this far between the lowest and highest seen
    QTest::newRow("40..60") << 40 << 60 << 40 << 60 << 20;
    QTest::newRow("min equals max") << 50 << 50 << 50 << 50 << 0;
    QTest::newRow("zero") << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("full bar range") << 0 << 100 << 0 << 100 << 100;
    QTest::newRow("negative") << -5 << 5 << -5 << 5 << 10;
    // A minimum above the maximum follows the same formula: floor(-39 * r + 50) gives 11..50,
    // where 50 needs a draw of exactly 0.
    QTest::newRow("min above max") << 50 << 10 << 11 << 50 << 38;
    QTest::newRow("min one above max") << 11 << 10 << 11 << 11 << 0;
    // A span that does not fit in 16 bits still gives values from the same formula.
    QTest::newRow("whole 16-bit range") << -32768 << 32767 << -32768 << 32767 << 60000;
    QTest::newRow("whole range reversed") << 32767 << -32768 << -32766 << 32767 << 60000;
}

void tst_InstrumentModels::valueRanges() {
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, spread);
    FixedClock clock;
    clsOrva orva(clock);
    orva.reset();
    orva.setMinMeasurement(qint16(min));
    orva.setMaxMeasurement(qint16(max));
    orva.setMinTemperature(qint16(min));
    orva.setMaxTemperature(qint16(max));
    const SeenRanges seen = seenRanges(orva);
    QCOMPARE(seen.malformed, 0);
    for (const SeenRange& values : {seen.measurement, seen.temperature}) {
        QVERIFY2(values.low >= low && values.high <= high, toString(values));
        QVERIFY2(values.high - values.low >= spread, toString(values));
    }
}

void tst_InstrumentModels::drawsWithinOneClockTickDiffer() {
    // Every draw of these lines is re-seeded from the same fixed time.
    FixedClock clock;
    clsOrva orva(clock);
    orva.reset();
    orva.setMinMeasurement(0);
    orva.setMaxMeasurement(100);
    orva.setMinTemperature(0);
    orva.setMaxTemperature(100);
    QSet<int> measurements;
    int linesWithEqualValues = 0;
    for (int i = 0; i < 50; ++i) {
        const auto line = parseOrvaLine(orva.nextOutput());
        QVERIFY(line);
        measurements.insert(line->measurement);
        if (line->measurement == line->temperature)
            ++linesWithEqualValues;
    }
    QVERIFY2(measurements.size() > 25, qPrintable(QString::number(measurements.size())));
    QVERIFY(linesWithEqualValues < 10);
}

void tst_InstrumentModels::valuesAreSpreadEvenly() {
    FixedClock clock;
    clsOrva orva(clock);
    orva.reset();
    orva.setMinMeasurement(1);
    orva.setMaxMeasurement(4);
    std::array<int, 4> counts{};
    for (int i = 0; i < 4000; ++i) {
        clock.advanceMs(250);
        const auto line = parseOrvaLine(orva.nextOutput());
        QVERIFY(line);
        ++counts[line->measurement - 1];
    }
    for (int count : counts)
        QVERIFY2(count > 850 && count < 1150, qPrintable(QString::number(count)));
}

void tst_InstrumentModels::nextOutputChangesNoSetting() {
    FixedClock clock;
    clsOrva orva(clock);
    orva.reset();
    orva.setFourDigitIndex(QStringLiteral("42"));
    orva.setMinMeasurement(20);
    orva.setMaxMeasurement(20);
    for (int i = 0; i < 5; ++i) {
        const auto line = parseOrvaLine(orva.nextOutput());
        QVERIFY(line);
        QCOMPARE(line->index, QStringLiteral("0042"));
        QCOMPARE(line->measurement, 20);
    }
}

void tst_InstrumentModels::quorilexSequenceAfterReset() {
    FixedClock clock;
    clsQuorilex quorilex(clock);
    quorilex.reset();
    for (int group = 0; group < 3; ++group) {
        QCOMPARE(quorilex.nextOutput(), kSeparator);
        for (int sample = 0; sample < 16; ++sample)
            QCOMPARE(quorilex.nextOutput(), kSample);
    }
    QCOMPARE(quorilex.nextOutput(), kSeparator);
}

void tst_InstrumentModels::quorilexFrequencyAtOrBelowZero_data() {
    QTest::addColumn<int>("frequency");
    QTest::newRow("0") << 0;
    QTest::newRow("-1") << -1;
    QTest::newRow("-32768") << -32768;
}

void tst_InstrumentModels::quorilexFrequencyAtOrBelowZero() {
    QFETCH(int, frequency);
    FixedClock clock;
    clsQuorilex quorilex(clock);
    quorilex.reset();
    quorilex.setEOLFrequency(qint16(frequency));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(quorilex.nextOutput(), kSeparator);
}

void tst_InstrumentModels::quorilexFrequencyChangedWithinGroup_data() {
    QTest::addColumn<int>("frequency");
    QTest::addColumn<int>("moreSamples"); // before the next separator
    // Ten samples have been sent; they count towards the new frequency.
    QTest::newRow("lowered below the count") << 4 << 0;
    QTest::newRow("lowered to the count") << 10 << 0;
    QTest::newRow("raised") << 20 << 10;
}

void tst_InstrumentModels::quorilexFrequencyChangedWithinGroup() {
    QFETCH(int, frequency);
    QFETCH(int, moreSamples);
    FixedClock clock;
    clsQuorilex quorilex(clock);
    quorilex.reset();
    QCOMPARE(quorilex.nextOutput(), kSeparator);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(quorilex.nextOutput(), kSample);
    quorilex.setEOLFrequency(qint16(frequency));
    for (int i = 0; i < moreSamples; ++i)
        QCOMPARE(quorilex.nextOutput(), kSample);
    QCOMPARE(quorilex.nextOutput(), kSeparator);
    // The groups that follow have the new length.
    for (int i = 0; i < frequency; ++i)
        QCOMPARE(quorilex.nextOutput(), kSample);
    QCOMPARE(quorilex.nextOutput(), kSeparator);
}

void tst_InstrumentModels::quorilexPowerOffAndOn() {
    FixedClock clock;
    clsQuorilex quorilex(clock);
    quorilex.reset();
    quorilex.setEOLFrequency(3);
    QCOMPARE(quorilex.nextOutput(), kSeparator);
    QCOMPARE(quorilex.nextOutput(), kSample);
    quorilex.turnOff();
    for (int i = 0; i < 10; ++i)
        QCOMPARE(quorilex.nextOutput(), QString());
    quorilex.turnOn();
    // The sequence goes on where it stopped: two more samples complete the group of three.
    QCOMPARE(quorilex.nextOutput(), kSample);
    QCOMPARE(quorilex.nextOutput(), kSample);
    QCOMPARE(quorilex.nextOutput(), kSeparator);
    quorilex.turnOff();
    quorilex.reset();
    QCOMPARE(quorilex.nextOutput(), kSeparator);
}

void tst_InstrumentModels::quorilexIgnoresIndexAndRanges() {
    FixedClock clock;
    clsQuorilex quorilex(clock);
    quorilex.reset();
    quorilex.setFourDigitIndex(QStringLiteral("42"));
    quorilex.setMinMeasurement(10);
    quorilex.setMaxMeasurement(20);
    quorilex.setMinTemperature(10);
    quorilex.setMaxTemperature(20);
    QCOMPARE(quorilex.getFourDigitIndex(), QString());
    QCOMPARE(quorilex.nextOutput(), kSeparator);
    QCOMPARE(quorilex.nextOutput(), kSample);
}

QTEST_APPLESS_MAIN(tst_InstrumentModels)
#include "tst_instrumentmodels.moc"
