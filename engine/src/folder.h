// Whether a path names an existing folder: the engine's test for the folders of a run, which
// the tarnwick command applies to its arguments as well.
#pragma once

#include <string>
#include <sys/stat.h>

namespace fileio {

inline bool is_directory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace fileio
