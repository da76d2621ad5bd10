#include "services.h"

#include "capture/capture_component.h"
#include "capture/virtual_camera.h"
#include "desktop.h"
#include "network/curl_ftp_client.h"
#include "network/update_server.h"
#include "sim/microscope.h"
#include "stepper/phidget_stepper.h"
#include "stepper/simulated_stepper.h"
#include "ui/wait.h"

#include <QCoreApplication>

#include <cstdio>

namespace services {

namespace {

QString program_folder() {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

} // namespace

capture::Factory cameras(const std::shared_ptr<sim::Microscope>& microscope) {
    return [microscope] { return std::make_unique<capture::CaptureComponent>(microscope); };
}

Environment main_window(const command_line::Arguments& arguments,
                        const std::shared_ptr<sim::Microscope>& microscope, ui::Dialogs& dialogs,
                        std::function<void()> end_program) {
    Environment env;
    env.program_folder = program_folder();
    if (arguments.simulate) {
        stepper::SimulatedConfig config;
        if (arguments.stepper_name) config.device_name = arguments.stepper_name->toStdString();
        config.shaft_turned = sim::turned_by_motor_1(microscope->shared_stage());
        env.stepper_factory = [config] {
            return std::make_unique<stepper::SimulatedController>(config);
        };
    } else {
        // the board on the microscope, through the vendor's library
        env.stepper_factory = [] { return std::make_unique<stepper::PhidgetController>(); };
    }
    env.camera_factory = cameras(microscope);
    env.dialogs = &dialogs;
    env.open_file = desktop::open_file;
    env.end_program = std::move(end_program);
    env.diagnostic = [](const QString& line) {
        std::fprintf(stderr, "vexolan: %s\n", line.toLocal8Bit().constData());
    };
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

UpdateEnvironment update_window(ui::Dialogs& dialogs) {
    UpdateEnvironment env;
    env.program_folder = program_folder();
    // the window's events run while the client waits on the server
    env.ftp_factory = [] { return std::make_unique<network::CurlFtpClient>(ui::process_messages); };
    env.update_server = configured_update_server();
    env.installer_key = configured_installer_key();
    env.dialogs = &dialogs;
    env.open_file = desktop::open_file;
    env.running_processes = desktop::running_processes;
    env.end_process = desktop::end_process;
    return env;
}

} // namespace services
