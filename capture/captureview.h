#pragma once

#include "statusview.h"

#include <QString>
#include <QtGlobal>

// The buttons of the main window that capture start and stop switch.
enum class CaptureButton { Start, Stop, Pause, Resume, ComPorts };

// What capture start and stop show on the main window besides the status panel.
class CaptureView : public virtual StatusView {
public:
    virtual void setButtonEnabled(CaptureButton button, bool enabled) = 0;
    // Pause and Resume share one place on the window: the one brought to the front is seen.
    virtual void bringToFront(CaptureButton button) = 0;
    // The background colour of the frame that holds the lamps, as it is at this moment.
    virtual quint32 statusFrameColour() const = 0;
    // A modal box with an OK button only and no icon; returns once the user has closed it.
    virtual void showMessage(const QString& title, const QString& text) = 0;
};
