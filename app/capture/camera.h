// The camera boundary: the operations the window uses of a video capture device, and the
// frames it delivers. Every operation raises capture::Error when it fails. Frames arrive
// on the GUI thread, one call of `on_frame` per frame, in the order they were taken; a
// GUI thread that is too busy for them loses the oldest ones, never the newest.
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
constexpr int features_dialog = 3; // the device's own properties ("Features")
constexpr int format_dialog = 5;   // the stream format of its output ("Format")

class Camera {
  public:
    virtual ~Camera() = default;

    // The names of all video capture devices, the names that set_device_name accepts.
    virtual QStringList devices() = 0;
    // Selects the device of that listed name (selecting the selected one again changes
    // nothing); another device is closed first. A name that is not listed, and "None",
    // select no device, and device_name then reads "None".
    virtual void set_device_name(const QString& name) = 0;
    // The selected device's name, or "None".
    virtual QString device_name() = 0;
    // True: opens the device when needed (as open does) and starts streaming, raising as
    // open does; false: stops streaming.
    virtual void set_enabled(bool enabled) = 0;
    // Opens the selected device (builds its capture graph) without starting it, opening
    // it again when it was asked for another size than the one requested now. Raises
    // when no device is selected or it cannot be opened.
    virtual void open() = 0;
    // Starts streaming if it does not stream, opening the device first when needed;
    // raises as open does.
    virtual void start() = 0;
    // Stops streaming if it streams; frames not yet delivered are dropped.
    virtual void stop() = 0;
    // Stops and closes the device, releasing it for other programs; it stays selected.
    virtual void close() = 0;
    // The frame size to request: asked of the device at its next opening while `current`
    // is false; while `current` is true the device keeps its current format. The
    // component starts with 1024 x 768 and `current` true.
    virtual void set_requested_size(int width, int height) = 0;
    virtual void set_current_size(bool current) = 0;
    // Shows the selected device's property dialog of that kind modally; for the format
    // dialog the streaming stops while it is shown and resumes afterwards if it ran
    // before, with the format chosen there. Returns whether a dialog was shown (none
    // without a device or of a kind the device does not offer).
    virtual bool show_dialog(int kind) = 0;
    // The kinds of property dialog the selected device offers; none without a device.
    virtual DialogSet available_dialogs() = 0;
    // True (as at the start): frames flow to `on_frame`; false: they are dropped.
    virtual void set_frames_enabled(bool enabled) = 0;

    // Receives every frame, 32 bits per pixel (Format_RGB32), of the size the device
    // delivers, on the GUI thread, in the order the frames were taken.
    std::function<void(const QImage& frame)> on_frame;
};

// Creates the capture component; raises capture::Error when none can be made.
using Factory = std::function<std::unique_ptr<Camera>()>;

} // namespace capture
