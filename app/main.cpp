// vexolan: the operator's window. The camera list offers the virtual microscope beside the
// V4L2 and the GenICam cameras. The polarizer's motor is a Phidget stepper controller,
// driven through the vendor's library libphidget22 when it is installed; without the
// library or a board the window says "Rotating Polarizer Not Connected" and why. `vexolan
// --simulate` turns the virtual microscope's polarizer with a simulated controller instead.
// `--sample NAME` puts another sample under the virtual microscope.
// `vexolan --info FILE...` prints the record rows of saved result images.
// `vexolan --measure BASE` and `vexolan --collect-background` run one measurement or
// background collection without an operator, and without a display if there is none;
// `--camera NAME` runs it on a camera of `vexolan --list-cameras`.
#include "VexolanUpdate/update_form.h"
#include "entry/command_line.h"
#include "entry/headless.h"
#include "entry/services.h"
#include "logic/result_info.h"
#include "logic/version.h"
#include "sim/microscope.h"
#include "ui/application.h"
#include "ui/handlers.h"
#include "ui/termination.h"
#include "window/form.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool have_display() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return (platform && *platform) || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv) {
    // the record rows of saved result images, for other tools: no window, no display
    if (argc >= 2 && std::strcmp(argv[1], "--info") == 0) {
        if (argc == 2) {
            std::fprintf(stderr, "usage: %s --info FILE...\n", argv[0]);
            return command_line::usage_status;
        }
        return result_info::print(argc - 2, argv + 2, stdout, stderr);
    }
    // Without a display a measurement runs on Qt's offscreen platform; the window needs one.
    const bool display = have_display();
    if (!display) qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::Application app(argc, argv);
    app.setApplicationName(QStringLiteral("vexolan"));
    app.setApplicationVersion(QStringLiteral(VEXOLAN_VERSION_TEXT));
    command_line::Arguments arguments;
    if (const std::optional<int> status = command_line::read(app.arguments(), arguments))
        return *status;
    const bool headless_run = arguments.request.command != headless::Command::none;
    if (!display && !headless_run && !arguments.list_cameras) {
        std::fprintf(stderr,
                     "vexolan: no display. On a machine without one, run it under Xvfb:\n"
                     "  xvfb-run -a %s --simulate\n"
                     "or measure without a window: %s --simulate --measure BASE\n",
                     argv[0], argv[0]);
        return 1;
    }

    auto microscope = std::make_shared<sim::Microscope>();
    microscope->set_sample(arguments.sample.toStdString());
    if (arguments.noise_seed) microscope->set_noise_seed(*arguments.noise_seed);
    microscope->set_faults(arguments.faults);
    if (arguments.list_cameras)
        return headless::list_cameras(*services::cameras(microscope)(), stdout);
    if (!arguments.request.camera.isEmpty() &&
        !headless::camera_listed(*services::cameras(microscope)(), arguments.request.camera,
                                 stderr))
        return command_line::usage_status;
    ui::QtDialogs desktop_dialogs;
    headless::Dialogs headless_dialogs(stderr);
    ui::Dialogs& dialogs =
        headless_run ? static_cast<ui::Dialogs&>(headless_dialogs) : desktop_dialogs;
    ui::set_error_box(&dialogs);
    bool ended = false;
    TForm1 form(services::main_window(arguments, microscope, dialogs,
                                      [&ended] {
                                          ended = true;
                                          QCoreApplication::exit(0);
                                      }),
                nullptr);
    TFormupdate update(services::update_window(dialogs)); // hidden; activation needs it
    form.Formupdate = &update;
    desktop_dialogs.set_parent(&form);
    ui::close_on_termination(&form);
    if (headless_run)
        return headless::run(
            form, arguments.request, headless_dialogs, [&ended] { return ended; }, stderr, stdout);
    form.show();
    form.activateWindow(); // also without a window manager, the first activation starts up
    return app.exec();
}
