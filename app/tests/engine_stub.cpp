// A stand-in for the engine library: it returns the number written in "engine_code.txt" of
// the current directory (0 without that file) and appends one line per call, the options
// and the current directory, to "engine_calls.txt" there.
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
    int code = 0;
    if (std::FILE* given = std::fopen("engine_code.txt", "r")) {
        if (std::fscanf(given, "%d", &code) != 1) code = 0;
        std::fclose(given);
    }
    return code;
}
