#include "clsorva.h"

#include "numbertext.h"
#include "wholenumber.h"

#include <cmath>

clsOrva::clsOrva(const Clock& clock)
    : clock(clock) {}

void clsOrva::reset() {
    leadingNumber = 0;
    fourDigitIndex = 0;
    rawUnitTag = QStringLiteral("(RAW)");
    temperatureUnitTag = QStringLiteral("(C)");
}

void clsOrva::setFourDigitIndex(const QString& text) {
    if (const auto index = roundedInt16(numericPrefix(text)))
        fourDigitIndex = *index;
}

QString clsOrva::getFourDigitIndex() const {
    return (QStringLiteral("0000") + QString::number(fourDigitIndex)).right(4);
}

QString clsOrva::nextOutput() {
    const QDateTime now = clock.now();
    const QDate date = now.date();
    const QTime time = now.time();
    const QLatin1Char zero('0');
    return QString::number(leadingNumber) + u' ' + getFourDigitIndex() + QStringLiteral(" :: ") +
           QStringLiteral("%1-%2-%3")
               .arg(date.month(), 2, 10, zero)
               .arg(date.day(), 2, 10, zero)
               .arg(date.year(), 4, 10, zero) +
           u' ' +
           QStringLiteral("%1:%2:%3")
               .arg(time.hour(), 2, 10, zero)
               .arg(time.minute(), 2, 10, zero)
               .arg(time.second(), 2, 10, zero) +
           QStringLiteral(" = ") + randomMeasurement() + u' ' + rawUnitTag + QStringLiteral("  ") +
           randomTemperature() + u' ' + temperatureUnitTag + QStringLiteral("\r\n");
}

void clsOrva::setMinMeasurement(qint16 value) {
    minMeasurement = value;
}
void clsOrva::setMaxMeasurement(qint16 value) {
    maxMeasurement = value;
}
void clsOrva::setMinTemperature(qint16 value) {
    minTemperature = value;
}
void clsOrva::setMaxTemperature(qint16 value) {
    maxTemperature = value;
}

QString clsOrva::randomMeasurement() {
    return randomValue(minMeasurement, maxMeasurement);
}

QString clsOrva::randomTemperature() {
    return randomValue(minTemperature, maxTemperature);
}

QString clsOrva::randomValue(qint16 min, qint16 max) {
    const float r = draw();
    // The span is taken in 32 bits, where no pair of 16-bit bounds can overflow: any bounds give
    // a value, -32768..32767 included. A minimum above the maximum follows the same formula
    // (50..10 gives 11..50). Double precision keeps the product and sum exact, so the value
    // never reaches max + 1.
    const qint32 spanPlusOne = qint32(max) - qint32(min) + 1;
    const double value = std::floor(double(spanPlusOne) * double(r) + double(min));
    return QString::number(qint32(value));
}

float clsOrva::draw() {
    // The time of day is mixed into each draw: a bijection of the generator's output, so the
    // draws stay uniform, and two draws within one millisecond (both values of a line, or a
    // test's fixed clock) still differ, the generator having moved on.
    const quint32 msecs = quint32(clock.now().time().msecsSinceStartOfDay());
    const quint32 mixed = quint32(generator()) ^ (msecs * 0x9E3779B9u);
    // The top 24 bits, scaled: exactly representable, 0 <= r < 1.
    return float(mixed >> 8) * 0x1p-24f;
}
