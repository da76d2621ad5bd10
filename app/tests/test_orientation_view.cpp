// The orientation view on maps of known slow axes and retardances: the hue follows the
// axis once round the circle over 0..180 degrees, the brightness the retardance on its
// scale, and what has no orientation, no valid retardance or clipped is told apart.
#include "logic/orientation_view.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cmath>
#include <numbers>

namespace {

enum Shows { coloured, black, checker };

// the hue in degrees of the slow axis's circle: half the colour's hue
double axis_of(QRgb c) {
    return QColor(c).hsvHueF() * 180;
}

} // namespace

TEST(OrientationView, HueIsTheSlowAxisAndBrightnessTheRetardance) {
    using namespace precise_maps;
    const double top = orientation_view::top_nm(550);
    EXPECT_NEAR(top, 550 / (2 * std::numbers::pi) * std::asin(0.9), 1e-9);
    const struct {
        double phi, r_nm;
        float oriented, clipped;
        Shows shows;
    } cases[] = {
        {0, top, 1, 0, coloured},      {30, top / 2, 1, 0, coloured},
        {90, top / 4, 1, 0, coloured}, {135, 0.8 * top, 1, 0, coloured},
        {179.5, top, 1, 0, coloured},  {60, 2 * top, 1, 0, coloured}, // beyond: full
        {45, top / 2, 0, 0, black},    {45, std::nan(""), 1, 0, black},
        {45, top / 2, 1, 1, checker},
    };
    Maps maps;
    maps.width = int(std::size(cases));
    maps.height = 2;
    for (auto& page : maps.page) page.assign(size_t(maps.width) * 2, 0.f);
    for (size_t i = 0; i < std::size(cases); ++i)
        for (size_t row : {size_t(0), size_t(maps.width)}) {
            maps.page[slow_axis][row + i] = float(cases[i].phi);
            maps.page[retardance][row + i] = float(cases[i].r_nm);
            maps.page[orientation_mask][row + i] = cases[i].oriented;
            maps.page[clipped_mask][row + i] = cases[i].clipped;
        }
    const QImage view = orientation_view::picture(maps, 550);
    ASSERT_EQ(view.size(), QSize(maps.width, 2));
    for (int x = 0; x < maps.width; ++x) {
        const auto& c = cases[size_t(x)];
        SCOPED_TRACE(x);
        const QRgb p = view.pixel(x, 0);
        switch (c.shows) {
        case coloured:
            EXPECT_NEAR(QColor(p).valueF(), std::min(1.0, c.r_nm / top), 0.005);
            EXPECT_NEAR(QColor(p).hsvSaturationF(), 1, 0.01);
            EXPECT_NEAR(std::remainder(axis_of(p) - c.phi, 180), 0, 0.5);
            break;
        case black:
            EXPECT_EQ(p, qRgb(0, 0, 0));
            break;
        case checker:
            EXPECT_TRUE(p == qRgb(0, 0, 0) || p == qRgb(255, 255, 255));
            break;
        }
    }
    // a clipped region is a black and white checker, neither a hue nor a shade of one
    maps.page[clipped_mask].assign(maps.page[clipped_mask].size(), 1.f);
    const QImage clipped = orientation_view::picture(maps, 550);
    EXPECT_EQ(clipped.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(clipped.pixel(2, 0), qRgb(255, 255, 255));
    EXPECT_EQ(clipped.pixel(3, 1), qRgb(255, 255, 255));
    EXPECT_EQ(clipped.pixel(5, 1), qRgb(0, 0, 0));
    // axes a half turn apart are one axis: one colour
    EXPECT_EQ(orientation_view::colour(10, top, top), orientation_view::colour(190, top, top));
    EXPECT_EQ(orientation_view::colour(-30, top, top), orientation_view::colour(150, top, top));
}

// The legend's wheel is the view of every axis and retardance: the direction from its
// centre is the axis (counter-clockwise, up on the screen), the distance the retardance.
TEST(OrientationView, LegendWheelIsTheScale) {
    const QImage legend = orientation_view::legend(550, 240);
    ASSERT_EQ(legend.size(), QSize(orientation_view::legend_width, 240));
    const auto w = orientation_view::wheel;
    const double top = orientation_view::top_nm(550);
    for (double axis : {0.0, 30.0, 60.0, 90.0, 120.0, 150.0})
        for (double part : {0.5, 0.9}) {
            SCOPED_TRACE(axis);
            const double t = axis * std::numbers::pi / 180, d = part * w.radius;
            const int x = w.x + int(std::lround(d * std::cos(t)));
            const int y = w.y - int(std::lround(d * std::sin(t)));
            const QRgb shown = legend.pixel(x, y);
            EXPECT_NEAR(QColor(shown).valueF(), part, 0.03);
            EXPECT_NEAR(std::remainder(axis_of(shown) - axis, 180), 0, 2);
            // the opposite direction is the same axis
            const QRgb opposite = legend.pixel(2 * w.x - x, 2 * w.y - y);
            EXPECT_NEAR(std::remainder(axis_of(opposite) - axis, 180), 0, 2);
            EXPECT_NEAR(QColor(shown).valueF(),
                        QColor(orientation_view::colour(axis, part * top, top)).valueF(), 0.03);
        }
}
