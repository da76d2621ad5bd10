// The false-colour palette of the result images and their legends: index i has red i,
// green 255 sin^2(pi i / 255) and blue 255 sin^2(pi i / 100), rounded; index 0 and the
// extra index 256 (the colour of "no value") are black.
#pragma once

#include <array>
#include <cstdint>

namespace palette {

struct Colour {
    uint8_t red, green, blue;
};

constexpr int no_value = 256;

// The 257 entries, built once.
const std::array<Colour, 257>& false_colour();

// Entry i as a 0x00RRGGBB pixel.
inline uint32_t pixel(const Colour& c) {
    return static_cast<uint32_t>(c.red) << 16 | static_cast<uint32_t>(c.green) << 8 | c.blue;
}

} // namespace palette
