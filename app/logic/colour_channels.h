// The colour channels the engine can analyse, one table in the order of the Measure page's
// buttons red, green, blue and monochrome; everything the program does with the chosen
// channel comes from it.
#pragma once

#include "frame_sums.h"
#include "saturation.h"

#include <array>

namespace colour_channels {

struct Channel {
    const char* name;           // as files of maps record it
    char option;                // the engine's "-C" letter
    const char* wavelength;     // nm: the wavelength the button sets
    frames::Channels kept;      // what the combinations of the backward pass keep
    saturation::Channel sample; // what the engine reads of a pixel, where clipping counts
};

inline constexpr std::array<Channel, 4> table{{
    {"red", 'r', "600", frames::Channels::red, saturation::Channel::red},
    {"green", 'g', "550", frames::Channels::green, saturation::Channel::green},
    {"blue", 'b', "500", frames::Channels::blue, saturation::Channel::blue},
    {"monochrome", 'm', "550", frames::Channels::all, saturation::Channel::mean},
}};

// With no channel chosen the engine reads red, its default.
inline constexpr const Channel& engine_default = table[0];

} // namespace colour_channels
