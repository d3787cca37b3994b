#pragma once

#include "clsorva.h"

#include <QGroupBox>
#include <QScopedValueRollback>

class QCheckBox;
class QLabel;
class QScrollBar;

// One range group of the ORVA panel: master, minimum and maximum bars (0..100) with their value
// labels and the "Maintain Min/Max Window" box. Moving the master collapses the range onto one
// value; moving the minimum or the maximum opens a range, and while the window is maintained
// the other bar follows at the stored distance. Every change of a bound reaches the model at
// once, while a thumb is dragged too.
//
// The bars' valueChanged signals drive the whole cascade: a value set from a handler runs the
// bar's handler at once, and only when the value really changes, which is what ends it. A bar
// the user moves takes the role that the focus gives, whichever way it moved (a click, a key,
// the mouse wheel without the focus), so that every move runs the same rules.
class RangeControls : public QGroupBox {
    Q_OBJECT
public:
    // Object names of the group's controls: the bars and value labels are named from the stem
    // (scroll<stem>LS, lbl<stem>Min, chkMaintain<stem>MinMaxWindow...), the frame and the three
    // caption labels are given.
    struct Names {
        const char* frame;
        const char* stem;
        const char* masterCaption;
        const char* minimumCaption;
        const char* maximumCaption;
    };
    using BoundSetter = void (clsOrva::*)(qint16);

    // focus: which bar last had the focus (1 master, 2 minimum, 3 maximum); window: the
    // maintained distance. Both outlive the group.
    RangeControls(const QString& title, const Names& names, qint16& focus, qint16& window,
                  clsOrva& orva, BoundSetter setMinimum, BoundSetter setMaximum, QWidget* parent);

    // The window's load: the master has the focus role and is set to 50, so the range and the
    // model's bounds become 50..50.
    void start();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void masterChanged(int value);
    void minimumMoved(int value);
    void maximumMoved(int value);
    void maintainClicked(bool checked);

private:
    void masterLabelChanged();
    // Entered by a bar's handler: outside a cascade the bar is the one the user moves and takes
    // its role; the values the handler sets are the cascade's own until it returns.
    QScopedValueRollback<bool> cascadeFrom(qint16 role);

    qint16& focus;
    qint16& window;
    clsOrva& orva;
    BoundSetter setMinimum;
    BoundSetter setMaximum;

    QScrollBar* master;
    QLabel* masterValue;
    QScrollBar* minimum;
    QLabel* minimumValue;
    QScrollBar* maximum;
    QLabel* maximumValue;
    QCheckBox* maintain;
    bool inCascade = false;
};
