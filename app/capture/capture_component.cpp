#include "capture_component.h"

#include "aravis_camera.h"
#include "v4l2_camera.h"
#include "virtual_camera.h"

namespace capture {

CaptureComponent::CaptureComponent(std::shared_ptr<sim::Microscope> microscope,
                                   CaptureOptions options)
    : virtual_(std::make_unique<VirtualCamera>(std::move(microscope), options.virtual_frame_rate)),
      device_folder_(options.device_folder), genicam_(options.genicam),
      queue_(options.queue_capacity) {
    queue_.deliver = [this](const QImage& frame) {
        if (frames_ && on_frame) on_frame(frame);
    };
}

CaptureComponent::~CaptureComponent() {
    // no device thread may push into the queue once it is gone
    release();
    virtual_->close();
}

QStringList CaptureComponent::devices() {
    QStringList names{QString::fromLatin1(VirtualCamera::name)};
    for (const V4l2Node& node : v4l2_cameras(device_folder_)) names << node.name;
    if (genicam_) names << (genicam_names_ = genicam_cameras());
    return names;
}

void CaptureComponent::set_device_name(const QString& name) {
    if (name == name_ && device_) return;
    release();
    if (name == QLatin1String(VirtualCamera::name)) {
        device_ = virtual_.get();
        name_ = name;
        return;
    }
    if (name == QLatin1String("None")) return;
    for (V4l2Node& node : v4l2_cameras(device_folder_)) {
        if (node.name != name) continue;
        camera_ = std::make_unique<V4l2Camera>(std::move(node));
        device_ = camera_.get();
        name_ = name;
        return;
    }
    // a GenICam camera as last listed, or found now
    if (!genicam_ || (!genicam_names_.contains(name) && !genicam_cameras().contains(name))) return;
    camera_ = std::make_unique<AravisCamera>(name);
    device_ = camera_.get();
    name_ = name;
}

Device& CaptureComponent::device() {
    if (!device_) throw Error("No video capture device is selected.");
    return *device_;
}

std::optional<QSize> CaptureComponent::wanted_size() const {
    if (current_) return std::nullopt;
    return requested_;
}

// Opens the device when it is not open, or when it was asked for another size than the
// one wanted now; a device that keeps its current format needs no new opening.
void CaptureComponent::open_if_needed() {
    Device& d = device();
    const std::optional<QSize> wanted = wanted_size();
    if (d.is_open() && (!wanted || wanted == opened_with_)) return;
    stop();
    d.open(wanted);
    opened_with_ = wanted;
}

void CaptureComponent::set_enabled(bool enabled) {
    if (enabled)
        start();
    else
        stop();
}

void CaptureComponent::open() {
    open_if_needed();
}

void CaptureComponent::start() {
    open_if_needed();
    if (streaming_) return;
    device().start([queue = &queue_](QImage frame) { queue->push(std::move(frame)); });
    streaming_ = true;
}

void CaptureComponent::stop() {
    if (!streaming_) return;
    device_->stop();
    streaming_ = false;
    queue_.discard(); // frames of a stopped stream are stale
}

void CaptureComponent::close() {
    stop();
    if (device_) device_->close();
    opened_with_.reset();
}

// Closes the selected device and selects none.
void CaptureComponent::release() {
    close();
    camera_.reset();
    device_ = nullptr;
    name_ = QStringLiteral("None");
}

bool CaptureComponent::show_dialog(int kind) {
    if (!device_) return false;
    const bool was_streaming = streaming_;
    if (kind == format_dialog) stop();
    bool shown = false;
    try {
        shown = device_->show_dialog(kind);
    } catch (const Error&) {
        if (was_streaming && !streaming_) start();
        throw;
    }
    if (!device_->is_open()) opened_with_.reset();
    if (was_streaming) start();
    return shown;
}

DialogSet CaptureComponent::available_dialogs() {
    return device_ ? device_->dialogs() : DialogSet{};
}

} // namespace capture
