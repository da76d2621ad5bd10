// One video capture device as the capture component drives it: a backend (the virtual
// microscope's camera, a V4L2 camera) behind the component of camera.h. Everything here
// is called on the GUI thread and raises capture::Error on failure.
#pragma once

#include "camera.h"

#include <QSize>

#include <functional>
#include <optional>

namespace capture {

// Both property dialogs the window uses.
constexpr DialogSet features_and_format{(1u << features_dialog) | (1u << format_dialog)};

// Receives the frames of a streaming device; called on the device's own thread.
using FrameSink = std::function<void(QImage frame)>;

class Device {
  public:
    virtual ~Device() = default; // stops streaming and releases the device

    // Opens the device for streaming without starting it: with a size, the device is
    // asked for that frame size (it delivers what it can); without, it keeps its current
    // format. A device opened before is closed first.
    virtual void open(std::optional<QSize> size) = 0;
    virtual bool is_open() const = 0;
    // Streams frames into `sink` until stop; the device must be open.
    virtual void start(FrameSink sink) = 0;
    // Returns once no frame will reach the sink any more.
    virtual void stop() = 0;
    // Stops and releases the device so that other programs can use it.
    virtual void close() = 0;

    // The property dialogs the device offers.
    virtual DialogSet dialogs() = 0;
    // Shows one of them modally; returns whether one was shown. The format dialog is
    // shown only while the device does not stream; when the operator changes the format
    // there, it becomes the device's current format and the device is left closed, so
    // that it opens with the new format next.
    virtual bool show_dialog(int kind) = 0;
};

} // namespace capture
