// The whole instrument on the test slide: the window drives the simulated motor, which
// turns the virtual microscope's polarizer, integrates the virtual camera's frames at 0,
// 45, 90 and 135 degrees, and the engine reads each disc of the `target` slide back: its
// extinction angle is the disc's slow axis and its |sin(d)| the disc's.
#include "capture/capture_component.h"
#include "capture/virtual_camera.h"
#include "ui/bitmap_file.h"
#include "ui/wait.h"
#include "window_fixture.h"

#include <dlfcn.h>

#include <cmath>
#include <numbers>

namespace {

// Runs the engine library as the program does, on the angle images in `folder`.
int run_engine(const QString& folder) {
    void* library = dlopen(TARNWICK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!library) return -1;
    auto* execute = reinterpret_cast<int32_t (*)(const char*)>(dlsym(library, "Execute_Tarnwick"));
    const QByteArray options = "-P \"" + QFile::encodeName(folder) + "/\"";
    const int result = execute ? execute(options.constData()) : -1;
    dlclose(library);
    return result;
}

// The median red value of the 9 x 9 pixels around (x, y).
int median_red(const QImage& image, int x, int y) {
    std::vector<int> v;
    for (int b = y - 4; b <= y + 4; ++b)
        for (int a = x - 4; a <= x + 4; ++a) v.push_back(qRed(image.pixel(a, b)));
    std::nth_element(v.begin(), v.begin() + 40, v.end());
    return v[40];
}

}  // namespace

TEST_F(WindowTest, EngineReadsTheTargetSlide) {
    auto microscope = std::make_shared<sim::Microscope>();
    capture::CaptureOptions options;
    options.virtual_frame_rate = 300;  // faster than real time
    options.device_folder = folder.path() + "/";
    camera_factory = [&] {
        return std::make_unique<capture::CaptureComponent>(microscope, options);
    };
    stepper::SimulatedConfig config;
    config.shaft_turned = [stage = microscope->shared_stage()](int index, double steps) {
        if (index == 0) stage->set_shaft_steps(steps);
    };
    auto form = make_window(config);
    start_up(*form);
    form->combobox1->setCurrentIndex(form->combobox1->findText(capture::VirtualCamera::name));
    form->combobox1Click();
    ASSERT_TRUE(form->camera.chosen);
    // the stage's motor: 200 steps a turn, positive angles to positive steps, fast
    ui::set_text(form->Edit6, "200");
    ui::set_position(form->TrackBar2, form->TrackBar2->maximum());
    ui::set_position(form->TrackBar3, form->TrackBar3->maximum());

    int state = 1;
    for (int angle : {0, 45, 90, 135}) {
        ui::set_position(form->TrackBar1, angle);
        ASSERT_TRUE(ui::wait_until(
            [&] { return sim->current_position(0) == form->Targetsteps(angle); }, 5000));
        form->integration.new_frame = false;  // a frame of the polarizer at rest
        form->integration.frame_counter = 0;
        form->sequence.target_state = ++state;
        form->Timer6->setEnabled(true);
        ASSERT_TRUE(ui::wait_until([&] { return form->sequence.state == state; }, 5000)) << angle;
        ASSERT_EQ(form->integration.integrated.size(), QSize(640, 480));
        ASSERT_TRUE(ui::write_bitmap(folder.path() + QStringLiteral("/%1.bmp").arg(angle),
                                     form->integration.integrated));
    }
    ASSERT_EQ(run_engine(folder.path()), 0);
    QImage sind, angle;
    ASSERT_EQ(ui::read_bitmap(folder.path() + "/a1.bmp", sind), bmp::Status::ok);
    ASSERT_EQ(ui::read_bitmap(folder.path() + "/a2.bmp", angle), bmp::Status::ok);

    const struct {
        double x, y, sin_d, slow_axis;
    } discs[] = {
        {0.25, 0.30, 0.2, 0}, {0.75, 0.30, 0.4, 45}, {0.25, 0.72, 0.6, 90}, {0.75, 0.72, 0.8, 135}};
    for (const auto& d : discs) {
        const int x = int(d.x * 640), y = int(d.y * 480);
        const double read_sin = median_red(sind, x, y) / 255.0;  // -U 1
        const double read_angle = median_red(angle, x, y) * 180 / 255.0;
        // the slow axis in the engine's own scale: code 41 x 2phi - 0.8 (phi in radians),
        // read as code x 180 / 255 degrees; 0 and 180 are one axis
        const double scaled = (41 * 2 * d.slow_axis * std::numbers::pi / 180 - 0.8) * 180 / 255;
        const double off = std::remainder(read_angle - scaled, 180.0);
        // the light's linear part (0.04) turns the disc's reading by up to
        // asin(0.04 / |sin(d)|) / 2 and shifts its |sin(d)| by up to 0.04; one code more
        const double turned = std::asin(0.04 / d.sin_d) / 2 * 180 / std::numbers::pi;
        EXPECT_NEAR(off, 0, turned + 180 / 255.0)
            << "disc at " << d.slow_axis << " reads " << read_angle;
        EXPECT_NEAR(read_sin, d.sin_d, 0.04 + 1 / 255.0) << "disc at " << d.slow_axis;
    }
    // the empty field shows the light's imperfection, |sin(d)| about 0.04
    EXPECT_NEAR(median_red(sind, 320, 240) / 255.0, 0.04, 0.015);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
}
