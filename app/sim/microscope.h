// The virtual microscope: a lamp behind a circular polarizer, the sample, the polarizer
// on the motorised stage, and the camera. Its parts behave like a real instrument's:
// - the light is not quite circular: its linear part has the degree 0.04, so an empty
//   field reads |sin(d)| of about 0.04 until background images correct it;
// - the illumination is brightest in the middle and falls to 60% in the corners; the
//   empty field reads about 200 of 255 in the centre;
// - the camera adds independent Gaussian noise of 2 grey levels to every sample of every
//   frame and clips to 8 bits.
// The grey level of a pixel is 400 x illumination x the intensity behind the polarizer
// (optics.h), the lamp's intensity being 1.
#pragma once

#include "samples.h"
#include "stage.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// The camera's noise: Gaussian, standard deviation 2 grey levels. A row of samples takes
// its noise from a table of 2^20 independent draws, starting at a random place for each
// row of each frame, so a sample's noise does not repeat from frame to frame nor follow
// its neighbours'. One per camera thread.
class Noise {
  public:
    explicit Noise(uint64_t seed);
    // `length` draws for the next row; valid until the next call.
    const float* row(size_t length);

  private:
    uint64_t step();
    static const std::vector<float>& table();
    uint64_t state_;
};

class Microscope {
  public:
    static constexpr double light_linear_degree = 0.04;
    static constexpr double light_orientation = 30; // degrees
    static constexpr double gain = 400;             // grey levels per unit intensity
    static constexpr double corner_illumination = 0.6;
    static constexpr double noise_sigma = 2;

    explicit Microscope(StageGeometry geometry = {});

    Stage& stage() { return *stage_; }
    std::shared_ptr<Stage> shared_stage() const { return stage_; }

    // The sample under the objective, by its name in samples(); raises
    // std::invalid_argument for another name. Safe while a camera thread films.
    void set_sample(const std::string& name);
    std::string sample() const;

    // The light leaving the lamp's polarizer.
    static Jones light();
    // The illumination of pixel (x, y) of a width x height frame, 1 in the middle.
    static double illumination(int x, int y, int width, int height);
    // The grey levels (red, green, blue) of pixel (x, y) without noise, with the polarizer
    // at `polarizer_degrees`.
    std::array<double, 3> level(int x, int y, int width, int height,
                                double polarizer_degrees) const;

    // One camera frame of width x height (Format_RGB32) with the polarizer where the
    // stage holds it now. Any thread; each thread brings its own noise.
    QImage frame(int width, int height, Noise& noise);

  private:
    struct Plate;
    std::shared_ptr<const Plate> plate(int width, int height);

    std::shared_ptr<Stage> stage_;
    mutable std::mutex mutex_; // the sample and the plate, shared with camera threads
    std::string sample_ = "target";
    std::shared_ptr<const Plate> plate_;
};

} // namespace sim
