// The three results of an analysis, one table by their image in the result image set
// (tarnwick_contract.h): what a saved result image records of its kind and how it is named
// to the operator and to other tools.
#pragma once

#include "tarnwick_contract.h"

#include <array>
#include <cstdint>
#include <optional>

namespace result_kinds {

enum Kind {
    transmission = TARNWICK_TRANSMISSION, // I/I0, "a0.bmp"
    retardation = TARNWICK_RETARDATION,   // |sin(d)|, "a1.bmp"
    angle = TARNWICK_ANGLE,               // the extinction angle, "a2.bmp"
};
inline constexpr int count = TARNWICK_RESULT_IMAGES;

struct Facts {
    uint8_t record; // the kind byte of a saved image's record row; a set is saved in its order
    const char* name;
};
inline constexpr std::array<Facts, count> table{{{3, "I/I0"}, {1, "|sin(d)|"}, {2, "phi"}}};

inline const char* file(Kind k) {
    return tarnwick_result_file(k);
}

// The kind whose record byte is `record`; nothing for a byte no kind has.
inline std::optional<Kind> of_record(int record) {
    for (int k = 0; k < count; ++k)
        if (table[size_t(k)].record == record) return Kind(k);
    return std::nullopt;
}

} // namespace result_kinds
