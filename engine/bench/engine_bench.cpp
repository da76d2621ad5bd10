// engine-bench [SIZE]: the engine against the I/O floor of its run, its peak memory, and
// the tarnwick command against an array program of the same formulas, on one angle
// image set of SIZE x SIZE 32-bit images (3072 by default): a sample with camera noise.
//
// - The engine run (libtarnwick.so loaded, called and unloaded, as the program does)
//   against two floors of the same I/O: reading the four files into page-aligned memory
//   and writing three files of their size through a temporary name renamed over the old
//   file, with the engine's own writer, on one thread and split across two. The disk is
//   synced before every timed run, so that no run pays for the writes the one before
//   left queued; the kinds alternate, each is timed several times, and the figures are
//   the minimum and the median. Back to back the result files are in place, as in a
//   measurement after the first; the same again with no result files.
// - The peak memory of one run, in a process that does nothing else and starts small:
//   the high-water mark of a fresh process image, which no fork or exec passes on.
// - The tarnwick command against tarnwick_numpy.py (the formulas written with numpy),
//   each as a process of its own on the same set, and whether their images are equal.
// It fails nothing: the figures are for reading, with the goals beside them.
//
// usage: engine-bench [SIZE]      engine-bench --memory FOLDER
#include "bmp.h"
#include "file_replace.h"
#include "work_split.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
const char* const inputs[4] = {"0.bmp", "45.bmp", "90.bmp", "135.bmp"};
const char* const outputs[3] = {"a0.bmp", "a1.bmp", "a2.bmp"};

std::string own_folder() {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string path(exe, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    return path.substr(0, path.rfind('/') + 1);
}

int run_engine(const std::string& folder) {
    void* lib = dlopen((own_folder() + "libtarnwick.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "%s\n", dlerror());
        std::exit(1);
    }
    auto fn = reinterpret_cast<int32_t (*)(const char*)>(dlsym(lib, "Execute_Tarnwick"));
    const int code = fn(("-P " + folder).c_str());
    dlclose(lib);
    return code;
}

// A physical-looking sample with camera noise, so no table or branch sees one value only.
void write_angle_set(const std::string& folder, int size) {
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0, 2);
    for (int k = 0; k < 4; ++k) {
        const double t = k * M_PI / 4;
        bmp::write_file32(folder + inputs[k], size, size, [&](int32_t y, uint8_t* bgrx) {
            for (int x = 0; x < size; ++x) {
                const double u = double(x) / size - 0.5, v = double(y) / size - 0.5;
                const double d = std::hypot(u, v) * 9, phi = std::atan2(v, u);
                const double i =
                    90 * (1 + 0.8 * std::sin(d) * std::sin(2 * t - 2 * phi)) + noise(rng);
                const uint8_t level = static_cast<uint8_t>(std::clamp(i, 0.0, 255.0));
                bgrx[4 * x] = bgrx[4 * x + 1] = bgrx[4 * x + 2] = level;
                bgrx[4 * x + 3] = 0;
            }
        });
    }
}

struct Free {
    void operator()(uint8_t* p) const { std::free(p); }
};

// The floor: the four files read into page-aligned memory, three files of their size
// written from it through the engine's replacement files, on `threads` threads, each
// taking its share of every file.
class Floor {
  public:
    Floor(const std::string& folder) : folder_(folder) {
        size_ = std::filesystem::file_size(folder + inputs[0]);
        for (auto& b : memory_) {
            b.reset(static_cast<uint8_t*>(std::aligned_alloc(4096, (size_ + 4095) / 4096 * 4096)));
            std::memset(b.get(), 0, size_); // the floor pays no page faults
        }
    }

    bool run(int threads) {
        int in[4];
        for (int i = 0; i < 4; ++i) in[i] = open((folder_ + inputs[i]).c_str(), O_RDONLY);
        std::unique_ptr<fileio::ReplacementFile> out[3];
        for (int o = 0; o < 3; ++o)
            out[o] = std::make_unique<fileio::ReplacementFile>(folder_ + outputs[o]);
        bool good = true;
        work::split(threads, [&](int part) {
            const uint64_t from = size_ / 4096 * part / threads * 4096;
            const uint64_t to =
                part == threads - 1 ? size_ : size_ / 4096 * (part + 1) / threads * 4096;
            for (int i = 0; i < 4; ++i)
                if (pread(in[i], memory_[i].get() + from, to - from, static_cast<off_t>(from)) !=
                    static_cast<ssize_t>(to - from))
                    good = false;
            for (int o = 0; o < 3; ++o)
                if (!out[o]->write_at(memory_[o].get() + from, to - from, from)) good = false;
        });
        for (int i = 0; i < 4; ++i) close(in[i]);
        for (auto& f : out) good = f->commit() && good;
        for (auto& f : out) f->release_old();
        return good;
    }

  private:
    std::string folder_;
    uint64_t size_;
    std::unique_ptr<uint8_t, Free> memory_[4];
};

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Times {
    std::vector<double> runs;
    double min() const { return *std::min_element(runs.begin(), runs.end()); }
    double median() const {
        std::vector<double> v = runs;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
};

// Times `f` after syncing the disk, with the result files in place or removed first.
template <class F> void timed(Times& t, const std::string& folder, bool fresh, F f) {
    if (fresh)
        for (const char* name : outputs) std::remove((folder + name).c_str());
    sync();
    const auto start = Clock::now();
    if (!f()) {
        std::fprintf(stderr, "engine-bench: a run failed\n");
        std::exit(1);
    }
    t.runs.push_back(seconds_since(start));
}

// Runs a program to its end with its output thrown away, or into `text`.
int spawn(const std::vector<std::string>& args, std::string* text = nullptr) {
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child;
    const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        if (text) text->append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    if (failed || waitpid(child, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In the child of --memory: one engine run, then this process image's peak.
int memory_child(const std::string& folder) {
    const int code = run_engine(folder);
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) std::printf("%s\n", line.c_str() + 6);
    return code;
}

bool same_results(const std::string& a, const std::string& b) {
    auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    for (const char* name : outputs)
        if (bytes(a + name) != bytes(b + name)) return false;
    return true;
}

const char* verdict(bool met) {
    return met ? "met" : "NOT MET";
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--memory") return memory_child(argv[2]);
    const int size = argc > 1 ? std::atoi(argv[1]) : 3072;

    const std::string folder =
        (std::filesystem::temp_directory_path() / ("engine-bench-" + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(folder);
    write_angle_set(folder, size);
    Floor floor(folder);
    auto engine = [&] { return run_engine(folder) == 0; };
    auto floor_on = [&](int threads) { return [&floor, threads] { return floor.run(threads); }; };
    // warm: the angle images in the page cache, every buffer touched
    if (!engine() || !floor.run(1) || !floor.run(2) || !engine()) {
        std::fprintf(stderr, "engine-bench: the warm-up failed\n");
        return 1;
    }

    constexpr int back_to_back_runs = 7, fresh_runs = 5;
    Times e, f1, f2, fresh_e, fresh_f1;
    for (int i = 0; i < back_to_back_runs; ++i) {
        timed(e, folder, false, engine);
        timed(f1, folder, false, floor_on(1));
        timed(f2, folder, false, floor_on(2));
    }
    for (int i = 0; i < fresh_runs; ++i) {
        timed(fresh_e, folder, true, engine);
        timed(fresh_f1, folder, true, floor_on(1));
    }

    std::string peak;
    spawn({own_folder() + "engine-bench", "--memory", folder}, &peak);
    const double peak_mb = std::atof(peak.c_str()) / 1024;

    // the command and the array program, each on its own copy of the results
    const std::string numpy_folder = folder + "numpy/";
    std::filesystem::create_directories(numpy_folder);
    Times command, numpy;
    bool numpy_ran = true;
    for (int i = 0; i < 5; ++i)
        timed(command, folder, false, [&] { return spawn({TARNWICK_COMMAND, "-P", folder}) == 0; });
    for (int i = 0; i < 3 && numpy_ran; ++i) {
        sync();
        const auto start = Clock::now();
        numpy_ran = spawn({SYSTEM_PYTHON3, TARNWICK_NUMPY, "-D", folder, "-O", numpy_folder}) == 0;
        numpy.runs.push_back(seconds_since(start));
    }

    const double ratio1 = e.median() / f1.median(), ratio2 = e.median() / f2.median();
    std::printf("angle image set %d x %d, 32 bits per pixel; disk synced before every run\n", size,
                size);
    std::printf("back to back (result files in place), %d runs each:  min       median\n",
                back_to_back_runs);
    std::printf("  engine run                               %8.1f ms %8.1f ms\n", e.min() * 1e3,
                e.median() * 1e3);
    std::printf("  I/O floor, one thread                    %8.1f ms %8.1f ms\n", f1.min() * 1e3,
                f1.median() * 1e3);
    std::printf("  I/O floor, two threads                   %8.1f ms %8.1f ms\n", f2.min() * 1e3,
                f2.median() * 1e3);
    std::printf(
        "  engine / floor, one thread               %8.2f    %8.2f    (goal: at most 1.2)\n",
        e.min() / f1.min(), ratio1);
    std::printf(
        "  engine / floor, two threads              %8.2f    %8.2f    (goal: at most 1.5)\n",
        e.min() / f2.min(), ratio2);
    std::printf("no result files in place, %d runs each:\n", fresh_runs);
    std::printf("  engine run                               %8.1f ms %8.1f ms\n",
                fresh_e.min() * 1e3, fresh_e.median() * 1e3);
    std::printf("  I/O floor, one thread                    %8.1f ms %8.1f ms\n",
                fresh_f1.min() * 1e3, fresh_f1.median() * 1e3);
    std::printf("  engine / floor, one thread               %8.2f    %8.2f\n",
                fresh_e.min() / fresh_f1.min(), fresh_e.median() / fresh_f1.median());
    std::printf("peak memory of one run in a process of its own: %.1f MB (goal: at most 25)\n",
                peak_mb);
    double speedup = 0;
    if (numpy_ran) {
        speedup = numpy.median() / command.median();
        std::printf("tarnwick command %.1f ms, tarnwick_numpy.py %.1f ms (medians): %.1f x faster "
                    "(goal: at least 10); result images %s\n",
                    command.median() * 1e3, numpy.median() * 1e3, speedup,
                    same_results(folder, numpy_folder) ? "equal" : "DIFFERENT");
    } else {
        std::printf("tarnwick_numpy.py did not run (numpy missing?): no comparison\n");
    }
    std::printf("goals: one-thread floor %s, two-thread floor %s, memory %s, numpy %s\n",
                verdict(ratio1 <= 1.2), verdict(ratio2 <= 1.5), verdict(peak_mb <= 25),
                verdict(speedup >= 10));
    std::filesystem::remove_all(folder);
    return 0;
}
