// The camera of the virtual microscope, listed as "Virtual microscope". It films the
// microscope on its own thread at the frame size asked for and, by default, 30 frames a
// second in real time; its "Features" dialog chooses the sample and sets the camera's
// exposure time and gain (the microscope's, sim/microscope.h), its "Format" dialog the
// frame size and rate.
#pragma once

#include "device.h"
#include "sim/microscope.h"

#include <QSize>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace capture {

class VirtualCamera : public Device {
  public:
    static constexpr const char* name = "Virtual microscope";
    // The rates its "Format" dialog offers beside capture::standard_sizes; it films any
    // size from 2 x 2 to 3072 x 3072.
    static constexpr double rates[] = {7.5, 15, 30};

    // `frame_rate` frames per second; tests may ask for more than a real camera gives.
    VirtualCamera(std::shared_ptr<sim::Microscope> microscope, double frame_rate = 30);
    ~VirtualCamera() override;

    void open(std::optional<QSize> size) override;
    bool is_open() const override { return open_; }
    void start(FrameSink sink) override;
    void stop() override;
    void close() override;
    // Exposure time (µs) and gain (dB).
    std::vector<Feature> features() override;
    DialogSet dialogs() override;
    bool show_dialog(int kind) override;

    // Its current format: the size it films when opened without a size (and while open:
    // its Format dialog closes it to change the size), and its rate.
    QSize current_size() const { return current_size_; }
    double frame_rate() const;
    void set_frame_rate(double frames_per_second);

  private:
    void film(const FrameSink& sink, QSize size, uint64_t seed);

    std::shared_ptr<sim::Microscope> microscope_;
    QSize current_size_{640, 480};
    bool open_ = false;

    mutable std::mutex mutex_; // the rate and the running flag, shared with the thread
    std::condition_variable wake_;
    double frame_rate_;
    bool running_ = false;
    std::thread thread_;
};

} // namespace capture
