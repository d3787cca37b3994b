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
    void setStatusText(const QString& text) override { events << "status " + (status = text); }
    void setPauseEnabled(bool on) override { events << (on ? "pause on" : "pause off"); }
    void injectSingleTabUsed() override { events << QStringLiteral("inject used"); }

    static QString colourName(quint32 colour) {
        const QList<quint32> known{LampColour::Grey, LampColour::Yellow, LampColour::Green,
                                   LampColour::Red};
        return QStringList{"grey", "yellow", "green", "red", "#" + QString::number(colour, 16)}.at(
            known.contains(colour) ? known.indexOf(colour) : 4);
    }

    QStringList events;
    quint32 excelLamp = LampColour::Grey;
    quint32 comLamp = LampColour::Grey;
    QString status;
};
