#include "clsquorilex.h"

void clsQuorilex::reset() {
    eolFrequency = 16;
    samplesSinceEOL = 16;
    poweredOn = true;
}

void clsQuorilex::setFourDigitIndex(const QString&) {}

QString clsQuorilex::getFourDigitIndex() const {
    return {};
}

void clsQuorilex::turnOn() {
    poweredOn = true;
}

void clsQuorilex::turnOff() {
    poweredOn = false;
}

QString clsQuorilex::nextOutput() {
    if (!poweredOn)
        return {};
    if (samplesSinceEOL < eolFrequency) {
        ++samplesSinceEOL;
        return QStringLiteral("9999\r\n");
    }
    samplesSinceEOL = 0;
    return QStringLiteral("\r\n\r\n\r\n");
}

void clsQuorilex::setMinMeasurement(qint16) {}
void clsQuorilex::setMaxMeasurement(qint16) {}
void clsQuorilex::setMinTemperature(qint16) {}
void clsQuorilex::setMaxTemperature(qint16) {}

void clsQuorilex::setEOLFrequency(qint16 samples) {
    eolFrequency = samples;
}
