// GenICam cameras (USB3 Vision, GigE Vision) through Aravis. A camera is listed under the
// name Aravis gives it, its vendor, model and serial number ("Aravis-Fake-GV01"). It does
// not scale its pictures: a frame size is a region of its sensor, centred, as large as the
// camera allows. Frames arrive on Aravis's stream thread, in any pixel format of
// genicam_pixels.h. Its "Features" dialog sets the exposure time, the gain and the frame
// rate from the camera's GenICam features, its "Format" dialog the pixel format and the
// frame size. A camera that is unplugged or whose network is lost sends no more frames.
#pragma once

#include "device.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>

struct _ArvCamera;
struct _ArvStream;

namespace capture {

// The names of the GenICam cameras Aravis finds now, USB ones and those that answer on
// the networks of this machine. Takes about a second: GigE Vision cameras are given that
// long to answer.
QStringList genicam_cameras();

class AravisCamera : public Device {
  public:
    explicit AravisCamera(QString name);
    ~AravisCamera() override;

    const QString& name() const { return name_; }

    // Opens the camera, in the pixel format chosen in its "Format" dialog, or its own when
    // the program reads that, or the first of its formats that it reads; with a size, the
    // region of that size (within what the camera allows) in the middle of the sensor.
    void open(std::optional<QSize> size) override;
    // A camera that was lost is not open: the next start opens it again, once it is back.
    bool is_open() const override { return camera_ != nullptr && !lost_; }
    void start(FrameSink sink) override;
    void stop() override;
    void close() override;

    // "Exposure time", "Gain" and "Frame rate", those the camera has, with the units its
    // features declare (µs, dB and Hz when they declare none; none for a raw gain).
    // Setting the exposure time or the gain switches the camera's automatic one off.
    std::vector<Feature> features() override;
    DialogSet dialogs() override;
    bool show_dialog(int kind) override;

    // While open: the frame size it delivers, its pixel format ("Mono8"), and the pixel
    // formats it offers that the program reads.
    QSize size() const { return size_; }
    QString pixel_format() const;
    QStringList pixel_formats() const;
    // True once the camera was lost while open (unplugged, its network gone).
    bool lost() const { return lost_; }

  private:
    // Raises capture::Error naming the camera, the step and Aravis's reason.
    [[noreturn]] void fail(const QString& step, const QString& reason) const;
    void choose_pixel_format();
    void choose_region(QSize size);
    static void on_new_buffer(_ArvStream* stream, void* self);
    static void on_control_lost(void* device, void* self);
    bool show_features();
    bool show_formats();

    QString name_;
    _ArvCamera* camera_ = nullptr;
    _ArvStream* stream_ = nullptr;
    QSize size_;
    int significant_bits_ = 0; // of its samples, when the camera says so
    QString chosen_format_;    // the format dialog's choices, kept from then on
    QSize chosen_size_;
    std::atomic<bool> lost_{false};
    // set before the stream exists and cleared after its thread has ended, so the stream
    // thread reads it without a lock
    FrameSink sink_;
};

} // namespace capture
