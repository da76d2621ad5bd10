// The precise analysis on planes made from known values, and its file's failures: a file
// that cannot be written says why and leaves an earlier one whole.
#include "logic/precise_maps.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
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
