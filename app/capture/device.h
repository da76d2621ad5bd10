// One video capture device as the capture component drives it: a backend (the virtual
// microscope's camera, a V4L2 camera) behind the component of camera.h. Everything here
// is called on the GUI thread and raises capture::Error on failure.
#pragma once

#include "camera.h"

#include <QSize>

#include <functional>
#include <optional>
#include <vector>

namespace capture {

// Both property dialogs the window uses.
constexpr DialogSet features_and_format{(1u << features_dialog) | (1u << format_dialog)};

// Receives the frames of a streaming device; called on the device's own thread.
using FrameSink = std::function<void(QImage frame)>;

// A number of a device that its "Features" dialog shows and sets: its exposure time, its
// gain, its frame rate, or another of its controls.
struct Feature {
    QString name; // as the dialog shows it: "Exposure time"
    QString unit; // "µs", "dB", "Hz"; empty for a number of its own
    double minimum = 0, maximum = 0;
    double step = 0; // the increment the device takes; 0: any value in the range
    double value = 0;
    // Sets a value and returns the one the device took; raises capture::Error.
    std::function<double(double)> set;
};

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

    // The numbers of its "Features" dialog, read from the device now; none when it has
    // none or is not there. Setting one changes the device at once, also while it streams.
    virtual std::vector<Feature> features() { return {}; }

    // The property dialogs the device offers.
    virtual DialogSet dialogs() = 0;
    // Shows one of them modally; returns whether one was shown. The format dialog is
    // shown only while the device does not stream; when the operator changes the format
    // there, it becomes the device's current format and the device is left closed, so
    // that it opens with the new format next.
    virtual bool show_dialog(int kind) = 0;
};

} // namespace capture
