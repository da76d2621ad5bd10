// vexolan: the operator's window. The camera list offers the virtual microscope beside the
// V4L2 cameras; `vexolan --simulate` turns the virtual microscope's polarizer with a
// simulated motor controller, and without it the program looks for a real controller.
// `--sample NAME` puts another sample under the virtual microscope.
// `vexolan --info FILE...` prints the record rows of saved result images.
// `vexolan --measure BASE` and `vexolan --collect-background` run one measurement or
// background collection without an operator, and without a display if there is none.
#include "VexolanUpdate/update_form.h"
#include "capture/capture_component.h"
#include "desktop.h"
#include "capture/virtual_camera.h"
#include "form.h"
#include "headless.h"
#include "sim/microscope.h"
#include "main/version.h"
#include "network/curl_ftp_client.h"
#include "network/update_server.h"
#include "result_info.h"
#include "stepper/simulated_stepper.h"
#include "ui/application.h"
#include "ui/handlers.h"
#include "ui/termination.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool have_display() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return (platform && *platform) || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    // the record rows of saved result images, for other tools: no window, no display
    if (argc >= 2 && std::strcmp(argv[1], "--info") == 0) {
        if (argc == 2) {
            std::fprintf(stderr, "usage: %s --info FILE...\n", argv[0]);
            return 2;
        }
        return result_info::print(argc - 2, argv + 2, stdout, stderr);
    }
    const headless::Command command = headless::requested(argc, argv);
    if (!have_display() && command != headless::Command::none) {
        qputenv("QT_QPA_PLATFORM", "offscreen");   // a measurement needs no screen
    } else if (!have_display()) {
        std::fprintf(stderr,
                     "vexolan: no display. On a machine without one, run it under Xvfb:\n"
                     "  xvfb-run -a %s --simulate\n",
                     argv[0]);
        return 1;
    }
    ui::Application app(argc, argv);
    app.setApplicationName(QStringLiteral("vexolan"));
    app.setApplicationVersion(QStringLiteral(VEXOLAN_VERSION_TEXT));

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Birefringence measurement under a polarizing microscope.\n"
                       "vexolan --info FILE... prints the record rows of saved "
                       "result images."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Run on the simulated polarizer motor."));
    const QCommandLineOption stepper_name(QStringLiteral("stepper-name"),
                                          QStringLiteral("Device name of the simulated controller "
                                                         "(a 4-motor unipolar name gives two motors)."),
                                          QStringLiteral("name"));
    QStringList sample_names;
    for (const sim::SampleInfo& s : sim::samples()) sample_names << QString::fromStdString(s.name);
    const QCommandLineOption sample(QStringLiteral("sample"),
                                    QStringLiteral("The sample under the virtual microscope: %1 (default target).")
                                        .arg(sample_names.join(QStringLiteral(", "))),
                                    QStringLiteral("name"), QStringLiteral("target"));
    const QCommandLineOption measure(
        QStringList{QStringLiteral("measure")},
        QStringLiteral("Measure once without an operator: press Start_Sequence, save the result set as "
                       "BASE.a1.bmp, BASE.a2.bmp, BASE.a0.bmp and the Measure page as BASE.png, "
                       "close. Exit status: the engine's result code, 20 when no measurement "
                       "could start or it failed."),
        QStringLiteral("BASE"));
    const QCommandLineOption collect(
        QStringLiteral("collect-background"),
        QStringLiteral("Collect the background images of the current settings without an "
                       "operator, then close. Exit status 0 when the four were stored, else 20."));
    options.addOption(simulate);
    options.addOption(stepper_name);
    options.addOption(sample);
    options.addOption(measure);
    options.addOption(collect);
    options.process(app);
    if (options.isSet(measure) && options.isSet(collect)) {
        std::fprintf(stderr, "vexolan: --measure and --collect-background are two runs; give one\n");
        return 2;
    }

    auto microscope = std::make_shared<sim::Microscope>();
    if (!sim::is_sample(options.value(sample).toStdString())) {
        std::fprintf(stderr, "vexolan: no sample \"%s\"; the samples are %s\n", qPrintable(options.value(sample)),
                     qPrintable(sample_names.join(QStringLiteral(", "))));
        return 2;
    }
    microscope->set_sample(options.value(sample).toStdString());

    stepper::SimulatedConfig config;
    if (options.isSet(stepper_name)) config.device_name = options.value(stepper_name).toStdString();
    // Without --simulate no controller is attached here: the controller software answers,
    // but no device is ever found.
    config.attaches = options.isSet(simulate);
    // motor 1 turns the virtual microscope's polarizer
    config.shaft_turned = [stage = microscope->shared_stage()](int index, double steps) {
        if (index == 0) stage->set_shaft_steps(steps);
    };

    ui::QtDialogs desktop_dialogs;
    headless::Dialogs headless_dialogs(stderr);
    ui::Dialogs& dialogs = command == headless::Command::none
                               ? static_cast<ui::Dialogs&>(desktop_dialogs)
                               : headless_dialogs;
    ui::set_error_box(&dialogs);
    bool ended = false;
    Environment env;
    env.program_folder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    env.stepper_factory = [config] { return std::make_unique<stepper::SimulatedController>(config); };
    env.camera_factory = [microscope] { return std::make_unique<capture::CaptureComponent>(microscope); };
    env.ftp_factory = [] { return std::make_unique<network::CurlFtpClient>(); };
    env.update_server = configured_update_server();
    env.dialogs = &dialogs;
    env.open_file = desktop::open_file;
    env.running_processes = desktop::running_processes;
    env.end_process = desktop::end_process;
    env.end_program = [&ended] {
        ended = true;
        QCoreApplication::exit(0);
    };
    if (options.isSet(simulate)) {
        // a first start on the virtual microscope measures without anything typed: its
        // camera, and its stage's steps and sense at a turn a second, braking in 0.1 s
        const sim::StageGeometry& stage = microscope->stage().geometry();
        env.first_start = FirstStart{QString::fromLatin1(capture::VirtualCamera::name),
                                     stage.steps_per_turn, stage.sense, stage.steps_per_turn,
                                     10 * stage.steps_per_turn};
    }

    TForm1 form(env, nullptr);
    TFormupdate update(env);   // created after the main window, hidden; activation needs it
    form.Formupdate = &update;
    desktop_dialogs.set_parent(&form);
    ui::close_on_termination(&form);
    if (command != headless::Command::none) {
        // the base as given, from the folder the command was started in
        const headless::Request request{
            command, options.isSet(measure) ? QFileInfo(options.value(measure)).absoluteFilePath()
                                            : QString()};
        return headless::run(form, request, headless_dialogs, [&ended] { return ended; }, stderr,
                             stdout);
    }
    form.show();
    form.activateWindow();   // also without a window manager, the first activation starts up
    return app.exec();
}
