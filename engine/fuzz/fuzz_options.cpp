// libFuzzer target: any option string ends in settings and an error flag, never in a
// crash, a hang or a read past the 255 characters the engine takes.
#include "options.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> tokens = tarnwick::tokenize(text.c_str());
    if (tokens.size() > TARNWICK_MAX_OPTION_WORDS) std::abort();
    for (const std::string& t : tokens)
        if (t.empty() || t.size() > TARNWICK_MAX_OPTION_CHARS + 1) std::abort();
    const tarnwick::ParsedOptions parsed = tarnwick::parse_options(text.c_str());
    const std::string& c = parsed.settings.channel;
    if (!parsed.error && c != "m" && c != "r" && c != "g" && c != "b") std::abort();
    return 0;
}
