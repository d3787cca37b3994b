#pragma once

#include "clock.h"

#include <QString>
#include <QtGlobal>

#include <random>

// The ORVA instrument's serial output: one result line per call, with a fixed leading number,
// a four-digit index, the date and time, and a random measurement and temperature drawn from
// the ranges the emulator's range controls set.
class clsOrva {
public:
    explicit clsOrva(const Clock& clock);

    void reset();
    // The index as typed: the number at the start of the text, halves to even; a value outside
    // the 16-bit range keeps the previous index.
    void setFourDigitIndex(const QString& text);
    // The index as exactly four characters: "0007", "2345" for 12345, "00-5" for -5.
    QString getFourDigitIndex() const;
    // "0 0042 :: 12-06-2026 14:05:09 = 51 (RAW)  23 (C)" and CR LF.
    QString nextOutput();
    void setMinMeasurement(qint16 value);
    void setMaxMeasurement(qint16 value);
    void setMinTemperature(qint16 value);
    void setMaxTemperature(qint16 value);

private:
    QString randomMeasurement();
    QString randomTemperature();
    // A whole number drawn from min..max (see the .cpp for a minimum above the maximum).
    QString randomValue(qint16 min, qint16 max);
    // One uniform draw in [0, 1), the time of day mixed into it.
    float draw();

    const Clock& clock;
    std::mt19937 generator;

    qint16 leadingNumber = 0;
    qint16 fourDigitIndex = 0;
    QString rawUnitTag;
    QString temperatureUnitTag;
    qint16 minMeasurement = 0;
    qint16 maxMeasurement = 0;
    qint16 minTemperature = 0;
    qint16 maxTemperature = 0;
};
