#pragma once

#include "clsorva.h"
#include "clsquorilex.h"
#include "modglobals.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class RangeControls;

// The instrument emulator: a front panel with a two-line display and a keypad, a machine
// chooser, and the control panel of the chosen instrument model. While it is open the chosen
// model's newest output waits in emulatorOutput, which the receive path takes instead of the
// serial port's text. The window deletes itself when closed; the models outlive it.
class frmEmulation : public QWidget {
    Q_OBJECT
public:
    // beside: the window to place this one next to (may be null).
    frmEmulation(modGlobals& globals, clsOrva& orva, clsQuorilex& quorilex, QWidget* beside);
    ~frmEmulation() override;

public slots:
    // The receive path used up the one-shot tab injection: the box is cleared.
    void injectSingleTabUsed();
    // Front-panel display tick (Timer1, every second).
    void Timer1_Timer();
    // Output tick (Timer2, every 250 ms): the chosen model's next output into emulatorOutput.
    void Timer2_Timer();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void cboMachine_Change(const QString& text);
    void cmdGO_Click();
    void Command20_Click();
    void chkInjectTab_Click(bool checked);
    void txtIndex_Edited();
    void txtEOLFrequency_Change(const QString& text);
    void VScroll1_Change(int value);

private:
    void buildFrontPanel();
    void buildOrvaPanel();
    void buildQuorilexPanel();

    void Form_Load(QWidget* beside);
    void Form_Unload();
    void selectMachine(const QString& name);
    void refreshDisplay();
    void placeKeyPictures();

    modGlobals& globals;
    clsOrva& orva;
    clsQuorilex& quorilex;

    qint16 powerUpCountdown = 0;
    qint16 integrationCountdown = 0;
    QString panelState;
    bool unloaded = false;

    QTimer Timer1;
    QTimer Timer2;

    QComboBox* cboMachine = nullptr;
    QLabel* lblLine1 = nullptr;
    QLabel* lblLine2 = nullptr;
    QFrame* Frame1 = nullptr;
    QPushButton* cmdGO = nullptr;
    QPushButton* cmdUp = nullptr;
    QPushButton* cmdDn = nullptr;
    QPushButton* cmdLR = nullptr;
    QPushButton* Command20 = nullptr;
    QLabel* picGO = nullptr;
    QLabel* picUp = nullptr;
    QLabel* picDn = nullptr;
    QLabel* picLR = nullptr;
    QGroupBox* famOrva = nullptr;
    QLineEdit* txtIndex = nullptr;
    RangeControls* measureControls = nullptr;
    RangeControls* tempControls = nullptr;
    QGroupBox* famQuorilex = nullptr;
    QLineEdit* txtEOLFrequency = nullptr;
    QCheckBox* chkInjectTab = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QFrame* famIll = nullptr;
    QLabel* lblNextEmulatorOutput = nullptr;
};
