// The precise analysis on planes made from known values, and its file's failures: a file
// that cannot be written says why and leaves an earlier one whole.
#include "logic/precise_maps.h"
#include "sim/microscope.h"
#include "sim/samples.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

precise_maps::Plane uniform(float value, int width = 8, int height = 6) {
    return {width, height, std::vector<float>(size_t(width) * size_t(height), value), {}};
}

// Integrations of a sample of transmission t, |sin d| s and slow axis phi under light of
// level k, the same forward and back but for +-noise at one pixel; and the background set.
// (A calibrated J beyond 1.275 clips, as the designed angle images do: t (1 + s) stays
// below.)
precise_maps::Inputs sample(double t, double s, double phi, float k = 200) {
    precise_maps::Inputs in;
    const double a = t * s * std::sin(2 * phi * std::numbers::pi / 180);
    const double b = t * s * std::cos(2 * phi * std::numbers::pi / 180);
    const double level[4] = {t - a, t - b, t + a, t + b}; // 0, 45, 90, 135 degrees
    for (size_t p = 0; p < 4; ++p) {
        in.forward[p] = uniform(float(k * level[p]));
        in.backward[p] = uniform(float(k * level[p]));
        in.forward[p].values[0] += 0.5f;
        in.backward[p].values[0] -= 0.5f;
        in.background[p] = uniform(k);
    }
    return in;
}

} // namespace

TEST(PreciseMaps, ValuesFromTheFourAngles) {
    using namespace precise_maps;
    const struct {
        double t, s, phi;
    } cases[] = {
        {0.7, 0.2, 0}, {0.8, 0.5, 30}, {0.5, 0.8, 135}, {0.6, 0.95, 100}, {0.6, 0.001, 10}};
    for (const auto& c : cases) {
        const Maps maps = compute(sample(c.t, c.s, c.phi));
        SCOPED_TRACE(c.phi);
        const size_t i = 9; // a pixel without noise beside the one with it, whose noise it shares
        EXPECT_TRUE(maps.calibrated);
        EXPECT_NEAR(maps.page[transmission][i], c.t, 1e-5);
        EXPECT_NEAR(maps.page[sin_d][i], c.s, 1e-5);
        if (c.s <= 0.9)
            EXPECT_NEAR(maps.page[retardance][i], 550 / (2 * std::numbers::pi) * std::asin(c.s),
                        1e-3);
        else
            EXPECT_TRUE(std::isnan(maps.page[retardance][i])) << "beyond a quarter wave";
        const bool oriented = maps.page[orientation_mask][i] == 1;
        EXPECT_EQ(oriented, c.s > 0.01);
        if (oriented) {
            EXPECT_NEAR(maps.page[slow_axis][i], c.phi, 1e-3);
        }
        EXPECT_GT(maps.page[slow_axis_sigma][i], 0);
        EXPECT_EQ(maps.page[clipped_mask][i], 0);
    }
    // a forward integration at the top of the camera's range is clipped
    Inputs bright = sample(0.7, 0.2, 0);
    bright.forward[2].values[3] = 255;
    EXPECT_EQ(compute(bright).page[clipped_mask][3], 1);
    // so is a pixel whose sample is the mean of three channels of which one clipped, in an
    // integration or in a background image
    QImage frame(8, 6, QImage::Format_RGB32);
    frame.fill(qRgb(100, 100, 100));
    frame.setPixel(4, 0, qRgb(100, 255, 100));
    frames::Accumulator sums;
    sums.store(frame);
    sums.add(frame);
    Inputs grey = sample(0.5, 0.2, 0);
    grey.backward[1] = plane_of(sums, 2, saturation::Channel::mean);
    EXPECT_EQ(grey.backward[1].values[4], 455 / 3.0f);
    grey.background[3] = plane_of(frame, saturation::Channel::mean);
    EXPECT_EQ(grey.background[3].clipped[4], 1);
    grey.background[3].values.assign(48, 200);
    grey.background[3].clipped.assign(48, 0);
    grey.background[3].clipped[6] = 1;
    const Maps greys = compute(grey);
    EXPECT_EQ(greys.page[clipped_mask][4], 1);
    EXPECT_EQ(greys.page[clipped_mask][6], 1);
    EXPECT_EQ(greys.page[clipped_mask][5], 0);
    // planes of two sizes are refused
    Inputs mixed = sample(0.7, 0.2, 0);
    mixed.backward[1] = uniform(100, 4, 4);
    EXPECT_THROW(compute(mixed), std::invalid_argument);
}

TEST(PreciseMaps, AFileThatCannotBeWrittenSaysWhyAndKeepsTheEarlierOne) {
    QTemporaryDir folder;
    const QString path = folder.filePath("maps.ome.tif");
    const precise_maps::Maps maps = precise_maps::compute(sample(0.7, 0.2, 0));
    ASSERT_EQ(precise_maps::write_ome_tiff(path, maps, {}), "");
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray earlier = written.readAll();
    written.close();
    EXPECT_GT(earlier.size(), 8 * 8 * 6 * 4);
    ASSERT_TRUE(QDir(folder.path()).mkdir("maps.ome.tif.part")); // where the new one goes
    const QString why = precise_maps::write_ome_tiff(path, maps, {});
    EXPECT_TRUE(why.startsWith("cannot write \"" + path + "\": ")) << why.toStdString();
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), earlier);
    EXPECT_NE(precise_maps::write_ome_tiff(folder.filePath("none/maps.ome.tif"), maps, {}), "");
}

namespace {

// The four angle images of the virtual microscope's optics without noise or vignetting, at
// 200 grey levels a unit, over a field of width x 1 whose column x the polarizer sees as
// `field(x)`; the background set is the empty field's under `light`.
precise_maps::Inputs optics_of(const std::function<sim::PolarizerResponse(int)>& field, int width,
                               const sim::Jones& light) {
    const sim::PolarizerResponse empty = sim::polarizer_response(light);
    precise_maps::Inputs in;
    for (size_t p = 0; p < 4; ++p) {
        // the stage turns the polarizer clockwise by the program's angle
        const double t = -45.0 * double(p);
        in.forward[p] = uniform(0, width, 1);
        in.background[p] = uniform(float(200 * empty.intensity(t)), width, 1);
        for (int x = 0; x < width; ++x)
            in.forward[p].values[size_t(x)] = float(200 * field(x).intensity(t));
        in.backward[p] = in.forward[p];
    }
    return in;
}

// The wedge's column x, in the green band.
precise_maps::Inputs wedge(int width, const sim::Jones& light) {
    const auto w = sim::make_sample("wedge", width, 1, light);
    return optics_of([&](int x) { return w->at(x + 0.5, 0.5)[1]; }, width, light);
}

} // namespace

// The lamp's light is not quite circular (its linear component 0.04): what the sample makes of
// that linear component is taken out, through the linear block of the retarder's Mueller matrix.
// On the wedge, whose path difference is x nm at column x, the half-wave zeros (where
// circular light reads |sin d| 0) read 0.04 when the background images are all there is to
// go by; told that the wedge is beyond a quarter wave there, they read below 0.01. The
// full-wave zeros and the test slide's discs stay at their truth.
TEST(PreciseMaps, TheLightsLinearPartTakenOutThroughTheSample) {
    using namespace precise_maps;
    const int width = 1100;
    const Maps truth = compute(wedge(width, sim::elliptical_light(0, 0)));
    Inputs lamp = wedge(width, sim::Microscope::light());
    const Maps below = compute(lamp);
    // where cos d < 0 at the band's middle wavelength (535 nm)
    lamp.beyond_quarter_wave.resize(size_t(width));
    for (int x = 0; x < width; ++x)
        lamp.beyond_quarter_wave[size_t(x)] = std::cos(2 * std::numbers::pi * (x + 0.5) / 535) < 0;
    const Maps told = compute(lamp);
    int zeros = 0;
    for (int x = 1; x + 1 < width; ++x) {
        const auto s = [&](const Maps& m, int at) { return m.page[sin_d][size_t(at)]; };
        if (!(s(truth, x) <= s(truth, x - 1) && s(truth, x) < s(truth, x + 1) &&
              s(truth, x) < 0.01))
            continue;
        ++zeros;
        SCOPED_TRACE(x);
        const bool half_wave = lamp.beyond_quarter_wave[size_t(x)] != 0;
        EXPECT_LT(s(told, x), 0.01);
        if (half_wave) {
            EXPECT_GT(s(below, x), 0.03) << "the light's linear component, reflected by the wedge";
        } else {
            EXPECT_LT(s(below, x), 0.01);
        }
    }
    EXPECT_EQ(zeros, 4); // near 267, 535, 802 and 1070 nm
    // the test slide's discs and other plates below a quarter wave, at any axis: no hint
    // needed
    const sim::Jones light = sim::Microscope::light();
    for (double plate_sin_d : {0.2, 0.4, 0.6, 0.8, 0.85})
        for (double phi = 0; phi < 180; phi += 15) {
            const Maps plate = compute(optics_of(
                [&](int) {
                    return sim::polarizer_response(
                        sim::through_retarder(light, phi, std::asin(plate_sin_d), 0.7));
                },
                1, light));
            SCOPED_TRACE(phi);
            EXPECT_NEAR(plate.page[sin_d][0], plate_sin_d, 5e-4);
            EXPECT_NEAR(std::remainder(plate.page[slow_axis][0] - phi, 180), 0, 1e-3);
            EXPECT_NEAR(plate.page[transmission][0], 0.7, 1e-5);
        }
}
