#include "diagnosis.h"

#include "angle_input.h"
#include "bmp.h"
#include "computation.h"
#include "folder.h"
#include "tarnwick_contract.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace command {

namespace {

std::string size_text(const bmp::Header& h) {
    return std::to_string(h.width) + " x " + std::to_string(h.height) + " pixels";
}

// Headers of any size are read: the caller compares the size itself.
bmp::Status header_of(const std::string& path, bmp::Header& h) {
    bmp::Limits any;
    any.max_width = any.max_height = INT32_MAX;
    any.max_pixels = UINT64_MAX;
    return bmp::read_header(path, any, h);
}

// Empty when `folder` is an existing directory.
std::string folder_problem(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return folder + ": no such folder";
    if (!S_ISDIR(st.st_mode)) return folder + ": not a folder";
    return {};
}

bool starts_like_a_bitmap(const std::string& path) {
    char magic[2] = {};
    std::ifstream(path, std::ios::binary).read(magic, 2);
    return magic[0] == 'B' && magic[1] == 'M';
}

// Reads the angle image at `path` as the engine does and says why that fails.
std::string image_problem(const std::string& path, const bmp::Limits& limits) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return path + ": " + (errno == ENOENT ? "missing" : std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return path + ": not a file";
    if (::access(path.c_str(), R_OK) != 0)
        return path + ": cannot be read (" + std::strerror(errno) + ")";
    bmp::Header h;
    switch (bmp::read_file(path, limits, [](int32_t, const uint8_t*) {})) {
    case bmp::Status::invalid:
        return path + (starts_like_a_bitmap(path)
                           ? ": not a valid bitmap (a header field no bitmap can have)"
                           : ": not a bitmap file");
    case bmp::Status::unsupported:
        return path + ": a kind of bitmap the engine does not read (JPEG or PNG inside, 24-bit run "
                      "lengths or Huffman coding)";
    case bmp::Status::truncated:
        return path + ": damaged: the file ends before its pixel data do";
    case bmp::Status::bad_data:
        return path + ": damaged: broken run-length data or a colour outside the palette";
    case bmp::Status::too_large:
        return path + ": too large" +
               (header_of(path, h) == bmp::Status::ok ? ": " + size_text(h) : "");
    case bmp::Status::cannot_open:
        return path + ": cannot be read";
    case bmp::Status::ok:
        break;
    }
    return path + ": reads well now; it may have changed during the run, or memory ran out";
}

std::string size_problem(const std::string& folder) {
    bmp::Header first, other;
    if (header_of(folder + tarnwick_angle_file(0), first) != bmp::Status::ok)
        return "the sizes differ";
    for (int i = 1; i < 4; ++i) {
        const std::string path = folder + tarnwick_angle_file(i);
        if (header_of(path, other) == bmp::Status::ok &&
            (other.width != first.width || other.height != first.height))
            return path + " is " + size_text(other) + ", " + folder + tarnwick_angle_file(0) + " " +
                   size_text(first);
    }
    return "the sizes differ";
}

std::string limit_problem(const tarnwick::Settings& s) {
    for (auto [name, value] : {std::pair{"-w", s.max_width}, std::pair{"-h", s.max_height}})
        if (value < 1 || value > TARNWICK_MAX_SIZE_OPTION)
            return std::string(name) + " " + std::to_string(value) + " is outside 1.." +
                   std::to_string(TARNWICK_MAX_SIZE_OPTION);
    const std::string path = s.input_folder + tarnwick_angle_file(0);
    bmp::Header h;
    if (header_of(path, h) != bmp::Status::ok) return image_problem(path, {});
    return path + " is " + size_text(h) + "; at most " +
           std::to_string(std::min(s.max_width, tarnwick::plane_limit)) + " x " +
           std::to_string(std::min(s.max_height, tarnwick::plane_limit)) +
           " are accepted (-w and -h, up to " + std::to_string(tarnwick::plane_limit) + ")";
}

// The first value that the option parser does not take.
std::string option_problem(const std::vector<std::string>& args) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        const auto kind = tarnwick::option_kind(args[i]);
        if (!kind || *kind == tarnwick::Kind::flag) continue;
        const std::string& value = args[++i];
        if (tarnwick::accepts(*kind, value)) continue;
        const std::string what = args[i - 1] + " \"" + value + "\": ";
        switch (*kind) {
        case tarnwick::Kind::integer:
            return what + "not a whole number";
        case tarnwick::Kind::real:
            return what + "not a number (the decimal point is \".\")";
        case tarnwick::Kind::channel:
            return what + "the channel is m, r, g or b";
        default:
            break;
        }
    }
    return "an option value the engine does not take";
}

std::string write_problem(const std::string& folder) {
    if (std::string p = folder_problem(folder); !p.empty()) return p;
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return folder + ": cannot be written (" + std::strerror(errno) + ")";
    for (const char* name :
         {TARNWICK_STATUS_FILE, tarnwick_result_file(TARNWICK_TRANSMISSION),
          tarnwick_result_file(TARNWICK_RETARDATION), tarnwick_result_file(TARNWICK_ANGLE)})
        if (fileio::is_directory(folder + name))
            return folder + name + ": a folder of that name is in the way";
    return folder + ": a file could not be written (is the disk full?), or the images did not "
                    "fit into memory";
}

} // namespace

std::string explain(int32_t code, const std::vector<std::string>& args,
                    const tarnwick::Settings& s) {
    switch (code) {
    case TARNWICK_CANNOT_READ_FIRST:
        if (std::string p = folder_problem(s.input_folder); !p.empty()) return p;
        [[fallthrough]];
    case TARNWICK_CANNOT_READ_SECOND:
    case TARNWICK_CANNOT_READ_THIRD:
    case TARNWICK_CANNOT_READ_FOURTH:
        return image_problem(s.input_folder +
                                 tarnwick_angle_file(code - TARNWICK_CANNOT_READ_FIRST),
                             tarnwick::angle_limits(s, code - TARNWICK_CANNOT_READ_FIRST));
    case TARNWICK_SIZE_DIFFERS:
        return size_problem(s.input_folder);
    case TARNWICK_OPTION_ERROR:
        return option_problem(args);
    case TARNWICK_CANNOT_WRITE:
        return write_problem(s.output_folder);
    case TARNWICK_SIZE_LIMIT:
        return limit_problem(s);
    case TARNWICK_NUMERICAL_ERROR: {
        // The engine computes with -U as clamped: a negative -U, or one at or below -L, is
        // raised first and is never what was too small.
        const float upper = tarnwick::clamp_settings(s).upper;
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(upper));
        return upper < 1e-13f ? std::string("-U ") + text + ": too small to compute with"
                              : "the computation failed";
    }
    case TARNWICK_BUSY:
        return TARNWICK_STATUS_FILE " in the current directory: a run is going on here, or one "
                                    "was cut off (remove the file when none is running)";
    default:
        return {};
    }
}

} // namespace command
