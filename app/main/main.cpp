// vexolan: the operator's window. The camera list offers the virtual microscope beside the
// V4L2 cameras; `vexolan --simulate` turns the virtual microscope's polarizer with a
// simulated motor controller, and without it the program looks for a real controller.
// `--sample NAME` puts another sample under the virtual microscope.
// `vexolan --info FILE...` prints the record rows of saved result images.
// `vexolan --measure BASE` and `vexolan --collect-background` run one measurement or
// background collection without an operator, and without a display if there is none.
#include "VexolanUpdate/update_form.h"
#include "capture/capture_component.h"
#include "capture/virtual_camera.h"
#include "desktop.h"
#include "form.h"
#include "headless.h"
#include "main/version.h"
#include "network/curl_ftp_client.h"
#include "network/update_server.h"
#include "result_info.h"
#include "sim/microscope.h"
#include "stepper/simulated_stepper.h"
#include "ui/application.h"
#include "ui/handlers.h"
#include "ui/termination.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

// The exit status of a command line that does not fit.
constexpr int usage_status = 2;

bool have_display() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return (platform && *platform) || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

QString sample_names() {
    QStringList names;
    for (const sim::SampleInfo& s : sim::samples()) names << QString::fromStdString(s.name);
    return names.join(QStringLiteral(", "));
}

// What the command line asks for, checked.
struct Arguments {
    bool simulate = false;
    std::optional<QString> stepper_name;
    QString sample;
    headless::Request request;
};

// Reads the command line into `out`. Returns the exit status when the program is to end
// here (a fault, which it reports); --help and --version end it themselves.
std::optional<int> read_arguments(const QStringList& arguments, Arguments& out) {
    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Birefringence measurement under a polarizing microscope.\n"
                       "vexolan --info FILE... prints the record rows of saved "
                       "result images."));
    const QCommandLineOption help = options.addHelpOption();
    const QCommandLineOption version = options.addVersionOption();
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Run on the simulated polarizer motor."));
    const QCommandLineOption stepper_name(
        QStringLiteral("stepper-name"),
        QStringLiteral("Device name of the simulated controller "
                       "(a 4-motor unipolar name gives two motors)."),
        QStringLiteral("name"));
    const QCommandLineOption sample(
        QStringLiteral("sample"),
        QStringLiteral("The sample under the virtual microscope: %1 (default target).")
            .arg(sample_names()),
        QStringLiteral("name"), QStringLiteral("target"));
    const QCommandLineOption measure(
        QStringLiteral("measure"),
        QStringLiteral(
            "Measure once without an operator: press Start_Sequence, save the result set as "
            "BASE.a1.bmp, BASE.a2.bmp, BASE.a0.bmp and the Measure page as BASE.png, "
            "close. Exit status: the engine's result code, 20 when no measurement "
            "could start or it failed."),
        QStringLiteral("BASE"));
    const QCommandLineOption collect(
        QStringLiteral("collect-background"),
        QStringLiteral("Collect the background images of the current settings without an "
                       "operator, then close. Exit status 0 when the four were stored, else 20."));
    options.addOptions({simulate, stepper_name, sample, measure, collect});

    auto refuse = [](const QString& text) {
        std::fprintf(stderr, "vexolan: %s\nTry 'vexolan --help'.\n", qPrintable(text));
        return usage_status;
    };
    if (!options.parse(arguments)) return refuse(options.errorText());
    if (options.isSet(help)) options.showHelp(0);
    if (options.isSet(version)) options.showVersion();
    if (!options.positionalArguments().isEmpty())
        return refuse(
            QStringLiteral("unexpected argument \"%1\"").arg(options.positionalArguments()[0]));
    if (options.isSet(measure) && options.value(measure).isEmpty())
        return refuse(QStringLiteral("--measure needs the base name of the result set"));
    if (options.isSet(measure) && options.isSet(collect))
        return refuse(QStringLiteral("--measure and --collect-background are two runs; give one"));
    if (!sim::is_sample(options.value(sample).toStdString()))
        return refuse(QStringLiteral("no sample \"%1\"; the samples are %2")
                          .arg(options.value(sample), sample_names()));

    out.simulate = options.isSet(simulate);
    if (options.isSet(stepper_name)) out.stepper_name = options.value(stepper_name);
    out.sample = options.value(sample);
    if (options.isSet(measure))
        // the base as given, from the folder the command was started in
        out.request = {headless::Command::measure,
                       QFileInfo(options.value(measure)).absoluteFilePath()};
    else if (options.isSet(collect))
        out.request.command = headless::Command::collect_background;
    return std::nullopt;
}

// The window's devices and services: the simulated controller (attached only with
// --simulate) turning the virtual microscope's polarizer, the cameras, the update server,
// the desktop's process hooks. `end_program` is what the orderly close ends with.
Environment make_environment(const Arguments& arguments,
                             const std::shared_ptr<sim::Microscope>& microscope,
                             ui::Dialogs& dialogs, std::function<void()> end_program) {
    stepper::SimulatedConfig config;
    if (arguments.stepper_name) config.device_name = arguments.stepper_name->toStdString();
    // Without --simulate no controller is attached here: the controller software answers,
    // but no device is ever found.
    config.attaches = arguments.simulate;
    config.shaft_turned = sim::turned_by_motor_1(microscope->shared_stage());

    Environment env;
    env.program_folder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    env.stepper_factory = [config] {
        return std::make_unique<stepper::SimulatedController>(config);
    };
    env.camera_factory = [microscope] {
        return std::make_unique<capture::CaptureComponent>(microscope);
    };
    env.ftp_factory = [] { return std::make_unique<network::CurlFtpClient>(); };
    env.update_server = configured_update_server();
    env.dialogs = &dialogs;
    env.open_file = desktop::open_file;
    env.running_processes = desktop::running_processes;
    env.end_process = desktop::end_process;
    env.end_program = std::move(end_program);
    if (arguments.simulate) {
        // a first start on the virtual microscope measures without anything typed: its
        // camera, and its stage's steps and sense at a turn a second, braking in 0.1 s
        const sim::StageGeometry& stage = microscope->stage().geometry();
        env.first_start =
            FirstStart{QString::fromLatin1(capture::VirtualCamera::name), stage.steps_per_turn,
                       stage.sense, stage.steps_per_turn, 10 * stage.steps_per_turn};
    }
    return env;
}

} // namespace

int main(int argc, char** argv) {
    // the record rows of saved result images, for other tools: no window, no display
    if (argc >= 2 && std::strcmp(argv[1], "--info") == 0) {
        if (argc == 2) {
            std::fprintf(stderr, "usage: %s --info FILE...\n", argv[0]);
            return usage_status;
        }
        return result_info::print(argc - 2, argv + 2, stdout, stderr);
    }
    // Without a display a measurement runs on Qt's offscreen platform; the window needs one.
    const bool display = have_display();
    if (!display) qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::Application app(argc, argv);
    app.setApplicationName(QStringLiteral("vexolan"));
    app.setApplicationVersion(QStringLiteral(VEXOLAN_VERSION_TEXT));
    Arguments arguments;
    if (const std::optional<int> status = read_arguments(app.arguments(), arguments))
        return *status;
    const bool headless_run = arguments.request.command != headless::Command::none;
    if (!display && !headless_run) {
        std::fprintf(stderr,
                     "vexolan: no display. On a machine without one, run it under Xvfb:\n"
                     "  xvfb-run -a %s --simulate\n"
                     "or measure without a window: %s --simulate --measure BASE\n",
                     argv[0], argv[0]);
        return 1;
    }

    auto microscope = std::make_shared<sim::Microscope>();
    microscope->set_sample(arguments.sample.toStdString());
    ui::QtDialogs desktop_dialogs;
    headless::Dialogs headless_dialogs(stderr);
    ui::Dialogs& dialogs =
        headless_run ? static_cast<ui::Dialogs&>(headless_dialogs) : desktop_dialogs;
    ui::set_error_box(&dialogs);
    bool ended = false;
    const Environment env = make_environment(arguments, microscope, dialogs, [&ended] {
        ended = true;
        QCoreApplication::exit(0);
    });

    TForm1 form(env, nullptr);
    TFormupdate update(env); // created after the main window, hidden; activation needs it
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
