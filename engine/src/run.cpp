// One engine call: busy check, options, folders, then the fixed chain of steps Start,
// Read 0, 45, 90, 135, Compute, Write a1, Write a2, and Finish, which always removes the
// status file. Every failure becomes a result code; nothing leaves this file as an
// exception.
#include "tarnwick.h"

#include "angle_input.h"
#include "computation.h"
#include "options.h"
#include "result_codes.h"
#include "result_output.h"

#include <climits>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

const char* const status_file = "tarnwick.sta";

bool is_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool is_directory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder of the host process's executable, ending with "/".
std::string executable_folder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
    const std::string exe(path, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
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

bool write_status_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    static const char line[] = "started\r\n";
    const bool written = ::write(fd, line, sizeof line - 1) == static_cast<ssize_t>(sizeof line - 1);
    return ::close(fd) == 0 && written;
}

class Run {
public:
    explicit Run(const Settings& s) : s_(s) {}

    int32_t steps() {
        if (int32_t code = start(); code != ready) return code;
        for (int index = 0; index < 4; ++index) {
            int32_t code;
            try {
                code = read_angle_image(s_, index, planes_, buffer_);
            } catch (...) {
                code = cannot_write;
            }
            if (code != ready) return code;
        }
        buffer_ = bmp::ReadBuffer{};   // the files are no longer needed
        return compute_and_write();
    }

private:
    int32_t start() {
        int32_t code = ready;
        try {
            if (!write_status_file(s_.output_folder + status_file)) throw std::runtime_error("status");
            computation_ = std::make_unique<Computation>(s_);
            maps_ = std::make_unique<ColourMaps>(computation_->clamped());
        } catch (...) {
            code = cannot_write;
        }
        if (s_.max_width < 1 || s_.max_width > 3200 || s_.max_height < 1 || s_.max_height > 3200)
            code = size_limit;
        return code;
    }

    int32_t compute_and_write() {
        bool fits;
        try {
            fits = computation_->run(planes_);
        } catch (...) {
            return numerical_error;
        }
        if (!write(2, maps_->mean, "a0.bmp")) return cannot_write;
        if (!fits) return numerical_error;
        if (!write(0, maps_->retardation, "a1.bmp")) return cannot_write;
        if (!write(1, maps_->angle, "a2.bmp")) return cannot_write;
        return ready;
    }

    bool write(int plane, const std::array<uint32_t, 256>& map, const char* name) {
        try {
            return write_result(s_.output_folder + name, planes_, plane, map);
        } catch (...) {
            return false;
        }
    }

    const Settings& s_;
    std::unique_ptr<Computation> computation_;
    std::unique_ptr<ColourMaps> maps_;
    SamplePlanes planes_;
    bmp::ReadBuffer buffer_;
};

int32_t execute(const char* options) {
    if (is_file(status_file)) return busy;

    ParsedOptions parsed = parse_options(options);
    Settings& s = parsed.settings;
    choose_folders(s);

    int32_t code = ready;
    if (!is_directory(s.input_folder)) code = cannot_read_first;
    if (!is_directory(s.output_folder)) code = cannot_write;
    if (parsed.error) code = option_error;

    if (code == ready) {
        try {
            code = Run(s).steps();
        } catch (...) {
            code = numerical_error;
        }
    }

    // Finish: on every path but the busy one.
    const std::string status = s.output_folder + status_file;
    if (is_file(status)) ::unlink(status.c_str());
    return code;
}

}  // namespace

}  // namespace tarnwick

extern "C" int32_t Execute_Tarnwick(const char* options) {
    try {
        return tarnwick::execute(options);
    } catch (...) {
        return tarnwick::numerical_error;
    }
}
