#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

class QCloseEvent;

// A dialog with a fixed border and no minimise or maximise box, shown modally without an owner
// window. A close request from the user (the close box or the window menu) is refused and
// handled as Esc, through reject(), which each dialog routes to its own Cancel (or OK); so the
// window is only ever hidden, never destroyed, by the user.
class FixedDialog : public QDialog {
    Q_OBJECT
protected:
    FixedDialog(const QString& objectName, const QString& caption, QSize clientSize);

    void closeEvent(QCloseEvent* event) override;
};
