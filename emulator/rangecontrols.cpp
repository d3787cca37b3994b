#include "rangecontrols.h"

#include "formlayout.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>

namespace {

constexpr qint16 kMasterFocus = 1;
constexpr qint16 kMinimumFocus = 2;
constexpr qint16 kMaximumFocus = 3;

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QColor colour,
                  const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setGeometry(geometry);
    return label;
}

// One row of the group: caption, value label (showing "RTF" until the first value) and bar.
struct Row {
    QLabel* value;
    QScrollBar* bar;
};

Row makeRow(QWidget* parent, const QString& stem, const char* captionName, const QString& caption,
            const char* part, QColor colour, int top) {
    makeLabel(parent, QLatin1String(captionName), caption, colour, twipsRect(120, top, 1035, 255));
    const QString name = stem + QLatin1String(part);
    Row row;
    row.value = makeLabel(parent, QStringLiteral("lbl") + name, QStringLiteral("RTF"), colour,
                          twipsRect(1200, top, 480, 255));
    row.bar = new QScrollBar(Qt::Horizontal, parent);
    row.bar->setObjectName(QStringLiteral("scroll") + name);
    row.bar->setRange(0, 100);
    row.bar->setSingleStep(1);
    row.bar->setPageStep(1);
    row.bar->setValue(0);
    // A click on a bar or tabbing to it makes it the bar the user moves.
    row.bar->setFocusPolicy(Qt::StrongFocus);
    row.bar->setGeometry(twipsRect(1680, top, 1695, 255));
    return row;
}

} // namespace

RangeControls::RangeControls(const QString& title, const Names& names, qint16& focus,
                             qint16& window, clsOrva& orva, BoundSetter setMinimum,
                             BoundSetter setMaximum, QWidget* parent)
    : QGroupBox(title, parent)
    , focus(focus)
    , window(window)
    , orva(orva)
    , setMinimum(setMinimum)
    , setMaximum(setMaximum) {
    setObjectName(QLatin1String(names.frame));
    const QString stem = QLatin1String(names.stem);
    const QColor blue(0x00, 0x00, 0xFF);
    const QColor green(0x00, 0x80, 0x00);
    const QColor brown(0x80, 0x40, 0x00);

    const Row masterRow =
        makeRow(this, stem, names.masterCaption, QStringLiteral("Master:"), "LS", blue, 240);
    const Row minimumRow =
        makeRow(this, stem, names.minimumCaption, QStringLiteral("Minimum:"), "Min", green, 600);
    const Row maximumRow =
        makeRow(this, stem, names.maximumCaption, QStringLiteral("Maximum:"), "Max", brown, 960);
    master = masterRow.bar;
    masterValue = masterRow.value;
    minimum = minimumRow.bar;
    minimumValue = minimumRow.value;
    maximum = maximumRow.bar;
    maximumValue = maximumRow.value;

    maintain = new QCheckBox(QStringLiteral("Maintain Min/Max Window"), this);
    maintain->setObjectName(QStringLiteral("chkMaintain%1MinMaxWindow").arg(stem));
    maintain->setGeometry(twipsRect(120, 1320, 3255, 255));

    for (QScrollBar* bar : {master, minimum, maximum})
        bar->installEventFilter(this);
    connect(master, &QScrollBar::valueChanged, this, &RangeControls::masterChanged);
    connect(minimum, &QScrollBar::valueChanged, this, &RangeControls::minimumMoved);
    connect(maximum, &QScrollBar::valueChanged, this, &RangeControls::maximumMoved);
    connect(maintain, &QCheckBox::toggled, this, &RangeControls::maintainClicked);
}

void RangeControls::start() {
    focus = kMasterFocus;
    master->setValue(50);
}

bool RangeControls::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == master)
            focus = kMasterFocus;
        else if (watched == minimum)
            focus = kMinimumFocus;
        else if (watched == maximum)
            focus = kMaximumFocus;
    } else if (event->type() == QEvent::KeyPress) {
        // The right arrow key raises a bar and the left one lowers it, as the bar is drawn
        // (some toolkit versions turn the two round on horizontal scroll bars).
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Right || key == Qt::Key_Left) {
            static_cast<QScrollBar*>(watched)->triggerAction(
                key == Qt::Key_Right ? QAbstractSlider::SliderSingleStepAdd
                                     : QAbstractSlider::SliderSingleStepSub);
            return true;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

QScopedValueRollback<bool> RangeControls::cascadeFrom(qint16 role) {
    if (!inCascade)
        focus = role;
    return QScopedValueRollback<bool>(inCascade, true);
}

void RangeControls::masterChanged(int value) {
    const auto cascade = cascadeFrom(kMasterFocus);
    const QString text = QString::number(value);
    if (masterValue->text() == text)
        return;
    masterValue->setText(text);
    masterLabelChanged();
}

void RangeControls::masterLabelChanged() {
    minimum->setValue(masterValue->text().toInt());
    maintain->setChecked(false);
}

void RangeControls::minimumMoved(int value) {
    const auto cascade = cascadeFrom(kMinimumFocus);
    minimumValue->setText(QString::number(value));
    (orva.*setMinimum)(qint16(value));
    if (focus == kMasterFocus) {
        maximum->setValue(value);
    } else if (focus == kMinimumFocus) {
        if (maintain->isChecked()) {
            const int target = value + window;
            maximum->setValue(target > maximum->maximum() ? maximum->maximum() : target);
        } else if (value > maximum->value()) {
            maximum->setValue(value);
        }
    }
}

void RangeControls::maximumMoved(int value) {
    const auto cascade = cascadeFrom(kMaximumFocus);
    maximumValue->setText(QString::number(value));
    (orva.*setMaximum)(qint16(value));
    if (focus != kMaximumFocus)
        return;
    if (maintain->isChecked()) {
        const int target = value - window;
        minimum->setValue(target < minimum->minimum() ? minimum->minimum() : target);
    } else if (value < minimum->value()) {
        minimum->setValue(value);
    }
}

void RangeControls::maintainClicked(bool checked) {
    master->setEnabled(!checked);
    window = qint16(maximum->value() - minimum->value());
}
