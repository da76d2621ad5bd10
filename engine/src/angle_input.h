// The angle image set: "0.bmp", "45.bmp", "90.bmp", "135.bmp", each reduced to one 8-bit
// sample per pixel.
#pragma once

#include "bmp.h"
#include "kernels.h"
#include "options.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tarnwick {

// Largest angle image the engine accepts, whatever "-w" and "-h" say.
constexpr int32_t plane_limit = 3073;

// The size limits for reading the angle image of `index` (0..3): "0.bmp" must fit "-w",
// "-h" and the planes; the others must have its size, which the read checks itself.
bmp::Limits angle_limits(const Settings& settings, int index);

// How the pixels of the angle images become samples: the channel of "-C" (the mean of
// the three for "m"), squared with "-Q".
kernels::Sampling sampling(const Settings& settings, int bytes_per_pixel);

// Four sample planes of the reference size, rows top-down, each row `width` samples.
// The computation later writes its codes over them (see computation.h).
struct SamplePlanes {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint8_t[]> plane[4]; // 0, 45, 90, 135 degrees

    size_t pixels() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
};

// Reads and samples the angle image of `index` (0..3) from the input folder. Returns
// TARNWICK_READY or the run's result code: the image's own "cannot read" code, a size that
// differs from "0.bmp", no memory to sample into (cannot write) or "0.bmp" too large.
int read_angle_image(const Settings& settings, int index, SamplePlanes& planes);

} // namespace tarnwick
