// The virtual microscope: a lamp behind a circular polarizer, the sample, the polarizer
// on the motorised stage, and the camera. Its parts behave like a real instrument's:
// - the light is not quite circular: its linear component has the degree 0.04, so an empty
//   field reads |sin(d)| of about 0.04 until background images correct it;
// - the illumination is brightest in the middle and falls to 60% in the corners;
// - the camera has an exposure time and a gain that scale its light: a pixel's grey level
//   is 0.04 per microsecond of exposure x the gain (in dB, 20 log10 of the factor) x the
//   illumination x the intensity behind the polarizer (optics.h), the lamp's intensity
//   being 1. At the start, 6 ms and 0 dB, the full light of the lamp reads 240 of 255 in
//   the centre, so no sample clips (the empty field, half of it behind the polarizer,
//   reads about 120); 10 ms give 400 a unit, where the brightest samples clip;
// - the camera adds independent Gaussian noise of 2 grey levels at 0 dB to every sample of
//   every frame, amplified by the gain like the signal, and clips to 8 bits.
// The faults of a real instrument can be switched on (Faults): play between the motor and
// the polarizer, a lamp that drifts, a sample that slides through the field.
#pragma once

#include "samples.h"
#include "stage.h"

#include <QImage>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// The camera's noise: Gaussian, standard deviation 2 grey levels at 0 dB. A row of
// samples takes its noise from a table of 2^20 independent draws, starting at a random
// place for each row of each frame, so a sample's noise does not repeat from frame to
// frame nor follow its neighbours'. One per camera thread.
class Noise {
  public:
    // The draws of row() are in 1/64 grey levels.
    static constexpr int scale = 64;

    explicit Noise(uint64_t seed);
    // `length` draws for the next row, `amplitude` times the noise at 0 dB; valid until
    // the next call.
    const int16_t* row(size_t length, double amplitude = 1);

  private:
    uint64_t step();
    static const std::vector<float>& table();
    uint64_t state_;
    double amplitude_ = 0;
    std::vector<int16_t> scaled_; // the table at `amplitude_`
};

// Faults of a real instrument, none by default. Time counts from the microscope's making
// (the program's start).
struct Faults {
    // play between the motor's shaft and the polarizer, in degrees of the polarizer
    double backlash_degrees = 0;
    // the lamp's intensity changes by this percentage of its first intensity each second
    // (never below dark)
    double lamp_drift_percent_per_s = 0;
    // the sample slides along the image's x axis, to the right for positive values; the
    // lamp's illumination stays where it is
    double sample_motion_px_per_s = 0;
};

class Microscope {
  public:
    static constexpr double light_linear_degree = 0.04;
    static constexpr double light_orientation = 30; // degrees
    static constexpr double corner_illumination = 0.6;
    static constexpr double noise_sigma = 2; // grey levels, at 0 dB

    // Grey levels per unit intensity and microsecond of exposure, at 0 dB.
    static constexpr double sensitivity = 0.04;
    // The camera's exposure time in microseconds and its gain in dB: their ranges and
    // their values at the start.
    static constexpr double min_exposure_us = 10, max_exposure_us = 1e6;
    static constexpr double default_exposure_us = 6000;
    static constexpr double min_gain_db = 0, max_gain_db = 24;
    static constexpr double default_gain_db = 0;

    explicit Microscope(StageGeometry geometry = {});

    Stage& stage() { return *stage_; }
    std::shared_ptr<Stage> shared_stage() const { return stage_; }

    // The sample under the objective, by its name in samples(); raises
    // std::invalid_argument for another name. Safe while a camera thread films.
    void set_sample(const std::string& name);
    std::string sample() const;
    // The sample turned counter-clockwise on the screen by this many degrees about the
    // field's centre (a rotating stage; 0 at the start). Safe while a camera thread films.
    void set_sample_rotation(double degrees);
    double sample_rotation() const;

    // The exposure time and the gain, each kept within its range. Safe while a camera
    // thread films; the next frame has them.
    void set_exposure_us(double microseconds);
    double exposure_us() const { return exposure_us_.load(std::memory_order_relaxed); }
    void set_gain_db(double db);
    double gain_db() const { return gain_db_.load(std::memory_order_relaxed); }
    // The gain as a factor of the signal and the noise, 1 at 0 dB.
    double gain_factor() const;
    // Grey levels per unit intensity behind the polarizer in the middle of the field.
    double grey_per_intensity() const;

    // The seed of a camera run's noise. Fresh from the system's entropy in every run, so
    // that no two runs (a background collection and the measurement of the next start,
    // say) share their noise; after set_noise_seed, the same sequence of seeds in every
    // process given that seed, for a run that repeats. Any thread.
    uint64_t next_noise_seed();
    void set_noise_seed(uint64_t seed);

    // The instrument's faults; the next frame and the next motion of the stage have them.
    void set_faults(const Faults& faults);
    Faults faults() const;
    // The clock of the faults, seconds since the microscope was made; a test sets its own
    // before any camera films.
    void set_clock(std::function<double()> seconds);
    // The lamp's intensity now, 1 at the start.
    double lamp() const;
    // How far the sample has slid now, in pixels along x.
    double sample_offset_px() const;

    // The light leaving the lamp's polarizer.
    static Jones light();
    // The illumination of pixel (x, y) of a width x height frame, 1 in the middle.
    static double illumination(int x, int y, int width, int height);
    // The grey levels (red, green, blue) of pixel (x, y) without noise, with the polarizer
    // at `polarizer_degrees`, as the instrument without its faults shows them.
    std::array<double, 3> level(int x, int y, int width, int height,
                                double polarizer_degrees) const;

    // One camera frame of width x height (Format_RGB32) with the polarizer where the
    // stage holds it now, at the exposure and gain set now. Any thread; each thread brings
    // its own noise.
    QImage frame(int width, int height, Noise& noise);
    // The same into `image`, which must be a Format_RGB32 image that nobody else holds,
    // of the frame's size: a camera that films into its images again spares the
    // allocation of each frame.
    void frame_into(QImage& image, Noise& noise);

  private:
    struct Plate;
    struct Still;
    std::shared_ptr<const Plate> plate(int width, int height);
    std::shared_ptr<const Still> still(int width, int height);

    std::shared_ptr<Stage> stage_;
    mutable std::mutex mutex_; // the sample, the plate and the still, shared with cameras
    std::string sample_ = "target";
    double sample_degrees_ = 0; // under mutex_
    std::shared_ptr<const Plate> plate_;
    std::shared_ptr<const Still> still_;
    std::atomic<double> exposure_us_{default_exposure_us};
    std::atomic<double> gain_db_{default_gain_db};
    std::optional<uint64_t> noise_seed_; // under mutex_
    uint64_t noise_runs_ = 0;            // under mutex_
    Faults faults_;                      // under mutex_
    std::function<double()> clock_;      // under mutex_
};

} // namespace sim
