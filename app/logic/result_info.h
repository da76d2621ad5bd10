// `vexolan --info FILE...`: the record rows of saved result images, and what files of
// maps (.tif, .tiff) hold, printed for other tools without a window and without a display.
#pragma once

#include "record_row.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace result_info {

// The record row of a saved result image file: its 16 red bytes, or why the file is none.
struct Row {
    std::array<uint8_t, record_row::length> bytes{};
    std::string error; // empty for a saved result image
};
Row read_row(const std::string& path);

// Prints to `out` one block per saved result image: "file: NAME" and the record's lines,
// blocks separated by a blank line; and to `err` one line for each file that is no saved
// result image, naming it and why. Returns 0, or 1 when any file failed.
int print(int count, const char* const* files, std::FILE* out, std::FILE* err);

} // namespace result_info
