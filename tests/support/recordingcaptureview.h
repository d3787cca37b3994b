#pragma once

#include "captureview.h"
#include "statusview.h"

#include <QStringList>

// The main window as the receive path, capture start and stop see it: every call in order
// ("lamp Excel green", "status Ready", "pause on", "button Start off", "front Pause",
// "message title|text"), and the current lamps and status.
class RecordingCaptureView final : public ReceiveView, public CaptureView {
public:
    void setLamp(Lamp lamp, quint32 colour) override {
        (lamp == Lamp::Excel ? excelLamp : comLamp) = colour;
        events << QStringLiteral("lamp %1 %2")
                      .arg(lamp == Lamp::Excel ? "Excel" : "ComPort", colourName(colour));
    }
    void setStatusText(const QString& text) override { events << "status " + (status = text); }
    void setPauseEnabled(bool on) override { events << (on ? "pause on" : "pause off"); }
    void injectSingleTabUsed() override { events << QStringLiteral("inject used"); }
    void setButtonEnabled(CaptureButton button, bool enabled) override {
        events << QStringLiteral("button %1 %2").arg(name(button), enabled ? "on" : "off");
    }
    void bringToFront(CaptureButton button) override { events << "front " + name(button); }
    quint32 statusFrameColour() const override { return LampColour::Grey; }
    void showMessage(const QString& title, const QString& text) override {
        events << QStringLiteral("message %1|%2").arg(title, text);
    }

    static QString colourName(quint32 colour) {
        const QList<quint32> known{LampColour::Grey, LampColour::Yellow, LampColour::Green,
                                   LampColour::Red};
        return QStringList{"grey", "yellow", "green", "red", "#" + QString::number(colour, 16)}.at(
            known.contains(colour) ? known.indexOf(colour) : 4);
    }
    static QString name(CaptureButton button) {
        return QStringList{"Start", "Stop", "Pause", "Resume", "ComPorts"}.at(int(button));
    }

    QStringList events;
    quint32 excelLamp = LampColour::Grey, comLamp = LampColour::Grey;
    QString status;
};
