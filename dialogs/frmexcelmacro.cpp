#include "frmexcelmacro.h"

#include "formlayout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

frmExcelMacro::frmExcelMacro()
    : FixedDialog(QStringLiteral("frmExcelMacro"), QStringLiteral("Excel Configuration"),
                  twipsSize(4650, 1725)) {
    setFont(formFont(formDefaultPointSize));

    fraExcelMacro = placed(new QGroupBox(this), QStringLiteral("fraExcelMacro"),
                           twipsRect(120, 120, 4335, 855));

    chkExcelMacro = placed(new QCheckBox(QStringLiteral("&Run Excel Macro:"), fraExcelMacro),
                           QStringLiteral("chkExcelMacro"), twipsRect(240, 240, 1695, 375));

    txtExcelMacro = placed(new QLineEdit(fraExcelMacro), QStringLiteral("txtExcelMacro"),
                           twipsRect(1920, 240, 2295, 375));

    cmdCancel = placed(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("cmdCancel"),
                       twipsRect(2520, 1080, 972, 492));
    cmdCancel->setFont(formFont(formControlPointSize));

    cmdOK = placed(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOK"),
                   twipsRect(1320, 1080, 972, 492));
    cmdOK->setFont(formFont(formControlPointSize));
    cmdOK->setDefault(true);

    setTabOrder(chkExcelMacro, txtExcelMacro);
    setTabOrder(txtExcelMacro, cmdCancel);
    setTabOrder(cmdCancel, cmdOK);

    chkExcelMacro_Click();

    connect(chkExcelMacro, &QCheckBox::toggled, this, &frmExcelMacro::chkExcelMacro_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmExcelMacro::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmExcelMacro::cmdCancel_Click);
}

bool frmExcelMacro::MacroEnable() const {
    return chkExcelMacro->isChecked();
}

void frmExcelMacro::setMacroEnable(bool enable) {
    chkExcelMacro->setChecked(enable);
}

QString frmExcelMacro::MacroName() const {
    return txtExcelMacro->text();
}

void frmExcelMacro::setMacroName(const QString& name) {
    txtExcelMacro->setText(name);
}

bool frmExcelMacro::ShowForm() {
    cancelled = false;
    chkExcelMacro_Click();
    exec();
    return !cancelled;
}

void frmExcelMacro::reject() {
    cmdCancel_Click();
}

// The name can be typed only while the macro is switched on; switched off, the box takes the
// frame's colour and keeps its text.
void frmExcelMacro::chkExcelMacro_Click() {
    const bool enabled = chkExcelMacro->isChecked();
    QPalette palette = txtExcelMacro->palette();
    palette.setColor(QPalette::Base,
                     enabled ? QColor(Qt::white)
                             : fraExcelMacro->palette().color(fraExcelMacro->backgroundRole()));
    txtExcelMacro->setPalette(palette);
    txtExcelMacro->setEnabled(enabled);
}

void frmExcelMacro::cmdOK_Click() {
    QDialog::accept();
}

void frmExcelMacro::cmdCancel_Click() {
    cancelled = true;
    QDialog::reject();
}
