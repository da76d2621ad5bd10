// Times one full engine run on a 3072 x 3072 angle image set (32 bits per pixel) against
// the I/O floor of the same run: reading the four angle images and writing three result
// images of the same size with plain file I/O. Prints both, their ratio and the peak
// memory of a process that does nothing but one engine run.
//
// usage: engine-bench [SIZE]      engine-bench --memory FOLDER
#include "bmp.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const char* const inputs[4] = {"0.bmp", "45.bmp", "90.bmp", "135.bmp"};
const char* const outputs[3] = {"a0.bmp", "a1.bmp", "a2.bmp"};

std::string library_path() {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir(exe, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    return dir.substr(0, dir.rfind('/') + 1) + "libtarnwick.so";
}

int run_engine(const std::string& folder) {
    void* lib = dlopen(library_path().c_str(), RTLD_NOW | RTLD_LOCAL);
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

void io_floor(const std::string& folder, std::vector<char>& buffer) {
    size_t total = 0;
    for (const char* name : inputs) {
        const int fd = open((folder + name).c_str(), O_RDONLY);
        ssize_t n;
        size_t got = 0;
        while ((n = read(fd, buffer.data() + got, buffer.size() - got)) > 0)
            got += static_cast<size_t>(n);
        close(fd);
        total = got;
    }
    for (const char* name : outputs) {
        const int fd = open((folder + "floor-" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (write(fd, buffer.data(), total) != static_cast<ssize_t>(total)) std::exit(1);
        close(fd);
    }
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long peak_memory_kib(const std::string& folder) {
    const pid_t child = fork();
    if (child == 0) {
        execl("/proc/self/exe", "engine-bench", "--memory", folder.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--memory") return run_engine(argv[2]);
    const int size = argc > 1 ? std::atoi(argv[1]) : 3072;

    const std::string folder =
        (std::filesystem::temp_directory_path() / ("engine-bench-" + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(folder);
    write_angle_set(folder, size);
    std::vector<char> buffer(std::filesystem::file_size(folder + inputs[0]) + 1);

    if (run_engine(folder) != 0) {
        std::fprintf(stderr, "engine run failed\n");
        return 1;
    }
    io_floor(folder, buffer); // both warm, files in the page cache

    std::vector<double> engine, floor;
    for (int i = 0; i < 7; ++i) {
        auto t = Clock::now();
        run_engine(folder);
        engine.push_back(seconds_since(t));
        t = Clock::now();
        io_floor(folder, buffer);
        floor.push_back(seconds_since(t));
    }
    const double e = median(engine), f = median(floor);
    const long memory = peak_memory_kib(folder);
    std::printf("angle image set %d x %d, 32 bits per pixel\n", size, size);
    std::printf("engine run (median of 7):   %8.1f ms\n", e * 1000);
    std::printf("I/O floor (median of 7):    %8.1f ms\n", f * 1000);
    std::printf("ratio engine / I/O floor:   %8.2f   (goal: at most 1.5)\n", e / f);
    std::printf("peak memory of one run:     %8.1f MB (goal: at most 200)\n", memory / 1024.0);
    std::filesystem::remove_all(folder);
    return 0;
}
