#pragma once

#include "statusview.h"

#include <QStringList>

// A receive view that remembers what it was told, in order ("lamp Excel green", "status Ready",
// "pause on", "inject used"), and the current state of each thing.
class RecordingReceiveView : public ReceiveView {
public:
    void setLamp(Lamp lamp, quint32 colour) override {
        (lamp == Lamp::Excel ? excelLamp : comLamp) = colour;
        events << QStringLiteral("lamp %1 %2")
                      .arg(lamp == Lamp::Excel ? "Excel" : "ComPort", colourName(colour));
    }
    void setStatusText(const QString& text) override {
        status = text;
        events << QStringLiteral("status ") + text;
    }
    void setPauseEnabled(bool enabled) override {
        events << (enabled ? QStringLiteral("pause on") : QStringLiteral("pause off"));
    }
    void injectSingleTabUsed() override { events << QStringLiteral("inject used"); }

    static QString colourName(quint32 colour) {
        return colour == LampColour::Grey     ? QStringLiteral("grey")
               : colour == LampColour::Yellow ? QStringLiteral("yellow")
               : colour == LampColour::Green  ? QStringLiteral("green")
               : colour == LampColour::Red    ? QStringLiteral("red")
                                           : QStringLiteral("#%1").arg(colour, 6, 16, QChar(u'0'));
    }

    QStringList events;
    quint32 excelLamp = LampColour::Grey;
    quint32 comLamp = LampColour::Grey;
    QString status;
};
