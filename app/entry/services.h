// The real devices and services the two windows are built with: the Phidget stepper
// controller, or with --simulate the simulated one turning the virtual microscope's
// polarizer; the cameras, the update server, the desktop's process hooks.
#pragma once

#include "VexolanUpdate/update_environment.h"
#include "command_line.h"
#include "window/environment.h"

#include <functional>
#include <memory>

namespace sim {
class Microscope;
}

namespace services {

// The capture component over this machine's cameras and the virtual microscope's.
capture::Factory cameras(const std::shared_ptr<sim::Microscope>& microscope);

// The main window's. `end_program` is what its orderly close ends with.
Environment main_window(const command_line::Arguments& arguments,
                        const std::shared_ptr<sim::Microscope>& microscope, ui::Dialogs& dialogs,
                        std::function<void()> end_program);
// The update window's, over the same program folder and dialogs.
UpdateEnvironment update_window(ui::Dialogs& dialogs);

} // namespace services
