#pragma once

#include "captureview.h"
#include "recordingview.h"

#include <QMap>
#include <QStringList>

// The main window as capture start and stop see it: remembers every call in order, next to
// what the receive path shows ("button Start off", "front Pause", "message title|text"),
// and the current state of each button.
class RecordingCaptureView final : public RecordingReceiveView, public CaptureView {
public:
    void setButtonEnabled(CaptureButton button, bool enabled) override {
        enabledButtons[button] = enabled;
        events << QStringLiteral("button %1 %2")
                      .arg(buttonName(button),
                           enabled ? QStringLiteral("on") : QStringLiteral("off"));
    }
    void bringToFront(CaptureButton button) override {
        front = button;
        events << QStringLiteral("front ") + buttonName(button);
    }
    quint32 statusFrameColour() const override { return frameColour; }
    void showMessage(const QString& title, const QString& text) override {
        events << QStringLiteral("message %1|%2").arg(title, text);
    }

    QStringList messages() const { return events.filter(QStringLiteral("message ")); }

    static QString buttonName(CaptureButton button) {
        switch (button) {
        case CaptureButton::Start:
            return QStringLiteral("Start");
        case CaptureButton::Stop:
            return QStringLiteral("Stop");
        case CaptureButton::Pause:
            return QStringLiteral("Pause");
        case CaptureButton::Resume:
            return QStringLiteral("Resume");
        case CaptureButton::ComPorts:
            return QStringLiteral("ComPorts");
        }
        return {};
    }

    QMap<CaptureButton, bool> enabledButtons;
    CaptureButton front = CaptureButton::Resume;
    quint32 frameColour = LampColour::Grey;
};
