// The program's command line: what a run is asked to do, checked before anything starts.
#pragma once

#include "headless.h"
#include "sim/microscope.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace command_line {

// The exit status of a command line that does not fit.
inline constexpr int usage_status = 2;

struct Arguments {
    bool simulate = false;
    bool list_cameras = false; // print the camera list and end
    std::optional<QString> stepper_name;
    QString sample;
    std::optional<uint64_t> noise_seed; // the virtual microscope's, for a run that repeats
    sim::Faults faults;                 // the virtual microscope's, none unless asked for
    headless::Request request;
};

// Reads the command line into `out`. Returns the exit status when the program is to end
// here (a fault, which it reports on standard error); --help and --version print their
// text and end the program themselves.
std::optional<int> read(const QStringList& arguments, Arguments& out);

} // namespace command_line
