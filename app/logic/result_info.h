// `vexolan --info FILE...`: the record rows of saved result images, printed for other
// tools without a window and without a display.
#pragma once

#include <cstdio>

namespace result_info {

// Prints to `out` one block per saved result image: "file: NAME" and the record's lines,
// blocks separated by a blank line; and to `err` one line for each file that is no saved
// result image, naming it and why. Returns 0, or 1 when any file failed.
int print(int count, const char* const* files, std::FILE* out, std::FILE* err);

} // namespace result_info
