// The record row of a saved result image: 16 pixels of row 162, columns 331 to 346
// (inside the black line of the legend strip's scale bar), each carrying one byte in its
// red component with green and blue 0. It records the acquisition settings and the time
// of saving for other tools; the program does not read it back.
//
//   331 optic: 100 orthoscopic, 200 conoscopic (not written without an optic)
//   332 wavelength in nm / 5, rounded, low eight bits
//   333 objective magnification 4, 10, 20, 40 (not written without an objective)
//   334 kind: 1 |sin(d)|, 2 phi, 3 I/I0 (result_kinds.h)
//   335 1    336 0    337 0
//   338 255 x sin(d) colour maximum, rounded
//   339 day  340 month  341 (year - 2000) mod 256  342 minute  343 hour  344 second
//   345 millisecond / 5, rounded (0 to 200)
//   346 0
#pragma once

#include "result_kinds.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace record_row {

constexpr int row = 162, first_column = 331, length = 16;
constexpr int width = 370, height = 240; // of a saved result image

struct Record {
    int optic = 0;          // 100, 200; 0: none selected
    int32_t wavelength = 0; // nm
    int objective = 0;      // 4, 10, 20, 40; 0: none selected
    result_kinds::Kind kind = result_kinds::retardation;
    long double sind_maximum = 1;
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The red bytes of the 16 pixels, nothing for a pixel that is not written.
std::array<std::optional<uint8_t>, length> encode(const Record& record);

// What the program reads back of a saved image's record row: its kind and the sin(d)
// colour maximum its |sin(d)| colours were drawn with, or why the bytes are no record row.
// The program records only maxima of 0.05 to 1 in steps of 0.05, so the byte's nearest step
// is the maximum itself.
struct Decoded {
    result_kinds::Kind kind = result_kinds::retardation;
    long double sind_maximum = 1;
    std::string error; // empty for a record row
};
Decoded decode(const std::array<uint8_t, length>& bytes);

// The record read from the 16 red bytes as lines "name: value", one per field, or the
// reason why they are no record row.
struct Description {
    std::string lines; // each ending with a line feed
    std::string error;
};
Description describe(const std::array<uint8_t, length>& bytes);

} // namespace record_row
