// The microscope's objectives, one table in the order of the Measure page's buttons 4x,
// 10x, 20x and 40x and of the Set-up page's image scale fields.
#pragma once

#include <QString>

#include <array>

namespace objectives {

// The magnifications; the saved record and the background images' names take them.
inline constexpr std::array<int, 4> magnification{4, 10, 20, 40};

// An image scale is the width of the field in mm: a number from 0 (none given) up to this.
inline constexpr long double max_image_scale = 1000;
inline bool is_image_scale(long double mm) {
    return mm >= 0 && mm <= max_image_scale;
}

// "04x_", "10x_", ...: the objective's part of a background image's name.
inline QString background_name(size_t objective) {
    return QStringLiteral("%1x_").arg(magnification[objective], 2, 10, QLatin1Char('0'));
}

} // namespace objectives
