#include "frmwaiting.h"

#include "formlayout.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

frmWaiting::frmWaiting(std::chrono::milliseconds showAfter)
    : FixedDialog(QStringLiteral("frmWaiting"), QStringLiteral("Celvane"), twipsSize(4050, 1320))
    , m_showAfter(showAfter) {
    setFont(formFont(formDefaultPointSize));
    setWindowModality(Qt::ApplicationModal);
    lblWaiting = placed(new QLabel(QStringLiteral("Waiting for LibreOffice Calc..."), this),
                        QStringLiteral("lblWaiting"), twipsRect(240, 180, 3570, 375));
    lblWaiting->setAlignment(Qt::AlignCenter);
    cmdGiveUp = placed(new QPushButton(QStringLiteral("Give up"), this),
                       QStringLiteral("cmdGiveUp"), twipsRect(1380, 690, 1290, 435));
    connect(cmdGiveUp, &QPushButton::clicked, this, &frmWaiting::cmdGiveUp_Click);
}

bool frmWaiting::keepWaiting(std::chrono::milliseconds waited) {
    if (!m_gaveUp && waited >= m_showAfter && !isVisible()) {
        show();
        raise();
        activateWindow();
    }
    // Shown, it is modal: the clicks can only reach it. Before, they wait for the call's end.
    QCoreApplication::processEvents(isVisible() ? QEventLoop::ExcludeSocketNotifiers
                                                : QEventLoop::ExcludeUserInputEvents |
                                                      QEventLoop::ExcludeSocketNotifiers);
    return !m_gaveUp;
}

void frmWaiting::waitEnded() {
    hide();
    m_gaveUp = false;
}

void frmWaiting::reject() {
    cmdGiveUp_Click();
}

void frmWaiting::cmdGiveUp_Click() {
    m_gaveUp = true;
    hide();
}
