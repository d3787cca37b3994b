#pragma once

#include <QString>
#include <QtGlobal>

// Lamp colours as colour values with blue in the high byte.
namespace LampColour {
constexpr quint32 Grey = 0xC0C0C0;   // idle, as laid out
constexpr quint32 Yellow = 0x00FFFF; // in progress, paused, spreadsheet busy, a warning
constexpr quint32 Green = 0x00FF00;  // ready
constexpr quint32 Red = 0x0000FF;    // failed
} // namespace LampColour

enum class Lamp { ComPort, Excel };

// Shown when the serial port cannot be opened, at capture start or after it went away.
inline const QString PortNotAvailableText = QStringLiteral("COM port not available");

// The status panel of the main window: two lamps and the status text. Every change is drawn
// at once, so the user sees each stage even while a slow call follows.
class StatusView {
public:
    virtual ~StatusView() = default;
    virtual void setLamp(Lamp lamp, quint32 colour) = 0;
    virtual void setStatusText(const QString& text) = 0;
};

// What the receive path shows besides the status panel.
class ReceiveView : public virtual StatusView {
public:
    virtual void setPauseEnabled(bool enabled) = 0;
    // The one-shot "inject single tab" request was used up; the emulator clears its box.
    virtual void injectSingleTabUsed() = 0;
};
