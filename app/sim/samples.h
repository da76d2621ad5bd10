// The samples of the virtual microscope. Each fills the field of a frame: at every pixel
// it says how the light leaving the lamp's circular polarizer reaches the polarizer.
//
// `target`, the instrument's test slide: on an empty field of transmission 0.9, four
// discs of radius 0.15 x frame height, centred at (0.25, 0.30), (0.75, 0.30),
// (0.25, 0.72), (0.75, 0.72) of frame width and height (x from the left, y from the top),
// with |sin(d)| 0.2, 0.4, 0.6, 0.8, slow axes at 0, 45, 90, 135 degrees counter-clockwise
// from the image's x axis, transmission 0.7.
#pragma once

#include "optics.h"

#include <memory>
#include <string>
#include <vector>

namespace sim {

class Sample {
  public:
    virtual ~Sample() = default;
    // The response of the pixel whose centre is (x, y), in pixels from the top left.
    virtual ColourResponse at(double x, double y) const = 0;
};

struct SampleInfo {
    std::string name;
    std::string description;
    // The sample over a frame of width x height pixels under `light`.
    std::unique_ptr<Sample> (*make)(int width, int height, const Jones& light);
};

// The samples there are, `target` first (the default).
const std::vector<SampleInfo>& samples();
bool is_sample(const std::string& name);

// The sample of that name filling a width x height field lit by `light`; raises
// std::invalid_argument for a name that is not in samples().
std::unique_ptr<Sample> make_sample(const std::string& name, int width, int height,
                                    const Jones& light);

// The same, turned counter-clockwise on the screen by `degrees` about the field's centre, as
// a rotating stage under the objective turns it: its places and its axes turn, the light
// stays as it is.
std::unique_ptr<Sample> make_turned_sample(const std::string& name, int width, int height,
                                           const Jones& light, double degrees);

} // namespace sim
