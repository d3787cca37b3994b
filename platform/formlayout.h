#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

// The windows are laid out in twips, 1440 to the inch; on screen 15 twips make one pixel.
constexpr int twipsPerPixel = 15;

constexpr int pixelsFromTwips(int twips) {
    return (twips + twipsPerPixel / 2) / twipsPerPixel;
}

// A control's place given as left, top, width and height in twips, relative to its container.
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(pixelsFromTwips(left), pixelsFromTwips(top), pixelsFromTwips(width),
                 pixelsFromTwips(height));
}

constexpr QSize twipsSize(int width, int height) {
    return QSize(pixelsFromTwips(width), pixelsFromTwips(height));
}

// Names a new control and puts it in its place.
template <typename Control>
Control* placed(Control* control, const QString& objectName, QRect place) {
    control->setObjectName(objectName);
    control->setGeometry(place);
    return control;
}

// The forms' sans serif face at the given size: the classic dialog face where it exists,
// otherwise the nearest sans serif on the system.
QFont formFont(qreal pointSize, QFont::Weight weight = QFont::Normal);

// The size of the forms' own default font, and the larger size of buttons and selection controls.
constexpr qreal formDefaultPointSize = 8.25;
constexpr qreal formControlPointSize = 9.75;
