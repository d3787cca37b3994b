#pragma once

#include "fixeddialog.h"

#include <QIcon>

class QEvent;
class QLabel;
class QPushButton;
class QShowEvent;

// The About box: the product name, the program's version and the program's 32 x 32 icon, which
// the main window takes as its own. Created once and kept, hidden, between uses; OK, Enter, Esc
// and the close box all only hide it.
class frmAbout : public FixedDialog {
    Q_OBJECT
public:
    frmAbout();

    // Shows the box modally and returns when the user has closed it.
    void ShowForm();

    // The program's icon, also this window's own.
    QIcon programIcon() const;

    // Esc and the close box: the same as OK.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void cmdOK_Click();

private:
    void Form_Activate();

    QPushButton* cmdOK;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* imgIcon;
};
