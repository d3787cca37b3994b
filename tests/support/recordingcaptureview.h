#pragma once

#include "captureview.h"
#include "recordingview.h"

// The main window as capture start and stop see it: every call in order, next to what the
// receive path shows ("button Start off", "front Pause", "message title|text").
class RecordingCaptureView final : public RecordingReceiveView, public CaptureView {
public:
    void setButtonEnabled(CaptureButton button, bool enabled) override {
        events << QStringLiteral("button %1 %2").arg(name(button), enabled ? "on" : "off");
    }
    void bringToFront(CaptureButton button) override { events << "front " + name(button); }
    quint32 statusFrameColour() const override { return LampColour::Grey; }
    void showMessage(const QString& title, const QString& text) override {
        events << QStringLiteral("message %1|%2").arg(title, text);
    }

private:
    static QString name(CaptureButton button) {
        return QStringList{"Start", "Stop", "Pause", "Resume", "ComPorts"}.at(int(button));
    }
};
