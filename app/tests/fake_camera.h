// A capture component for the window's tests: it lists the devices it is given, records
// every operation in order, and delivers the frames a test hands it.
#pragma once

#include "capture/camera.h"

#include <QStringList>

#include <utility>

class FakeCamera : public capture::Camera {
  public:
    explicit FakeCamera(QStringList listed = {}) : listed_(std::move(listed)) {}

    QStringList calls; // "devices", "device NAME", "enabled 1", "open", "size 320 x 240", ...
    bool fail_open = false;
    bool fail_start = false;
    capture::DialogSet dialogs;

    QStringList devices() override {
        calls << "devices";
        return listed_;
    }
    void set_device_name(const QString& name) override {
        calls << "device " + name;
        selected_ = listed_.contains(name) ? name : QStringLiteral("None");
    }
    QString device_name() override { return selected_; }
    void set_enabled(bool enabled) override {
        calls << QStringLiteral("enabled %1").arg(enabled);
        if (enabled) need_device();
    }
    void open() override {
        calls << "open";
        need_device();
        if (fail_open) throw capture::Error("cannot open the device");
    }
    void start() override {
        calls << "start";
        need_device();
        if (fail_start) throw capture::Error("the device does not start");
    }
    void stop() override { calls << "stop"; }
    void close() override { calls << "close"; }
    void set_requested_size(int width, int height) override {
        calls << QStringLiteral("size %1 x %2").arg(width).arg(height);
    }
    void set_current_size(bool current) override {
        calls << QStringLiteral("current %1").arg(current);
    }
    bool show_dialog(int kind) override {
        calls << QStringLiteral("dialog %1").arg(kind);
        return dialogs.test(static_cast<size_t>(kind));
    }
    capture::DialogSet available_dialogs() override { return dialogs; }
    void set_frames_enabled(bool enabled) override {
        calls << QStringLiteral("frames %1").arg(enabled);
    }

    void deliver(const QImage& frame) {
        if (on_frame) on_frame(frame);
    }
    // The calls recorded since the last look, which are forgotten.
    QStringList take_calls() { return std::exchange(calls, {}); }

  private:
    void need_device() const {
        if (selected_ == "None") throw capture::Error("no device selected");
    }
    QStringList listed_;
    QString selected_ = QStringLiteral("None");
};
