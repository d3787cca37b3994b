#include "fixeddialog.h"

#include <QCloseEvent>

FixedDialog::FixedDialog(const QString& objectName, const QString& caption, QSize clientSize)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setFixedSize(clientSize);
}

void FixedDialog::closeEvent(QCloseEvent* event) {
    if (!event->spontaneous()) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    reject();
}
