// acquisition-bench: prints what the acquisition costs, measured in one run.
// - the time to add one 1024 x 768 frame to an integration, to average the sums, and to
//   combine two integrations (mean, and mean relative to a background);
// - the processor time of the whole process per second of wall time while the virtual
//   camera streams 640 x 480 and 1024 x 768 at 30 frames per second into the window, in
//   per cent of one core, with the preview shown and with the window minimized.
// It fails nothing: the figures are for reading. Goals: an added frame under 5 ms; at
// 1024 x 768 the shown preview under 10% of one core, the minimized window under 5%.
#include "VexolanUpdate/update_form.h"
#include "capture/capture_component.h"
#include "capture/property_page.h"
#include "capture/virtual_camera.h"
#include "entry/headless.h"
#include "logic/frame_sums.h"
#include "sim/microscope.h"
#include "stepper/simulated_stepper.h"
#include "ui/application.h"
#include "ui/handlers.h"
#include "ui/wait.h"
#include "window/form.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

// The best of `runs` runs of `work`, in milliseconds.
double best_ms(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void integration_figures() {
    sim::Microscope scope;
    sim::Noise noise(1);
    std::vector<QImage> frames;
    for (int i = 0; i < 11; ++i) frames.push_back(scope.frame(1024, 768, noise));
    frames::Accumulator sums;
    sums.store(frames[0]);
    size_t next = 1;
    const double add = best_ms(50, [&] { sums.add(frames[next++ % frames.size()]); });
    frames::Accumulator eleven;
    eleven.store(frames[0]);
    for (size_t i = 1; i < 11; ++i) eleven.add(frames[i]);
    QImage mean;
    const double average = best_ms(20, [&] { mean = eleven.mean(11); });
    QImage p;
    const double combine = best_ms(20, [&] {
        p = frames[0];
        frames::mean_into(p, frames[1], frames::Channels::all);
    });
    const double normalize = best_ms(20, [&] {
        p = frames[0];
        frames::normalized_mean_into(p, frames[1], frames[2], frames::Channels::all);
    });
    sim::Noise n2(2);
    const double film = best_ms(20, [&] { p = scope.frame(1024, 768, n2); });
    std::printf("integration, 1024 x 768 frames:\n");
    std::printf("  add one frame          %7.3f ms   (goal: under 5 ms)\n", add);
    std::printf("  average of 11 frames   %7.3f ms\n", average);
    std::printf("  average (p, q)         %7.3f ms\n", combine);
    std::printf("  normalize_and_average  %7.3f ms\n", normalize);
    std::printf("virtual camera: one 1024 x 768 frame filmed in %.3f ms\n", film);
}

// The processor time of the whole process, in per cent of one core, while the camera
// streams into the idle window for `seconds`: the application's own event loop runs, as
// when the operator looks on.
double processor_percent(double seconds) {
    const double cpu_before = cpu_seconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop idle;
    QTimer::singleShot(int(seconds * 1000), &idle, &QEventLoop::quit);
    idle.exec();
    return 100 * (cpu_seconds() - cpu_before) / (wall.nsecsElapsed() / 1e9);
}

void streaming_figures() {
    QTemporaryDir folder;
    headless::Dialogs dialogs(stderr); // answered at once: nothing waits for an operator
    ui::set_error_box(&dialogs);
    auto microscope = std::make_shared<sim::Microscope>();
    capture::CaptureComponent* camera = nullptr;
    Environment env;
    env.program_folder = folder.path() + "/";
    stepper::SimulatedConfig config;
    config.shaft_turned = sim::turned_by_motor_1(microscope->shared_stage());
    env.stepper_factory = [config] {
        return std::make_unique<stepper::SimulatedController>(config);
    };
    env.camera_factory = [&] {
        capture::CaptureOptions options;
        options.genicam = false; // the virtual microscope's camera: no network to look at
        auto c = std::make_unique<capture::CaptureComponent>(microscope, options);
        camera = c.get();
        return c;
    };
    env.dialogs = &dialogs;
    env.end_program = [] {};
    TForm1 form(env, nullptr);
    UpdateEnvironment update_env; // no update server: the check asks nothing
    update_env.program_folder = env.program_folder;
    update_env.dialogs = &dialogs;
    TFormupdate update(update_env);
    form.Formupdate = &update;
    form.show();
    form.FormActivate();
    // the operator picks the virtual microscope and looks at the Preview page
    form.combobox1->setCurrentIndex(form.combobox1->findText(capture::VirtualCamera::name));
    form.combobox1Click();
    form.PageControl1->setCurrentIndex(0);
    int shown = 0;
    auto to_window = camera->on_frame;
    camera->on_frame = [&](const QImage& f) {
        ++shown;
        to_window(f);
    };
    // past the motor's start-up steps, which pause the window on purpose
    ui::wait_until([] { return false; }, 3500);
    std::printf("the virtual camera streaming at 30 frames/s into the window, processor time "
                "of the process in %% of one core (goals at 1024 x 768: under 10%% shown, "
                "under 5%% minimized):\n");
    for (int choice : {2, 3}) {
        if (choice == 2)
            form.Button2Click();
        else
            form.Button3Click();
        const QSize size = capture::standard_sizes[choice - 1];
        form.showNormal();
        ui::wait_until([] { return false; }, 500);
        shown = 0;
        const size_t dropped_before = camera->dropped_frames();
        const double seconds = 5;
        const double on_screen = processor_percent(seconds);
        const double rate = shown / seconds;
        form.showMinimized();
        ui::wait_until([] { return false; }, 500);
        const double minimized = processor_percent(seconds);
        std::printf("  %4d x %-4d  preview shown %5.1f%%, window minimized %5.1f%%   (%.1f "
                    "frames/s shown, %zu dropped)\n",
                    size.width(), size.height(), on_screen, minimized, rate,
                    camera->dropped_frames() - dropped_before);
    }
    form.showNormal();
    form.FormClose();
    ui::set_error_box(nullptr);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ui::Application app(argc, argv);
    integration_figures();
    streaming_figures();
    return 0;
}
