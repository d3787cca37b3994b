#pragma once

#include "fixeddialog.h"
#include "portpreview.h"
#include "portsettings.h"
#include "serialdevices.h"

#include <QTimer>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

// The settings of one COM number: the serial device it stands for, chosen from the devices
// present or typed; its line settings; how the instrument writes its lines; and a live view of
// what arrives, line by line with the cells each becomes. OK stores them in the settings file
// at once, as a port reads them when it opens; Cancel, Esc and the close box change nothing.
class frmPortSettings : public FixedDialog {
    Q_OBJECT
public:
    frmPortSettings(qint16 port, const SerialDevices& devices);

    // Shows the window modally; true once the settings were stored.
    bool ShowForm();

    // Esc and the close box: the same as Cancel.
    void reject() override;

private slots:
    void refreshDevices();
    void lstDevices_Click();
    void settingsChanged();
    void formatChanged();
    void showPreview();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    QGroupBox* group(const QString& name, const QString& caption, QRect place);
    QComboBox* choice(QGroupBox* group, const QString& name, const QString& caption, int row,
                      const QStringList& items);
    void showSettings(const PortSettings& settings);
    // What the controls say; nothing stored yet.
    PortSettings chosen() const;
    // The device as it is stored: its stable name when it has one.
    QString storedDevice() const;
    // Why the device or the line cannot be used, for the user; empty when they can.
    QString lineRefusal() const;

    const qint16 m_port;
    const SerialDevices& m_devices;
    QList<SerialDevice> m_present;
    PortPreview m_preview;
    QTimer m_deviceTimer;

    QListWidget* lstDevices;
    QLineEdit* txtDevice;
    QLabel* lblStableName;
    QComboBox* cboBaud;
    QComboBox* cboParity;
    QComboBox* cboDataBits;
    QComboBox* cboStopBits;
    QComboBox* cboFlowControl;
    QComboBox* cboLineEnd;
    QComboBox* cboFields;
    QComboBox* cboDecimal;
    QCheckBox* chkTime;
    QLabel* lblPreview;
    QTableWidget* tblPreview;
    QLabel* lblError;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    bool m_stored = false;
};
