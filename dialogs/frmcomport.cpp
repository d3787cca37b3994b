#include "frmcomport.h"

#include "formlayout.h"
#include "frmportsettings.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QRadioButton>

frmComPort::frmComPort(const SerialDevices& devices)
    : FixedDialog(QStringLiteral("frmComPort"), QStringLiteral("COM Port Selection"),
                  twipsSize(3150, 2850))
    , m_devices(devices) {
    setFont(formFont(formControlPointSize));

    cmdOK = placed(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOK"),
                   twipsRect(2040, 240, 972, 492));
    cmdOK->setDefault(true);

    cmdCancel = placed(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("cmdCancel"),
                       twipsRect(2040, 840, 972, 492));

    cmdSettings = placed(new QPushButton(QStringLiteral("&Settings..."), this),
                         QStringLiteral("cmdSettings"), twipsRect(2040, 1440, 972, 492));

    Frame1 = placed(new QFrame(this), QStringLiteral("Frame1"), twipsRect(120, 120, 1812, 2532));
    Frame1->setFrameShape(QFrame::NoFrame);

    // Ports 1 to 4 from the top, then "Other" a little apart above its list.
    struct Option {
        int index;
        const char* caption;
        int top;
    };
    constexpr Option options[] = {{1, "COM &1", 120},
                                  {2, "COM &2", 480},
                                  {3, "COM &3", 840},
                                  {4, "COM &4", 1200},
                                  {0, "&Other", 1680}};
    optComPortGroup = new QButtonGroup(this);
    for (const Option& option : options) {
        optComPortGroup->addButton(
            placed(new QRadioButton(QString::fromLatin1(option.caption), Frame1),
                   QStringLiteral("optComPort_%1").arg(option.index),
                   twipsRect(120, option.top, 1212, 372)),
            option.index);
    }

    cboComPort = placed(new QComboBox(Frame1), QStringLiteral("cboComPort"),
                        twipsRect(360, 2040, 1212, 336));
    for (int port = firstListedPort; port <= lastListedPort; ++port)
        cboComPort->addItem(QStringLiteral("COM %1").arg(port));
    cboComPort->setCurrentIndex(-1);
    cboComPort->setEnabled(false);

    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, cmdSettings);
    setTabOrder(cmdSettings, optComPort(1));
    setTabOrder(optComPort(1), optComPort(2));
    setTabOrder(optComPort(2), optComPort(3));
    setTabOrder(optComPort(3), optComPort(4));
    setTabOrder(optComPort(4), optComPort(0));
    setTabOrder(optComPort(0), cboComPort);

    connect(optComPortGroup, &QButtonGroup::idToggled, this, &frmComPort::optComPort_Toggled);
    connect(cmdOK, &QPushButton::clicked, this, &frmComPort::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmComPort::cmdCancel_Click);
    connect(cmdSettings, &QPushButton::clicked, this, &frmComPort::cmdSettings_Click);
}

int frmComPort::GetPort(quint8 currentPort, const SerialDevices& devices) {
    frmComPort dialog(devices);
    dialog.preselect(currentPort);
    dialog.exec();
    return dialog.chosenPort(currentPort);
}

QRadioButton* frmComPort::WhichOptionButton(QWidget* container) {
    if (container == nullptr)
        return nullptr;
    QWidget* form = container->isWindow() ? container : container->window();
    const QList<QRadioButton*> buttons = form->findChildren<QRadioButton*>();
    for (QRadioButton* button : buttons) {
        if (button->parentWidget() == container && button->isChecked())
            return button;
    }
    return nullptr;
}

void frmComPort::reject() {
    cmdCancel_Click();
}

void frmComPort::optComPort_Toggled(int index, bool checked) {
    if (checked)
        optComPort_Click(index);
}

void frmComPort::cmdOK_Click() {
    QDialog::accept();
}

void frmComPort::cmdCancel_Click() {
    cancelled = true;
    QDialog::reject();
}

QRadioButton* frmComPort::optComPort(int index) const {
    return qobject_cast<QRadioButton*>(optComPortGroup->button(index));
}

// The list is for "Other" only.
void frmComPort::optComPort_Click(int index) {
    cboComPort->setEnabled(index == 0);
}

void frmComPort::preselect(quint8 currentPort) {
    if (currentPort >= 1 && currentPort < optionCount) {
        optComPort(currentPort)->setChecked(true);
        cboComPort->setCurrentIndex(0);
    } else if (currentPort >= firstListedPort && currentPort <= lastListedPort) {
        optComPort(0)->setChecked(true);
        cboComPort->setCurrentIndex(currentPort - firstListedPort);
    }
}

int frmComPort::chosenPort(quint8 currentPort) const {
    if (cancelled)
        return currentPort;
    const int port = selectedPort();
    return port == 0 ? currentPort : port;
}

int frmComPort::selectedPort() const {
    QRadioButton* chosen = WhichOptionButton(Frame1);
    if (chosen == nullptr)
        return 0;
    const int index = optComPortGroup->id(chosen);
    if (index != 0)
        return index;
    const int position = cboComPort->currentIndex();
    return position < 0 ? 0 : position + firstListedPort;
}

void frmComPort::cmdSettings_Click() {
    if (const int port = selectedPort(); port != 0)
        frmPortSettings(qint16(port), m_devices).ShowForm();
}
