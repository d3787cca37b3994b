#pragma once

#include "clock.h"

#include <QString>
#include <QtGlobal>

// The QUORILEX instrument's serial output: sample lines "9999", and after every eolFrequency
// samples a group separator of three empty lines.
class clsQuorilex {
public:
    // The instrument sends neither date, time nor random values: the clock is taken only so
    // that both instrument models are made alike.
    explicit clsQuorilex(const Clock&) {}

    void reset();
    // This instrument has no index and no ranges: these members accept their value and do
    // nothing.
    void setFourDigitIndex(const QString& text);
    QString getFourDigitIndex() const;
    void turnOn();
    void turnOff();
    // Empty text while switched off; otherwise "9999" CR LF, or the separator CR LF CR LF CR LF
    // once eolFrequency samples have been sent since the last one.
    QString nextOutput();
    void setMinMeasurement(qint16 value);
    void setMaxMeasurement(qint16 value);
    void setMinTemperature(qint16 value);
    void setMaxTemperature(qint16 value);
    // Stored unchanged; a value of 0 or less makes every output a separator.
    void setEOLFrequency(qint16 samples);

private:
    qint16 eolFrequency = 16;
    qint16 samplesSinceEOL = 16;
    bool poweredOn = true;
};
