#include "command_line.h"

#include "folder.h"
#include "options.h"

#include <cctype>
#include <set>

namespace command {

namespace {

using fileio::is_directory;
using tarnwick::Kind;

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// `word` as one argument on a shell's command line.
std::string as_argument(const std::string& word) {
    return word.find_first_of(" \t'\"\\$`") == std::string::npos ? word : "'" + word + "'";
}

// Why the engine would skip `word`, with a hint at what was probably meant.
std::string unknown(const std::string& word) {
    std::string why = quoted(word) + " is not an option";
    if (word.size() == 2 && word[0] == '-' && std::isalpha(static_cast<unsigned char>(word[1]))) {
        std::string other = word;
        other[1] = static_cast<char>(std::islower(static_cast<unsigned char>(word[1]))
                                         ? std::toupper(static_cast<unsigned char>(word[1]))
                                         : std::tolower(static_cast<unsigned char>(word[1])));
        if (tarnwick::option_kind(other))
            why += " (options are case-sensitive: did you mean " + other + "?)";
    } else if (!word.empty() && word[0] != '-' && is_directory(word)) {
        why += " (to analyse that folder: tarnwick -P " + as_argument(word) + ")";
    }
    return why;
}

// Why `value` cannot be one value token of the option string; empty when it can.
std::string unusable(const std::string& value) {
    if (value.empty()) return "the value is empty";
    if (value.find('"') != std::string::npos) return "a value cannot hold a double quote";
    if (value[0] == '-' && value.find(' ') != std::string::npos)
        return "a value that begins with \"-\" cannot hold a blank";
    return {};
}

// A value as the option string carries it: in double quotes when it holds a blank.
std::string as_token(const std::string& value) {
    return value.find(' ') == std::string::npos ? value : quoted(value);
}

} // namespace

Call make_call(const std::vector<std::string>& args) {
    std::vector<std::string> tokens;
    std::set<std::string> given;
    bool common = false, input = false, output = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        const auto kind = tarnwick::option_kind(name);
        if (!kind) return {{}, unknown(name)};
        // the engine would keep only the last of them, without a word
        if (!given.insert(name).second) return {{}, name + " is given twice"};
        tokens.push_back(name);
        if (*kind == Kind::flag) continue;
        if (i + 1 == args.size()) return {{}, name + " needs a value"};
        std::string value = args[++i];
        if (tarnwick::option_kind(value)) return {{}, name + " needs a value before " + value};
        if (std::string why = unusable(value); !why.empty())
            return {{}, name + " " + quoted(value) + ": " + why};
        if (*kind == Kind::folder) {
            if (value.back() != '/' && is_directory(value)) value += '/';
            (name == "-P" ? common : name == "-D" ? input : output) = true;
        }
        tokens.push_back(as_token(value));
    }
    // the engine takes -P for both folders, whatever -D and -O say
    if (common && (input || output))
        return {{},
                std::string(input ? "-D" : "-O") + " cannot be given with -P, which names "
                                                   "both folders"};
    if (!common && !input && !output)
        tokens.insert(tokens.begin(), {"-P", "./"});
    else if (!common && !input)
        tokens.insert(tokens.begin(), {"-D", "./"});
    else if (!common && !output)
        tokens.insert(tokens.begin(), {"-O", "./"});

    if (tokens.size() > TARNWICK_MAX_OPTION_WORDS)
        return {{},
                "the engine reads at most " + std::to_string(TARNWICK_MAX_OPTION_WORDS) +
                    " options and values, the folders included"};
    Call call;
    for (const std::string& t : tokens) call.options += (call.options.empty() ? "" : " ") + t;
    if (call.options.size() > TARNWICK_MAX_OPTION_CHARS)
        return {{},
                "the options take " + std::to_string(call.options.size()) +
                    " characters, the folders included; the engine reads " +
                    std::to_string(TARNWICK_MAX_OPTION_CHARS)};
    return call;
}

} // namespace command
