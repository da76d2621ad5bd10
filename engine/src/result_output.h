// The result image set: "a0.bmp" (mean, grey), "a1.bmp" (retardation code in false
// colour), "a2.bmp" (stretched angle code in false colour), all 32 bits per pixel.
#pragma once

#include "angle_input.h"
#include "computation.h"
#include "file_replace.h"

#include <array>
#include <cstdint>
#include <string>

namespace tarnwick {

// e(n) = (n - 255 l / 180) 180 / (u - l), rounded and limited to 0..255, for n = 0..255.
std::array<uint8_t, 256> angle_stretch(float angle_low, float angle_high);

// Colour maps from a stored code to its pixel, built once per run.
struct ColourMaps {
    explicit ColourMaps(const Clamped& c);
    std::array<uint32_t, 256> mean;        // grey m
    std::array<uint32_t, 256> retardation; // palette entry k, "no value" for 0
    std::array<uint32_t, 256> angle;       // palette entry e(n), "no value" for 0
};

// Writes `plane` (one code per pixel, rows top-down) through `map` into `file`, which
// the caller commits. Returns false when the file cannot be written.
bool write_result(fileio::ReplacementFile& file, const SamplePlanes& planes, int plane,
                  const std::array<uint32_t, 256>& map);

} // namespace tarnwick
