// Cameras of the Video4Linux2 interface, reached through libv4l2, which converts every
// pixel format a camera sends to 24-bit RGB. A camera is listed under its card name; it
// is asked for a frame size and the driver decides what arrives; a thread of its own
// reads the frames. Its "Features" dialog shows the camera's controls, its exposure time
// and gain first, its "Format" dialog the frame sizes it offers.
#pragma once

#include "device.h"

#include <QSize>
#include <QString>

#include <atomic>
#include <thread>
#include <vector>

namespace capture {

struct V4l2Node {
    QString name; // the card name, made unique with the node's name when two are alike
    QString path; // the device node, e.g. /dev/video0
};

// The capture devices among the nodes "video<N>" of `folder` (ending with "/"), in the
// order of N. Nodes that cannot be opened or that capture no video are left out.
std::vector<V4l2Node> v4l2_cameras(const QString& folder = QStringLiteral("/dev/"));

class V4l2Camera : public Device {
  public:
    explicit V4l2Camera(V4l2Node node);
    ~V4l2Camera() override;

    void open(std::optional<QSize> size) override;
    bool is_open() const override { return fd_ >= 0; }
    void start(FrameSink sink) override;
    void stop() override;
    void close() override;
    // The driver's exposure and gain controls, those it has: "Exposure time" in µs (its
    // absolute exposure, counted in 100 µs), or "Exposure" in the driver's own units, and
    // "Gain" and "Analogue gain" in the driver's units. Read and set on the open camera, or
    // on its node opened for the moment.
    std::vector<Feature> features() override;
    DialogSet dialogs() override;
    bool show_dialog(int kind) override;

    // The frame size the driver delivers while open.
    QSize size() const { return size_; }

  private:
    struct Buffer {
        void* start = nullptr;
        size_t length = 0;
    };
    // Raises capture::Error naming the camera, the step and the system's reason.
    [[noreturn]] void fail(const QString& step, int error) const;
    int open_node() const;
    std::vector<Feature> features_of(int fd);
    void read_frames(const FrameSink& sink);
    bool show_controls(int fd);
    bool show_formats(int fd);

    V4l2Node node_;
    int fd_ = -1;
    QSize size_;
    int bytes_per_line_ = 0;
    QSize chosen_size_; // the format dialog's choice, the camera's current size from then on
    std::vector<Buffer> buffers_;
    std::atomic<bool> running_{false};
    std::thread thread_;
    int wake_[2] = {-1, -1}; // stop() writes to it to wake the reading thread
};

} // namespace capture
