// vexolan: the operator's window. `vexolan --simulate` runs it on the virtual microscope's
// simulated polarizer motor; without it the program looks for a real controller.
#include "VexolanUpdate/update_form.h"
#include "capture/no_camera.h"
#include "desktop.h"
#include "form.h"
#include "main/version.h"
#include "network/curl_ftp_client.h"
#include "network/update_server.h"
#include "stepper/simulated_stepper.h"
#include "ui/application.h"
#include "ui/handlers.h"
#include "ui/termination.h"

#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>

namespace {

bool have_display() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return (platform && *platform) || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    if (!have_display()) {
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
    options.setApplicationDescription(QStringLiteral("Birefringence measurement under a polarizing microscope."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Run on the simulated polarizer motor."));
    const QCommandLineOption stepper_name(QStringLiteral("stepper-name"),
                                          QStringLiteral("Device name of the simulated controller "
                                                         "(a 4-motor unipolar name gives two motors)."),
                                          QStringLiteral("name"));
    options.addOption(simulate);
    options.addOption(stepper_name);
    options.process(app);

    stepper::SimulatedConfig config;
    if (options.isSet(stepper_name)) config.device_name = options.value(stepper_name).toStdString();
    // Without --simulate no controller is attached here: the controller software answers,
    // but no device is ever found.
    config.attaches = options.isSet(simulate);

    ui::QtDialogs dialogs;
    ui::set_error_box(&dialogs);
    Environment env;
    env.program_folder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    env.stepper_factory = [config] { return std::make_unique<stepper::SimulatedController>(config); };
    env.camera_factory = [] { return std::make_unique<capture::NoCamera>(); };
    env.ftp_factory = [] { return std::make_unique<network::CurlFtpClient>(); };
    env.update_server = configured_update_server();
    env.dialogs = &dialogs;
    env.open_file = desktop::open_file;
    env.running_processes = desktop::running_processes;
    env.end_process = desktop::end_process;
    env.end_program = [] { QCoreApplication::exit(0); };

    TForm1 form(env, nullptr);
    TFormupdate update(env);   // created after the main window, hidden; activation needs it
    form.Formupdate = &update;
    dialogs.set_parent(&form);
    ui::close_on_termination(&form);
    form.show();
    form.activateWindow();   // also without a window manager, the first activation starts up
    return app.exec();
}
