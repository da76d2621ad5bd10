// The engine's option string: tokens, the option table, the run settings it yields and the
// folders of a run.
#pragma once

#include "tarnwick_contract.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Every run starts from these values; nothing carries over from an earlier call.
struct Settings {
    int32_t max_width = 3072;
    int32_t max_height = 3072;
    std::string common_folder;
    std::string input_folder;
    std::string output_folder;
    float lower = 0.0f;        // -L: |sin(d)| below it has no retardation
    float upper = 1.0f;        // -U: the |sin(d)| that maps to code 255
    float angle_low = 0.0f;    // -l: degrees at the bottom of the a2 colour scale
    float angle_high = 180.0f; // -u: degrees at the top of the a2 colour scale
    float dark = 0.0f;         // -d: mean intensity, as a fraction of 255, below which nothing
    float angle_limit = 0.0f;  // -s: retardation code, as a fraction of 255, below which no angle
    bool squaring = false;     // -Q
    std::string channel = "r"; // -C: m, r, g or b
};

struct ParsedOptions {
    Settings settings;
    bool error = false; // a value that does not convert, or a bad channel letter
};

// The limits of the option string are the engine's contract with its callers
// (tarnwick_contract.h): TARNWICK_MAX_OPTION_CHARS characters are read, TARNWICK_MAX_OPTION_WORDS
// tokens used, and "-w" and "-h" above TARNWICK_MAX_SIZE_OPTION end a run with code 8. (The
// images themselves are bounded by plane_limit, angle_input.h.)

// Splits the option string into tokens. The list ends before the first empty token.
std::vector<std::string> tokenize(const char* text);

// Tokenizes and parses; the folders are not yet chosen.
ParsedOptions parse_options(const char* text);

// Chooses the folders of a run: a common folder becomes the input and the output folder;
// otherwise an empty input or output folder becomes the folder of the host process's
// executable.
void choose_folders(Settings& settings);

// What an option takes after its name.
enum class Kind { integer, folder, real, flag, channel };

// The kind of the option called `name`, or nothing when no option has that name (the
// parser skips such a token without complaint).
std::optional<Kind> option_kind(const std::string& name);

// Whether the parser takes `value` for an option of kind `kind`: a whole number, a number
// with "." as decimal point, or a channel letter; any folder.
bool accepts(Kind kind, const std::string& value);

// One line per option, for the command's help text.
std::string describe_options();

} // namespace tarnwick
