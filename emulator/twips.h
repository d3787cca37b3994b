#pragma once

#include <QRect>

// The emulator window is laid out in twips, 15 to the pixel.
constexpr int twips(int value) {
    return (2 * value + 15) / 30;
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}
