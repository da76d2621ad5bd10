// The whole instrument in a test: the window over the virtual microscope, its camera
// filming faster than real time, motor 1 of the simulated controller turning its
// polarizer, and the engine library in the program folder. The test slide's truth is
// checked here too.
#pragma once

#include "capture/capture_component.h"
#include "capture/virtual_camera.h"
#include "results_fixture.h"
#include "ui/wait.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

class MicroscopeTest : public ResultsTest {
  protected:
    // The window started up on the virtual microscope, its camera chosen and streaming,
    // motor 1 set for the stage (200 steps a turn, clockwise) at its fastest.
    std::unique_ptr<TForm1> start_microscope() {
        capture::CaptureOptions options;
        options.virtual_frame_rate = 300;            // faster than real time
        options.device_folder = folder.path() + "/"; // no V4L2 camera
        options.genicam = false;                     // and no GenICam one
        camera_factory = [this, options] {
            return std::make_unique<capture::CaptureComponent>(microscope, options);
        };
        stepper::SimulatedConfig config;
        config.shaft_turned = sim::turned_by_motor_1(microscope->shared_stage());
        auto form = make_window(config);
        start_up(*form);
        pick(*form, capture::VirtualCamera::name);
        EXPECT_TRUE(form->camera.chosen);
        stage_at_full_speed(*form);
        EXPECT_TRUE(ui::wait_until([&] { return form->Image0->picture().width() > 2; }, 5000));
        return form;
    }

    // The median red value of the 9 x 9 pixels around (x, y).
    static int median_red(const QImage& image, int x, int y) {
        std::vector<int> v;
        for (int b = y - 4; b <= y + 4; ++b)
            for (int a = x - 4; a <= x + 4; ++a) v.push_back(qRed(image.pixel(a, b)));
        std::nth_element(v.begin(), v.begin() + 40, v.end());
        return v[40];
    }

    // The engine's results of the `target` slide ("a1.bmp", "a2.bmp" of -U 1) against its
    // truth: in the middle of each disc |sin(d)| and the slow axis as extinction angle, up
    // to what the light's imperfection, 8-bit codes and the noise allow. The empty field
    // reads |sin(d)| of about `empty_sind`.
    static void expect_target_truth(const QImage& sind, const QImage& angle, double empty_sind) {
        ASSERT_EQ(sind.size(), angle.size());
        const int w = sind.width(), h = sind.height();
        const struct {
            double x, y, sin_d, slow_axis;
        } discs[] = {{0.25, 0.30, 0.2, 0},
                     {0.75, 0.30, 0.4, 45},
                     {0.25, 0.72, 0.6, 90},
                     {0.75, 0.72, 0.8, 135}};
        for (const auto& d : discs) {
            const int x = int(d.x * w), y = int(d.y * h);
            const double read_sin = median_red(sind, x, y) / 255.0;
            const double read_angle = median_red(angle, x, y) * 180 / 255.0;
            // the slow axis in the engine's own scale: code 41 x 2phi - 0.8 (phi in
            // radians), read as code x 180 / 255 degrees; 0 and 180 are one axis
            const double scaled = (41 * 2 * d.slow_axis * std::numbers::pi / 180 - 0.8) * 180 / 255;
            const double off = std::remainder(read_angle - scaled, 180.0);
            // the light's linear polarization (degree 0.04) turns the disc's reading by up to
            // asin(0.04 / |sin(d)|) / 2 and shifts its |sin(d)| by up to 0.04; one code more
            const double turned = std::asin(0.04 / d.sin_d) / 2 * 180 / std::numbers::pi;
            EXPECT_NEAR(off, 0, turned + 180 / 255.0)
                << "disc at " << d.slow_axis << " reads " << read_angle;
            EXPECT_NEAR(read_sin, d.sin_d, 0.04 + 1 / 255.0) << "disc at " << d.slow_axis;
        }
        EXPECT_NEAR(median_red(sind, w / 2, h / 2) / 255.0, empty_sind, 0.015);
    }

    std::shared_ptr<sim::Microscope> microscope = std::make_shared<sim::Microscope>();
};
