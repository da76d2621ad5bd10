// The camera boundary: the operations the window uses of a video capture device, and the
// frames it delivers. Every operation raises capture::Error when it fails. Frames arrive
// on the GUI thread, one call of `on_frame` per frame, in the order they were taken.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <bitset>
#include <functional>
#include <memory>
#include <stdexcept>

namespace capture {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The kinds of property dialog a device may offer, numbered 0 to 7.
using DialogSet = std::bitset<8>;
constexpr int features_dialog = 3;   // the device's own properties ("Features")
constexpr int format_dialog = 5;     // the stream format of its output ("Format")

class Camera {
public:
    virtual ~Camera() = default;

    // The names of all video capture devices, the names that set_device_name accepts.
    virtual QStringList devices() = 0;
    // Selects the device of that listed name; a name that is not listed, and "None",
    // select no device, and device_name then reads "None".
    virtual void set_device_name(const QString& name) = 0;
    // The selected device's name, or "None".
    virtual QString device_name() = 0;
    // True: builds the capture graph when needed and starts streaming; false: stops.
    virtual void set_enabled(bool enabled) = 0;
    // Builds the capture graph of the selected device without starting it, rebuilding it
    // when the requested format, size or rate no longer match. Raises when no device is
    // selected or it cannot be opened.
    virtual void open() = 0;
    // Starts streaming if it does not stream; stop ends streaming if it streams.
    virtual void start() = 0;
    virtual void stop() = 0;
    // Stops and tears the graph down, releasing the device for other programs.
    virtual void close() = 0;
    // The requested frame size: with `current` false the next graph build asks the device
    // for width x height; with `current` true the device keeps its current format.
    virtual void set_requested_size(int width, int height) = 0;
    virtual void set_current_size(bool current) = 0;
    // Shows the device's property dialog of that kind modally; for the format dialog the
    // streaming stops while it is shown and resumes afterwards if it ran before. Returns
    // whether a dialog was shown.
    virtual bool show_dialog(int kind) = 0;
    // The kinds of property dialog the selected device offers.
    virtual DialogSet available_dialogs() = 0;
    // True: frames flow to `on_frame`.
    virtual void set_frames_enabled(bool enabled) = 0;

    // Receives every frame, 32 bits per pixel, of the size the device delivers.
    std::function<void(const QImage& frame)> on_frame;
};

// Creates the capture component; raises capture::Error when none can be made.
using Factory = std::function<std::unique_ptr<Camera>()>;

}  // namespace capture
