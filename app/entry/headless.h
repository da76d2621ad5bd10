// Measurements without an operator: `vexolan --measure BASE` and `vexolan
// --collect-background` press the button an operator would press, wait for the outcome,
// keep it and close the window the orderly way. They need no display; the boxes of the
// window become lines on standard error.
#pragma once

#include "capture/camera.h"
#include "ui/dialogs.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

class TForm1;

namespace headless {

enum class Command { none, measure, collect_background };

// The exit status when no measurement could start or it failed before it had a result.
constexpr int no_measurement = 20;
// The exit status of a measurement whose camera clipped where the engine reads: its result
// set is kept, but |sin(d)| is wrong where the camera clipped.
constexpr int saturated = 21;

// The window's boxes for a run without an operator: messages and errors go to `out`, the
// questions are answered No, and a save dialog chooses `save_as` when that is set.
class Dialogs : public ui::Dialogs {
  public:
    explicit Dialogs(std::FILE* out) : out_(out) {}
    void message(const QString& text) override;
    void error(const QString& text) override;
    bool question(const QString& title, const QString& text) override;
    bool execute(ui::FileDialog& dialog) override;

    QStringList errors; // every error shown
    QString save_as;

  private:
    std::FILE* out_;
};

struct Request {
    Command command = Command::none;
    // For a measurement: the result set goes to BASE.a1.bmp, BASE.a2.bmp, BASE.a0.bmp and
    // the picture of the Measure page to BASE.png. An absolute path.
    QString base;
    // The camera of the run, chosen as from the camera list; empty: the settings' camera.
    QString camera;
};

// Prints the names of `camera`'s devices, one a line; returns the exit status, 0.
int list_cameras(capture::Camera& camera, std::FILE* out);
// Whether `name` is one of `camera`'s devices; if not, says so on `err` with the list.
bool camera_listed(capture::Camera& camera, const QString& name, std::FILE* err);

// Runs the request on the window, which was built with `dialogs` and whose orderly end
// makes `ended` true: shows it (its start-up opening the request's camera instead of the
// settings' and choosing it as from the list), waits at most 30 s until a measurement can
// start, presses the button, waits for the outcome, keeps it and closes the window.
// Progress goes to `progress`, the files written to `files`. Returns the exit status: the
// engine's result code of a measurement (saturated instead of 0 when the camera clipped),
// 0 for a background collection that stored its four images, or no_measurement.
int run(TForm1& form, const Request& request, Dialogs& dialogs, const std::function<bool()>& ended,
        std::FILE* progress, std::FILE* files);

} // namespace headless
