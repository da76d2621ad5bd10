// tarnwick OPTION...: one analysis of an angle image set, with the engine's options.
// Prints the status text of the result code and exits with the code.
#include "tarnwick.h"

#include "options.h"
#include "result_codes.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void print_help() {
    std::printf(
        "Usage: tarnwick [OPTION]...\n"
        "Analyses the angle image set 0.bmp, 45.bmp, 90.bmp, 135.bmp (polarizer at 0, 45,\n"
        "90 and 135 degrees under circularly polarized light) and writes a0.bmp (I/I0),\n"
        "a1.bmp (|sin(d)| in false colour) and a2.bmp (extinction angle in false colour).\n"
        "Without -P, -D or -O it works on the current directory.\n\n"
        "Options (a folder ends with '/'; quote it when it contains blanks):\n%s\n"
        "Exit status: the result code, printed as its status text:\n",
        tarnwick::describe_options().c_str());
    for (int code = 0; code <= 10; ++code)
        std::printf("  %2d  %s\n", code, tarnwick::status_text(code));
}

}  // namespace

int main(int argc, char** argv) {
    std::string options;
    bool names_folder = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-help")) {
            print_help();
            return 0;
        }
        if (!std::strcmp(argv[i], "-P") || !std::strcmp(argv[i], "-D") || !std::strcmp(argv[i], "-O"))
            names_folder = true;
        if (!options.empty()) options += ' ';
        // A blank inside one argument belongs to it: quote such a value.
        if (std::strchr(argv[i], ' ') && argv[i][0] != '-' && !std::strchr(argv[i], '"'))
            options += std::string("\"") + argv[i] + "\"";
        else
            options += argv[i];
    }
    if (!names_folder) options = options.empty() ? "-P ./" : "-P ./ " + options;
    if (options.size() > tarnwick::max_option_chars)
        std::fprintf(stderr, "tarnwick: only the first %zu characters of the options are read\n",
                     tarnwick::max_option_chars);

    const int32_t code = Execute_Tarnwick(options.c_str());
    std::printf("%s\n", tarnwick::status_text(code));
    return code;
}
