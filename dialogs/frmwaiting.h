#pragma once

#include "callwait.h"
#include "fixeddialog.h"

class QLabel;
class QPushButton;

// The small window shown while a call into the spreadsheet takes long: "Waiting for
// LibreOffice Calc..." with a "Give up" button. Until it shows, the program's windows go on
// painting and keep the user's clicks for after the call; while it shows, only it takes clicks,
// and Give up, Esc or its close box give the call up.
class frmWaiting : public FixedDialog, public CallWait {
    Q_OBJECT
public:
    explicit frmWaiting(std::chrono::milliseconds showAfter = std::chrono::seconds(2));

    bool keepWaiting(std::chrono::milliseconds waited) override;
    void waitEnded() override;

    // Esc and the close box: the same as Give up.
    void reject() override;

private slots:
    void cmdGiveUp_Click();

private:
    const std::chrono::milliseconds m_showAfter;
    QLabel* lblWaiting;
    QPushButton* cmdGiveUp;
    bool m_gaveUp = false;
};
