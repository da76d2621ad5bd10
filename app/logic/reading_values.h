// The readings' arithmetic: control positions to result pixels, the mean of a selection
// of a result image, and the texts of the three reading labels.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <optional>

namespace reading {

// Maps the position (x, y) in a control of the given size to a pixel of a bitmap of the
// given size, in place, rounding ties to even. A control without width or height leaves
// the position as it is.
void transformx(int control_width, int control_height, int& x, int& y, int bitmap_width,
                int bitmap_height);

struct Mean {
    int pixels = 0; // of the selection that lie inside the bitmap
    int at_top = 0; // of them at the top of the scale (255), where the value may be higher
    // The mean stored value (the red component) rounded to four decimals. Nothing when no
    // pixel lies inside; for the axial mean also when no pixel carries an angle.
    std::optional<long double> value;
};

// The arithmetic mean over the pixels of `area` (both ends included) inside the image.
Mean arithmetic_mean(const QImage& image, const QRect& area);

// The mean extinction angle code over the pixels of `area` inside the image that carry
// an angle (code 1 to 255; 0 is "no value"). Extinction angles are axial, 0 and 180
// degrees being one direction, so the mean is the direction of the mean of the vectors
// (cos 2 phi, sin 2 phi), halved; it lies in 0 (exclusive) to 255 (180 degrees).
Mean axial_mean(const QImage& image, const QRect& area);

// "sin(d)=0.502" with `maximum` the sin(d) colour maximum, "sin(d)≥0.5" when pixels of the
// selection lie at the top of the colour scale, whose |sin(d)| may be higher; "phi    =90.4°",
// or "phi    =" without an angle; "I/Io    =50.2%", the transmission also of calibrated
// results, whose angle images put the background's level at 200.
QString sind_text(long double value, long double maximum, bool at_top = false);
QString phi_text(std::optional<long double> value);
QString transmission_text(long double value, bool calibrated = false);

} // namespace reading
