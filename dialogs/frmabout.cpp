#include "frmabout.h"

#include "formlayout.h"
#include "version.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

// The icon lives in this library's resources, which a static library has to load explicitly.
static void loadDialogResources() {
    Q_INIT_RESOURCE(dialogs);
}

frmAbout::frmAbout()
    : FixedDialog(QStringLiteral("frmAbout"), QStringLiteral("About"), twipsSize(3705, 2340)) {
    loadDialogResources();
    setFont(formFont(formDefaultPointSize));
    setWindowIcon(QIcon(QStringLiteral(":/dialogs/celvane.png")));

    cmdOK = placed(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOK"),
                   twipsRect(1440, 1800, 1215, 495));
    cmdOK->setDefault(true);

    lblTitle = placed(new QLabel(QStringLiteral("Celvane"), this), QStringLiteral("lblTitle"),
                      twipsRect(1080, 120, 1935, 1095));
    lblTitle->setAlignment(Qt::AlignCenter);
    lblTitle->setFont(formFont(12, QFont::Bold));
    lblTitle->setFrameStyle(QFrame::Box | QFrame::Plain);
    lblTitle->setLineWidth(1);

    lblVersion = placed(new QLabel(QStringLiteral("Version"), this), QStringLiteral("lblVersion"),
                        twipsRect(840, 1320, 2415, 375));
    lblVersion->setAlignment(Qt::AlignCenter);

    // The icon once more, beside the title.
    imgIcon = placed(new QLabel(this), QStringLiteral("imgIcon"), twipsRect(240, 360, 480, 480));
    imgIcon->setPixmap(windowIcon().pixmap(32, 32));

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::ShowForm() {
    exec();
}

QIcon frmAbout::programIcon() const {
    return windowIcon();
}

void frmAbout::reject() {
    cmdOK_Click();
}

bool frmAbout::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return FixedDialog::event(event);
}

// Being shown counts as being activated, whether or not the window system reports it.
void frmAbout::showEvent(QShowEvent* event) {
    Form_Activate();
    FixedDialog::showEvent(event);
}

void frmAbout::cmdOK_Click() {
    QDialog::accept();
}

void frmAbout::Form_Activate() {
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(Version::major)
                            .arg(Version::minor)
                            .arg(Version::revision));
}
