// What the main window is built with: everything it touches outside the program. main()
// wires the real ones; tests wire simulated devices, scripted dialogs, a temporary program
// folder and their own clock. The update window has its own (update_environment.h).
#pragma once

#include "capture/camera.h"
#include "stepper/stepper.h"
#include "ui/dialogs.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// The settings of a first start, for devices whose needs are known (the virtual
// microscope): the camera's device name, and motor 1's steps per turn, rotation sense
// (+1 clockwise), speed (steps per second) and acceleration (steps per second squared).
struct FirstStart {
    QString camera;
    int32_t steps_per_turn = 1, sense = 1, speed = 1, acceleration = 1;
};

struct Environment {
    // The folder of the program file, ending with "/": settings, engine library, angle,
    // result and background images.
    QString program_folder;
    // The engine library's file name, loaded from the program folder first, then by the
    // system's normal search.
    QString engine_library = QStringLiteral("libtarnwick.so");

    stepper::Factory stepper_factory;
    capture::Factory camera_factory;
    // Used instead of the start-up values when the program folder has no settings file.
    std::optional<FirstStart> first_start;

    ui::Dialogs* dialogs = nullptr;
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // Opens a file as the desktop does (the camera maker's program): a program is started
    // in `working_folder`, a document opened with its application. False when that failed.
    std::function<bool(const QString& path, const QString& working_folder)> open_file;
    // The orderly end of this process, once the window has closed.
    std::function<void()> end_program;
    // A line for whoever runs the program on what the window could only sum up (the
    // engine library that was not loaded and why); the program writes it on stderr.
    std::function<void(const QString&)> diagnostic;
};
