// A stand-in for the engine library: it returns the number given as the dark level
// ("-d 7" returns 7) and appends one line per call, the options and the current
// directory, to "engine_calls.txt" in the current directory.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" __attribute__((visibility("default"))) int32_t Execute_Tarnwick(const char* options) {
    char cwd[4096] = "";
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
    if (std::FILE* log = std::fopen("engine_calls.txt", "a")) {
        std::fprintf(log, "%s|%s\n", options, cwd);
        std::fclose(log);
    }
    const char* d = std::strstr(options, " -d ");
    return d ? static_cast<int32_t>(std::strtol(d + 4, nullptr, 10)) : 0;
}
