// The orientation view of the quantitative maps: each pixel coloured by its slow axis phi
// (the hue goes once round the colour circle from 0 to 180 degrees: hue = 2 phi, so
// 0 and 180, the same axis, share their red) with the retardance R as its brightness,
// from black at 0 nm to full at the top of the scale. The top is the retardance at
// |sin d| = 0.9, the largest R the maps hold (above it R is not valid and masked), so the
// scale is the same for every measurement at one wavelength. Black where the orientation
// does not stand out of the noise (the orientation mask is 0) or R is not valid (NaN); a
// clipped pixel, whose values are wrong, shows a black and white checker that no hue and
// brightness can give.
#pragma once

#include "precise_maps.h"

#include <QImage>
#include <QRgb>

namespace orientation_view {

// The retardance at the top of the brightness scale, nm: R at |sin d| = 0.9.
double top_nm(double wavelength_nm);

// The colour of a slow axis `phi_degrees` (any value: taken modulo 180) with retardance
// `r_nm` on a scale whose top is `top_nm`: hue 2 phi, full saturation, value R / top
// (within 0..1).
QRgb colour(double phi_degrees, double r_nm, double top_nm);

// The maps' picture, one pixel for each of theirs (Format_RGB32).
QImage picture(const precise_maps::Maps& maps, double wavelength_nm);

// Its legend, `legend_width` x `height` pixels (height at least 240): the colour wheel,
// whose direction from its centre is the slow axis (counter-clockwise from the image's x
// axis, as on the screen) and whose distance from the centre is R, the brightness scale
// in nm, and the swatches of what shows no orientation and what clipped.
inline constexpr int legend_width = 160;
QImage legend(double wavelength_nm, int height);
// The centre and the radius of the legend's colour wheel, in pixels of the legend.
struct Wheel {
    int x, y, radius;
};
inline constexpr Wheel wheel{legend_width / 2, 100, 56};

// The picture with its legend on its right (the headless run's picture of the maps).
QImage with_legend(const QImage& picture, const QImage& legend);

} // namespace orientation_view
