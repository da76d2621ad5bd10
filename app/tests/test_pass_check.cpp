// The two passes of a measurement held against each other, on integrations made from a
// known model (where a sample moves, a bright square of it stands elsewhere in the backward
// pass): the light behind a polarizer at t is M - a cos 2t - b sin 2t, the forward
// pass sees the polarizer d/2 beyond each angle and the backward pass d/2 short of it, and
// the lamp is (1 + e) times as bright in the backward pass; each sample gets noise of
// one grey level and is rounded as the camera's integrations are.
#include "logic/pass_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

struct Model {
    double backlash_degrees = 0, drift = 0;
    double linear = 30; // the largest |a|, |b| of the field: 0 for an empty, circular one
    // what clips in the forward pass: nothing, the right quarter of the field, or all but
    // two pixels
    enum { none, quarter, nearly_all } clipped = none;
    // a bright square that stands this many pixels further right in the backward pass
    double moved_px = 0;
    double noise = 1; // grey levels of an integration, before it is rounded
};

pass_check::Passes integrated(const Model& m) {
    const int w = 96, h = 64;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, m.noise);
    pass_check::Passes passes;
    for (int i = 0; i < 4; ++i) {
        for (int pass = 0; pass < 2; ++pass) {
            const bool forward = pass == 0;
            const double t =
                (45 * i + (forward ? 0.5 : -0.5) * m.backlash_degrees) * std::numbers::pi / 180;
            QImage image(w, h, QImage::Format_RGB32);
            for (int y = 0; y < h; ++y) {
                uchar* row = image.scanLine(y);
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < 4; ++c) {
                        const double left = 40 + (forward ? 0 : m.moved_px);
                        const bool square = x >= left && x < left + 20 && y >= 20 && y < 40;
                        const double mean = 60 + 60.0 * y / h + 10 * c + (square ? 40 : 0);
                        const double a = m.linear * std::cos(0.13 * x + c),
                                     b = m.linear * std::sin(0.07 * y - c);
                        double v = (mean - a * std::cos(2 * t) - b * std::sin(2 * t)) *
                                   (forward ? 1 : 1 + m.drift);
                        long level = std::clamp(std::lround(v + noise(random)), 0L, 255L);
                        const bool clips = m.clipped == Model::quarter      ? x > 3 * w / 4
                                           : m.clipped == Model::nearly_all ? x + y > 1
                                                                            : false;
                        if (clips && forward) level = 255;
                        row[4 * x + c] = static_cast<uchar>(level);
                    }
            }
            forward ? passes.set_forward(i, image) : passes.set_backward(i, image);
        }
    }
    return passes;
}

} // namespace

TEST(PassCheck, FindsBacklashAndLampDriftAndNothingOnASoundInstrument) {
    const struct {
        const char* what;
        Model model;
        double angle, drift_percent;
        QStringList notes;
    } cases[] = {
        {"sound", {}, 0, 0, {}},
        // most differences of the rounded integrations 0, some 2: no sample moved
        {"sound, with little noise", {.noise = 0.4}, 0, 0, {}},
        {"backlash", {.backlash_degrees = 0.5}, 0.5, 0, {"polarizer backlash 0.5°"}},
        {"drift", {.drift = 0.012}, 0, 1.2, {"lamp drift 1.2%"}},
        {"both",
         {.backlash_degrees = -0.8, .drift = -0.02},
         0.8,
         2,
         {"polarizer backlash 0.8°", "lamp drift 2.0%"}},
        {"clipped samples left out",
         {.backlash_degrees = 0.5, .clipped = Model::quarter},
         0.5,
         0,
         {"polarizer backlash 0.5°"}},
        {"two pixels that did not clip tell nothing",
         {.backlash_degrees = 2, .drift = 0.02, .clipped = Model::nearly_all},
         0,
         0,
         {}},
        {"a square moved by 3 pixels", {.linear = 0, .moved_px = 3}, 0, 0, {"sample moved"}},
        {"empty field: no angle to see",
         {.backlash_degrees = 2, .drift = 0.01, .linear = 0},
         0,
         1,
         {"lamp drift 1.0%"}},
    };
    for (const auto& c : cases) {
        const pass_check::Passes passes = integrated(c.model);
        ASSERT_TRUE(passes.complete()) << c.what;
        const pass_check::Findings found = passes.findings();
        EXPECT_NEAR(found.worst_angle_degrees(), c.angle, 0.05) << c.what;
        EXPECT_NEAR(found.worst_drift_percent(), c.drift_percent, 0.05) << c.what;
        EXPECT_EQ(pass_check::notes(found), c.notes) << c.what;
        EXPECT_EQ(pass_check::warnings(found).size(), c.notes.size()) << c.what;
    }
    pass_check::Passes partial = integrated({});
    partial.set_backward(2, QImage(8, 8, QImage::Format_RGB32));
    EXPECT_FALSE(partial.complete());
    partial.clear();
    EXPECT_FALSE(partial.complete());
}
