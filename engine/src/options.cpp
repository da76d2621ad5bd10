#include "options.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace tarnwick {

namespace {

struct Option {
    const char* name;
    Kind kind;
    const char* value; // for the help text
    const char* meaning;
    int32_t Settings::*integer = nullptr;
    std::string Settings::*text = nullptr;
    float Settings::*real = nullptr;
    bool Settings::*flag = nullptr;
};

// Parsing tests a token against these options in this order within one pass.
const Option options[] = {
    {"-w", Kind::integer, "N", "maximum image width (1..3200, default 3072)", &Settings::max_width},
    {"-h", Kind::integer, "N", "maximum image height (1..3200, default 3072)",
     &Settings::max_height},
    {"-P", Kind::folder, "FOLDER", "common folder: input and output (overrides -D and -O)", nullptr,
     &Settings::common_folder},
    {"-D", Kind::folder, "FOLDER", "input folder of 0.bmp, 45.bmp, 90.bmp, 135.bmp", nullptr,
     &Settings::input_folder},
    {"-O", Kind::folder, "FOLDER", "output folder of a0.bmp, a1.bmp, a2.bmp", nullptr,
     &Settings::output_folder},
    {"-L", Kind::real, "X", "|sin(d)| lower limit (default 0)", nullptr, nullptr, &Settings::lower},
    {"-U", Kind::real, "X", "|sin(d)| at the top of the colour scale (default 1)", nullptr, nullptr,
     &Settings::upper},
    {"-l", Kind::real, "DEG", "angle at the bottom of the a2 colour scale (default 0)", nullptr,
     nullptr, &Settings::angle_low},
    {"-u", Kind::real, "DEG", "angle at the top of the a2 colour scale (default 180)", nullptr,
     nullptr, &Settings::angle_high},
    {"-d", Kind::real, "X", "dark level as a fraction of 255 (default 0)", nullptr, nullptr,
     &Settings::dark},
    {"-s", Kind::real, "X", "angle limit: retardation code as a fraction of 255 (default 0)",
     nullptr, nullptr, &Settings::angle_limit},
    {"-Q", Kind::flag, "", "square every sample: v*v/255", nullptr, nullptr, nullptr,
     &Settings::squaring},
    {"-C", Kind::channel, "m|r|g|b", "channel: mean of the three, red, green or blue (default r)",
     nullptr, &Settings::channel},
};

size_t skip_blanks(const std::string& s, size_t i) {
    while (i < s.size() && s[i] == ' ') ++i;
    return i;
}

// Leading blanks and one sign are allowed; the rest must be decimal digits that fit.
bool to_integer(const std::string& token, int32_t& out) {
    size_t i = skip_blanks(token, 0);
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    if (i == token.size()) return false;
    int64_t value = 0;
    for (; i < token.size(); ++i) {
        if (token[i] < '0' || token[i] > '9') return false;
        value = value * 10 + (token[i] - '0');
        if (value > int64_t{INT32_MAX} + 1) return false;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return false;
    out = static_cast<int32_t>(value);
    return true;
}

// Decimal notation with "." and an optional exponent, read in extended precision; the
// whole token must be consumed and the value must fit a 32-bit float.
bool to_real(const std::string& token, float& out) {
    size_t i = skip_blanks(token, 0);
    size_t j = i;
    if (j < token.size() && (token[j] == '+' || token[j] == '-')) ++j;
    const size_t digits_start = j;
    size_t digits = 0;
    while (j < token.size() && token[j] >= '0' && token[j] <= '9') ++j, ++digits;
    if (j < token.size() && token[j] == '.') {
        ++j;
        while (j < token.size() && token[j] >= '0' && token[j] <= '9') ++j, ++digits;
    }
    if (digits == 0) return false;
    if (j < token.size() && (token[j] == 'e' || token[j] == 'E')) {
        ++j;
        if (j < token.size() && (token[j] == '+' || token[j] == '-')) ++j;
        size_t exponent_digits = 0;
        while (j < token.size() && token[j] >= '0' && token[j] <= '9') ++j, ++exponent_digits;
        if (exponent_digits == 0) return false;
    }
    if (j != token.size()) return false;

    long double value = 0;
    const char* first = token.data() + digits_start;
    const auto [end, ec] = std::from_chars(first, token.data() + token.size(), value);
    if (ec != std::errc{} || end != token.data() + token.size()) return false;
    if (token[i] == '-') value = -value;
    const float single = static_cast<float>(value);
    if (std::isinf(single)) return false;
    out = single;
    return true;
}

// The folder of the host process's executable, ending with "/".
std::string executable_folder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
    const std::string exe(path, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

} // namespace

std::vector<std::string> tokenize(const char* text) {
    std::string s =
        text ? std::string(text, strnlen(text, TARNWICK_MAX_OPTION_CHARS)) : std::string();
    s += ' ';
    std::vector<std::string> tokens;
    size_t i = 0;
    while (tokens.size() < TARNWICK_MAX_OPTION_WORDS) {
        i = skip_blanks(s, i);
        if (i >= s.size()) break;
        size_t space = s.find(' ', i);
        const size_t quote = s.find('"', i);
        if (s[i] != '-' && quote < space) {
            // A quoted value: it runs from after the quote to the next quote, blanks
            // included; without a closing quote it takes the rest of the text.
            const size_t close = s.find('"', quote + 1);
            if (close == std::string::npos) {
                tokens.push_back(s.substr(quote + 1));
                break;
            }
            tokens.push_back(s.substr(quote + 1, close - quote - 1));
            i = close + 1;
        } else {
            tokens.push_back(s.substr(i, space - i));
            i = space;
        }
        if (tokens.back().empty()) break;
    }
    if (!tokens.empty() && tokens.back().empty()) tokens.pop_back();
    return tokens;
}

ParsedOptions parse_options(const char* text) {
    const std::vector<std::string> tokens = tokenize(text);
    const std::string end_of_list;
    auto token_at = [&](size_t n) -> const std::string& {
        return n < tokens.size() ? tokens[n] : end_of_list;
    };

    ParsedOptions parsed;
    Settings& st = parsed.settings;
    size_t cursor = 0; // one past the token under the cursor; 0 is before the first
    do {
        ++cursor;
        for (const Option& opt : options) {
            if (token_at(cursor - 1) != opt.name) continue;
            if (opt.kind == Kind::flag) {
                st.*opt.flag = true;
                continue;
            }
            ++cursor; // the value; the tests that remain in this pass look at it
            const std::string& value = token_at(cursor - 1);
            switch (opt.kind) {
            case Kind::integer:
                if (!to_integer(value, st.*opt.integer)) parsed.error = true;
                break;
            case Kind::real:
                if (!to_real(value, st.*opt.real)) parsed.error = true;
                break;
            case Kind::folder:
            case Kind::channel:
                st.*opt.text = value;
                break;
            case Kind::flag:
                break;
            }
        }
    } while (!token_at(cursor - 1).empty());

    if (st.channel.empty()) st.channel.push_back('r');
    if (!accepts(Kind::channel, st.channel)) parsed.error = true;
    return parsed;
}

void choose_folders(Settings& s) {
    if (!s.common_folder.empty()) {
        s.input_folder = s.output_folder = s.common_folder;
        return;
    }
    if (s.input_folder.empty() || s.output_folder.empty()) {
        const std::string exe = executable_folder();
        if (s.input_folder.empty()) s.input_folder = exe;
        if (s.output_folder.empty()) s.output_folder = exe;
    }
}

std::optional<Kind> option_kind(const std::string& name) {
    for (const Option& opt : options)
        if (name == opt.name) return opt.kind;
    return std::nullopt;
}

bool accepts(Kind kind, const std::string& value) {
    int32_t whole;
    float real;
    switch (kind) {
    case Kind::integer:
        return to_integer(value, whole);
    case Kind::real:
        return to_real(value, real);
    case Kind::channel:
        return value == "m" || value == "r" || value == "g" || value == "b";
    case Kind::folder:
    case Kind::flag:
        break;
    }
    return true;
}

std::string describe_options() {
    std::string out;
    for (const Option& opt : options) {
        std::string left = "  ";
        left.append(opt.name).append(*opt.value ? " " : "").append(opt.value);
        left.resize(std::max<size_t>(left.size() + 1, 16), ' ');
        out.append(left).append(opt.meaning).append("\n");
    }
    return out;
}

} // namespace tarnwick
