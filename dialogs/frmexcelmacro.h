#pragma once

#include "fixeddialog.h"
#include <QString>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

// The modal dialog in which the user decides whether an Excel macro runs when a capture stops,
// and names it. Its user creates it once and keeps it, hidden, between uses: the values are
// written in through MacroEnable and MacroName, ShowForm shows it, and the values are read
// back only when ShowForm reports OK. The name is not checked in any way.
class frmExcelMacro : public FixedDialog {
    Q_OBJECT
public:
    frmExcelMacro();

    bool MacroEnable() const;
    void setMacroEnable(bool enable);
    QString MacroName() const;
    void setMacroName(const QString& name);

    // Shows the dialog modally; true after OK, false after Cancel, Esc or the close box.
    bool ShowForm();

    // Esc and the close box: the same as Cancel.
    void reject() override;

private slots:
    void chkExcelMacro_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    QGroupBox* fraExcelMacro;
    QCheckBox* chkExcelMacro;
    QLineEdit* txtExcelMacro;
    QPushButton* cmdCancel;
    QPushButton* cmdOK;
    bool cancelled = false;
};
