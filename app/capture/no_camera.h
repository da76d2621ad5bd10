// A capture component on a machine without cameras: it lists no device, selects none,
// and every operation that needs a device raises.
#pragma once

#include "camera.h"

namespace capture {

class NoCamera : public Camera {
public:
    QStringList devices() override { return {}; }
    void set_device_name(const QString&) override {}
    QString device_name() override { return QStringLiteral("None"); }
    void set_enabled(bool enabled) override {
        if (enabled) no_device();
    }
    void open() override { no_device(); }
    void start() override { no_device(); }
    void stop() override {}
    void close() override {}
    void set_requested_size(int, int) override {}
    void set_current_size(bool) override {}
    bool show_dialog(int) override { return false; }
    DialogSet available_dialogs() override { return {}; }
    void set_frames_enabled(bool) override {}

private:
    [[noreturn]] static void no_device() { throw Error("No video capture device is selected."); }
};

}  // namespace capture
