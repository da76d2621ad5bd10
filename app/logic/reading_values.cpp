#include "reading_values.h"

#include "numbers.h"

#include <array>
#include <cmath>

namespace reading {

namespace {

constexpr long double pi = 3.141592653589793238462643383279502884L;
constexpr long double phi_factor = 1800.0L / 255;          // tenths of a degree per code
constexpr long double transmission_factor = 1000.0L / 255; // tenths of a percent per code
// ... of calibrated angle images, whose background level is 200
constexpr long double calibrated_transmission_factor = 1000.0L / 200;

long double four_decimals(long double v) {
    return tarnwick::round_half_even(v * 10000) / 10000;
}

// The doubled angle of every code as a unit vector.
struct Directions {
    std::array<long double, 256> cos2{}, sin2{};
    Directions() {
        for (int code = 0; code < 256; ++code) {
            cos2[code] = std::cos(code * 2 * pi / 255);
            sin2[code] = std::sin(code * 2 * pi / 255);
        }
    }
};

template <class Visit> int for_each_inside(const QImage& image, const QRect& area, Visit visit) {
    const QRect inside = area & image.rect();
    if (inside.isEmpty()) return 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = inside.left(); x <= inside.right(); ++x) visit(qRed(row[x]));
    }
    return inside.width() * inside.height();
}

} // namespace

void transformx(int control_width, int control_height, int& x, int& y, int bitmap_width,
                int bitmap_height) {
    if (control_width == 0 || control_height == 0) return;
    x = numbers::rounded(static_cast<long double>(x) * bitmap_width / control_width);
    y = numbers::rounded(static_cast<long double>(y) * bitmap_height / control_height);
}

Mean arithmetic_mean(const QImage& image, const QRect& area) {
    long double sum = 0;
    Mean mean;
    mean.pixels = for_each_inside(image, area, [&](int code) {
        sum += code;
        mean.at_top += code == 255;
    });
    if (mean.pixels > 0) mean.value = four_decimals(sum / mean.pixels);
    return mean;
}

Mean axial_mean(const QImage& image, const QRect& area) {
    static const Directions directions;
    long double sx = 0, sy = 0;
    int with_angle = 0;
    Mean mean;
    mean.pixels = for_each_inside(image, area, [&](int code) {
        if (code == 0) return;
        sx += directions.cos2[static_cast<size_t>(code)];
        sy += directions.sin2[static_cast<size_t>(code)];
        ++with_angle;
    });
    // axes spread evenly over all directions have no mean direction
    if (with_angle == 0 || std::hypot(sx, sy) <= with_angle * 1e-12L) return mean;
    long double code = four_decimals(std::atan2(sy, sx) * 255 / (2 * pi));
    if (code <= 0) code += 255; // codes run from just above 0 degrees up to 180
    mean.value = code;
    return mean;
}

QString sind_text(long double value, long double maximum, bool at_top) {
    return (at_top ? QStringLiteral("sin(d)") + QChar(0x2265) : QStringLiteral("sin(d)=")) +
           numbers::shortest(tarnwick::round_half_even(value * maximum * 10000 / 255) / 10000);
}

QString phi_text(std::optional<long double> value) {
    QString text = QStringLiteral("phi    =");
    if (value)
        text +=
            numbers::shortest(tarnwick::round_half_even(*value * phi_factor) / 10) + QChar(0x00b0);
    return text;
}

QString transmission_text(long double value, bool calibrated) {
    const long double factor = calibrated ? calibrated_transmission_factor : transmission_factor;
    return QStringLiteral("I/Io    =") +
           numbers::shortest(tarnwick::round_half_even(value * factor) / 10) + QLatin1Char('%');
}

} // namespace reading
