#pragma once

#include "fixeddialog.h"
#include "serialdevices.h"

class QButtonGroup;
class QComboBox;
class QFrame;
class QPushButton;
class QRadioButton;

// The modal dialog in which the user chooses the serial port of the next capture: ports 1 to 4
// as option buttons, 5 to 16 in a list behind "Other". "Settings..." opens the settings of the
// port selected at that moment: the device it stands for, its line and its line format. Each
// GetPort call builds the dialog afresh and destroys it before returning, so nothing carries
// over between calls.
//
// The option buttons are one array, optComPort(0) to optComPort(4), with the object names
// "optComPort_0" to "optComPort_4"; index 0 is "&Other", 1 to 4 stand for ports 1 to 4.
class frmComPort : public FixedDialog {
    Q_OBJECT
public:
    static constexpr int optionCount = 5;
    static constexpr int firstListedPort = 5;
    static constexpr int lastListedPort = 16;

    // Asks the user for a port, starting from currentPort, and returns the chosen one. Cancel,
    // Esc and the close box return currentPort unchanged, and so does OK when nothing usable
    // is chosen (possible only when currentPort lies outside 1 to 16).
    // devices: the serial devices the settings window offers.
    static int GetPort(quint8 currentPort, const SerialDevices& devices = SystemSerialDevices());

    // The option button set inside container (a frame or a window), or nullptr when none is.
    // Only option buttons whose container is exactly container count.
    static QRadioButton* WhichOptionButton(QWidget* container);

    // Esc and the close box: the same as Cancel.
    void reject() override;

private slots:
    void optComPort_Toggled(int index, bool checked);
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdSettings_Click();

private:
    explicit frmComPort(const SerialDevices& devices);

    QRadioButton* optComPort(int index) const;
    void optComPort_Click(int index);
    void preselect(quint8 currentPort);
    int chosenPort(quint8 currentPort) const;
    // The port the options select now; 0 when they select none.
    int selectedPort() const;

    const SerialDevices& m_devices;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QPushButton* cmdSettings;
    QFrame* Frame1;
    QButtonGroup* optComPortGroup;
    QComboBox* cboComPort;
    bool cancelled = false;
};
