// What the tarnwick command can tell about a failed run, beyond its status text.
#pragma once

#include "options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace command {

// For result code `code` (1 to 10) of a run with the command's arguments `args` and the
// run's settings with its folders chosen: the file or folder concerned and what is wrong
// with it, as far as looking at them now tells.
std::string explain(int32_t code, const std::vector<std::string>& args,
                    const tarnwick::Settings& settings);

} // namespace command
