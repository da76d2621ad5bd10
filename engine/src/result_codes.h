// The engine's result codes and the status text the operator sees for each.
#pragma once

#include <cstdint>

namespace tarnwick {

enum ResultCode : int32_t {
    ready = 0,
    cannot_read_first = 1,
    cannot_read_second = 2,
    cannot_read_third = 3,
    cannot_read_fourth = 4,
    size_differs = 5,
    option_error = 6,
    cannot_write = 7,
    size_limit = 8,
    numerical_error = 9,
    busy = 10,
};

// "Ready", "Error reading first image", ...; empty for a code the engine never returns.
inline const char* status_text(int32_t code) {
    switch (code) {
    case ready:
        return "Ready";
    case cannot_read_first:
        return "Error reading first image";
    case cannot_read_second:
        return "Error reading second image";
    case cannot_read_third:
        return "Error reading third image";
    case cannot_read_fourth:
        return "Error reading fourth image";
    case size_differs:
        return "Images have different size";
    case option_error:
        return "Input Parameter Error";
    case cannot_write:
        return "Error writing to disk";
    case size_limit:
        return "Max Image Error";
    case numerical_error:
        return "Unknon or numerical error";
    case busy:
        return "busy";
    default:
        return "";
    }
}

} // namespace tarnwick
