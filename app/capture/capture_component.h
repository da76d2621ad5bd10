// The capture component: the window's camera (camera.h) over the devices of this machine,
// the virtual microscope's camera first, then the V4L2 cameras, then the GenICam cameras
// (USB3 Vision, GigE Vision) that Aravis finds. It keeps the component's
// own settings (the device, the requested size, whether frames flow) and brings frames
// from the device's thread to the GUI thread through a bounded queue (frame_queue.h).
#pragma once

#include "camera.h"
#include "device.h"
#include "frame_queue.h"
#include "sim/microscope.h"

#include <QSize>

#include <memory>
#include <optional>

namespace capture {

class VirtualCamera;

struct CaptureOptions {
    // The virtual camera's frames per second; tests may run it faster than real time.
    double virtual_frame_rate = 30;
    // Where the V4L2 device nodes are.
    QString device_folder = QStringLiteral("/dev/");
    // Whether GenICam cameras are looked for. Their listing takes a second, as GigE Vision
    // cameras are given that long to answer on the machine's networks.
    bool genicam = true;
    // Frames waiting for the GUI thread at the most.
    size_t queue_capacity = 4;
};

class CaptureComponent : public Camera {
  public:
    CaptureComponent(std::shared_ptr<sim::Microscope> microscope, CaptureOptions options = {});
    ~CaptureComponent() override;

    QStringList devices() override;
    void set_device_name(const QString& name) override;
    QString device_name() override { return name_; }
    void set_enabled(bool enabled) override;
    void open() override;
    void start() override;
    void stop() override;
    void close() override;
    void set_requested_size(int width, int height) override { requested_ = QSize(width, height); }
    void set_current_size(bool current) override { current_ = current; }
    bool show_dialog(int kind) override;
    DialogSet available_dialogs() override;
    void set_frames_enabled(bool enabled) override { frames_ = enabled; }

    VirtualCamera& virtual_camera() { return *virtual_; }
    bool streaming() const { return streaming_; }
    // Frames the queue dropped because the GUI thread was busy.
    size_t dropped_frames() const { return queue_.dropped(); }

  private:
    Device& device();
    // The size to ask the device for: none while the device keeps its current format.
    std::optional<QSize> wanted_size() const;
    void open_if_needed();
    void release();

    std::unique_ptr<VirtualCamera> virtual_;
    std::unique_ptr<Device> camera_; // the selected V4L2 or GenICam camera
    Device* device_ = nullptr;       // the selected device, or none
    QString name_ = QStringLiteral("None");
    QString device_folder_;
    bool genicam_;
    QStringList genicam_names_; // as last listed
    QSize requested_{1024, 768};
    bool current_ = true;
    std::optional<QSize> opened_with_; // what the device was asked for when it opened
    bool streaming_ = false;
    bool frames_ = true;
    FrameQueue queue_;
};

} // namespace capture
