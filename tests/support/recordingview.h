#pragma once

#include "statusview.h"

#include <QStringList>

// A receive view that remembers what it was told, in order ("lamp Excel green", "status Ready",
// "pause on", "inject used"), and the current state of each thing.
class RecordingReceiveView : public ReceiveView {
public:
    void setLamp(Lamp lamp, quint32 colour) override {
        (lamp == Lamp::Excel ? excelLamp : comLamp) = colour;
        events << QStringLiteral("lamp %1 %2").arg(lampName(lamp), colourName(colour));
    }
    void setStatusText(const QString& text) override {
        status = text;
        events << QStringLiteral("status ") + text;
    }
    void setPauseEnabled(bool enabled) override {
        pauseEnabled = enabled;
        events << (enabled ? QStringLiteral("pause on") : QStringLiteral("pause off"));
    }
    void injectSingleTabUsed() override { events << QStringLiteral("inject used"); }

    static QString lampName(Lamp lamp) {
        return lamp == Lamp::Excel ? QStringLiteral("Excel") : QStringLiteral("ComPort");
    }
    static QString colourName(quint32 colour) {
        switch (colour) {
        case LampColour::Grey:
            return QStringLiteral("grey");
        case LampColour::Yellow:
            return QStringLiteral("yellow");
        case LampColour::Green:
            return QStringLiteral("green");
        case LampColour::Red:
            return QStringLiteral("red");
        default:
            return QStringLiteral("#%1").arg(colour, 6, 16, QLatin1Char('0'));
        }
    }

    QStringList events;
    quint32 excelLamp = LampColour::Grey;
    quint32 comLamp = LampColour::Grey;
    QString status;
    bool pauseEnabled = false;
};
