#pragma once

#include <QtGlobal>

#include <cmath>
#include <optional>

// A number taken to the nearest integer (halves to the even neighbour), when that lies in the
// 16-bit signed range.
inline std::optional<qint16> roundedInt16(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        return std::nullopt;
    return qint16(rounded);
}
