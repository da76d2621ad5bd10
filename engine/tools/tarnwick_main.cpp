// tarnwick OPTION...: one analysis of an angle image set, with the engine's options.
// Prints one line, the status text of the result code (after the folder when it is not the
// current directory), and exits with the code; a failure adds a line on standard error that
// names the file or folder at fault. Arguments that the engine would skip or misread are
// refused with exit status 64 before anything is read or written. Standard input is never
// read.
#include "tarnwick.h"

#include "command_line.h"
#include "diagnosis.h"
#include "options.h"
#include "tarnwick_contract.h"
#include "version.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sysexits.h>
#include <vector>

namespace {

void print_help() {
    std::printf(
        "Usage: tarnwick [OPTION]...\n"
        "Analyses the angle image set 0.bmp, 45.bmp, 90.bmp, 135.bmp (polarizer at 0, 45,\n"
        "90 and 135 degrees under circularly polarized light) and writes a0.bmp (I/I0),\n"
        "a1.bmp (|sin(d)| in false colour) and a2.bmp (extinction angle in false colour).\n"
        "A folder that is not given is the current directory. A folder ends with '/', which\n"
        "is added to the name of an existing folder; quote a folder that holds blanks.\n\n"
        "Options:\n%s"
        "  --help        this text\n"
        "  --version     the engine's version\n\n"
        "Exit status: the result code, printed as its status text:\n",
        tarnwick::describe_options().c_str());
    for (int code = TARNWICK_READY; code <= TARNWICK_LAST_RESULT; ++code)
        std::printf("  %2d  %s\n", code, tarnwick_status_text(code));
    std::printf("  %2d  the arguments are not options the engine takes (nothing is read or "
                "written)\n",
                EX_USAGE);
}

bool same_place(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return a == b;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The folders of a run for its status line; empty for the current directory.
std::string folder_label(const tarnwick::Settings& s) {
    if (!same_place(s.input_folder, s.output_folder))
        return s.input_folder + " -> " + s.output_folder;
    return same_place(s.input_folder, ".") ? "" : s.input_folder;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-help") {
            print_help();
            return 0;
        }
        if (a == "--version") {
            std::printf("tarnwick %s\n", TARNWICK_VERSION);
            return 0;
        }
    }
    const command::Call call = command::make_call(args);
    if (!call.error.empty()) {
        std::fprintf(
            stderr,
            "tarnwick: %s\nUsage: tarnwick [OPTION]...\nTry 'tarnwick --help' for the options.\n",
            call.error.c_str());
        return EX_USAGE;
    }

    const int32_t code = Execute_Tarnwick(call.options.c_str());
    tarnwick::Settings settings = tarnwick::parse_options(call.options.c_str()).settings;
    tarnwick::choose_folders(settings);
    const std::string label = folder_label(settings);
    std::printf("%s%s\n", label.empty() ? "" : (label + ": ").c_str(), tarnwick_status_text(code));
    std::fflush(stdout);
    if (code != TARNWICK_READY)
        std::fprintf(stderr, "tarnwick: %s\n", command::explain(code, args, settings).c_str());
    return code;
}
