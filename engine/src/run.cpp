// One engine call: busy check, options, folders, then the fixed chain of steps Start,
// Read 0, 45, 90, 135, Compute, Write a1, Write a2, and Finish, which always removes the
// status file. Every failure becomes a result code; nothing leaves this file as an
// exception.
#include "tarnwick.h"
#include "tarnwick_contract.h"

#include "angle_input.h"
#include "computation.h"
#include "folder.h"
#include "one_pass.h"
#include "options.h"
#include "result_output.h"
#include "work_split.h"

#include <cfenv>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

const char* const status_file = TARNWICK_STATUS_FILE;

bool is_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool write_status_file(const std::string& path) {
    // a FIFO in its place without a reader fails at once instead of blocking the run
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    static const char line[] = "started\r\n";
    const bool written =
        ::write(fd, line, sizeof line - 1) == static_cast<ssize_t>(sizeof line - 1);
    return ::close(fd) == 0 && written;
}

class Run {
  public:
    explicit Run(const Settings& s) : s_(s) {}

    int32_t steps() {
        if (int32_t code = start(); code != TARNWICK_READY) return code;
        // Most sets go through in one pass; the others, and any set whose pass fails on
        // the way, take the steps one by one, with their own result codes.
        if (std::optional<int32_t> code = run_one_pass(s_, *computation_, *maps_)) return *code;
        for (int index = 0; index < 4; ++index) {
            int32_t code;
            try {
                code = read_angle_image(s_, index, planes_);
            } catch (...) {
                code = TARNWICK_CANNOT_WRITE;
            }
            if (code != TARNWICK_READY) return code;
        }
        return compute_and_write();
    }

  private:
    int32_t start() {
        int32_t code = TARNWICK_READY;
        try {
            if (!write_status_file(s_.output_folder + status_file))
                throw std::runtime_error("status");
            computation_ = std::make_unique<Computation>(s_);
            maps_ = std::make_unique<ColourMaps>(computation_->clamped());
        } catch (...) {
            code = TARNWICK_CANNOT_WRITE;
        }
        if (s_.max_width < 1 || s_.max_width > TARNWICK_MAX_SIZE_OPTION || s_.max_height < 1 ||
            s_.max_height > TARNWICK_MAX_SIZE_OPTION)
            code = TARNWICK_SIZE_LIMIT;
        return code;
    }

    int32_t compute_and_write() {
        bool fits;
        try {
            fits = computation_->run(planes_);
        } catch (...) {
            return TARNWICK_NUMERICAL_ERROR;
        }
        Output a0(s_.output_folder + tarnwick_result_file(TARNWICK_TRANSMISSION), 2, maps_->mean);
        if (!fits)
            return a0.write(planes_) && a0.commit() ? TARNWICK_NUMERICAL_ERROR
                                                    : TARNWICK_CANNOT_WRITE;

        // The three images are written on two threads at once and each is put in place as
        // soon as it and the ones before it are complete: when one fails, the earlier
        // ones are replaced and the later ones keep their old content, as if they had been
        // written one by one.
        Output a1(s_.output_folder + tarnwick_result_file(TARNWICK_RETARDATION), 0,
                  maps_->retardation);
        Output a2(s_.output_folder + tarnwick_result_file(TARNWICK_ANGLE), 1, maps_->angle);
        CommitChain chain;
        auto deliver = [&](Output& out, int position) {
            out.write(planes_);
            chain.commit_in_turn(out, position);
        };
        // "a0.bmp", then the release of the image it replaced, beside "a1.bmp" and "a2.bmp".
        work::split(2, [&](int part) {
            if (part == 0) {
                deliver(a0, 0);
                a0.release_old();
            } else {
                deliver(a1, 1);
                deliver(a2, 2);
            }
        });
        return chain.all_committed() ? TARNWICK_READY : TARNWICK_CANNOT_WRITE;
    }

    class Output;

    // Puts the result images in place in their order, whichever thread wrote them.
    class CommitChain {
      public:
        void commit_in_turn(Output& out, int position) {
            std::unique_lock lock(mutex_);
            turn_.wait(lock, [&] { return next_ == position; });
            lock.unlock();
            const bool ok = !failed_ && out.commit();
            lock.lock();
            failed_ = failed_ || !ok;
            ++next_;
            turn_.notify_all();
        }
        bool all_committed() {
            std::lock_guard lock(mutex_);
            return !failed_;
        }

      private:
        std::mutex mutex_;
        std::condition_variable turn_;
        int next_ = 0;
        bool failed_ = false;
    };

    // One result image on its way to the output folder.
    class Output {
      public:
        Output(const std::string& path, int plane, const std::array<uint32_t, 256>& map)
            : file_(path), plane_(plane), map_(map) {}
        bool write(const SamplePlanes& planes) {
            try {
                written_ = write_result(file_, planes, plane_, map_);
            } catch (...) {
                written_ = false;
            }
            return written_;
        }
        bool commit() { return written_ && file_.commit(); }
        void release_old() { file_.release_old(); }

      private:
        fileio::ReplacementFile file_;
        int plane_;
        const std::array<uint32_t, 256>& map_;
        bool written_ = false;
    };

    const Settings& s_;
    std::unique_ptr<Computation> computation_;
    std::unique_ptr<ColourMaps> maps_;
    SamplePlanes planes_;
};

int32_t execute(const char* options) {
    if (is_file(status_file)) return TARNWICK_BUSY;

    ParsedOptions parsed = parse_options(options);
    Settings& s = parsed.settings;
    choose_folders(s);

    int32_t code = TARNWICK_READY;
    if (!fileio::is_directory(s.input_folder)) code = TARNWICK_CANNOT_READ_FIRST;
    if (!fileio::is_directory(s.output_folder)) code = TARNWICK_CANNOT_WRITE;
    if (parsed.error) code = TARNWICK_OPTION_ERROR;

    if (code == TARNWICK_READY) {
        try {
            code = Run(s).steps();
        } catch (...) {
            code = TARNWICK_NUMERICAL_ERROR;
        }
    }

    // Finish: on every path but the busy one.
    const std::string status = s.output_folder + status_file;
    if (is_file(status)) ::unlink(status.c_str());
    return code;
}

} // namespace

} // namespace tarnwick

extern "C" int32_t Execute_Tarnwick(const char* options) {
    // The arithmetic rounds as defined whatever rounding the host has set; the host gets
    // its own setting back.
    std::fenv_t host;
    const bool saved = std::fegetenv(&host) == 0;
    std::fesetenv(FE_DFL_ENV);
    int32_t code;
    try {
        code = tarnwick::execute(options);
    } catch (...) {
        code = TARNWICK_NUMERICAL_ERROR;
    }
    if (saved) std::fesetenv(&host);
    return code;
}
