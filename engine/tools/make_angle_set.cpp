// make-angle-set FOLDER [SIZE]: writes a synthetic angle image set (0.bmp, 45.bmp,
// 90.bmp, 135.bmp, 32 bits per pixel) of a birefringent sample: a spherulite whose
// extinction direction follows the radius and whose retardation grows outwards, beside
// an isotropic background, under slightly uneven illumination.
//
// Seen through a polarizer at angle t under circularly polarized light, a sample of
// transmission T, retardation d and extinction angle phi gives
//     I(t) = T/2 (1 + sin(d) sin(2t - 2phi)).
#include "angle_input.h"
#include "bmp.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sysexits.h>
#include <system_error>

namespace {

const char usage_line[] = "Usage: make-angle-set FOLDER [SIZE]\n";
// %d: the largest SIZE, the largest angle image the engine takes
const char description[] =
    "Writes a synthetic angle image set 0.bmp, 45.bmp, 90.bmp, 135.bmp (32 bits per pixel,\n"
    "SIZE x SIZE pixels, 1..%d, default 512) of a birefringent sample into FOLDER, which\n"
    "is created when it does not exist. Analyse it with: tarnwick -P FOLDER\n";

int refuse(const char* why) {
    std::fprintf(stderr, "make-angle-set: %s\n%sTry 'make-angle-set --help' for more.\n", why,
                 usage_line);
    return EX_USAGE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::printf("%s", usage_line);
        std::printf(description, static_cast<int>(tarnwick::plane_limit));
        return 0;
    }
    if (argc < 2 || argc > 3) return refuse("give a folder and optionally a size");
    std::string folder = argv[1];
    if (folder.empty() || folder[0] == '-') return refuse(("unknown option " + folder).c_str());
    int size = 512;
    if (argc == 3) {
        const char* end = argv[2] + std::strlen(argv[2]);
        const auto [stop, ec] = std::from_chars(argv[2], end, size);
        if (ec != std::errc{} || stop != end || size < 1 || size > tarnwick::plane_limit)
            return refuse(
                ("SIZE must be a whole number from 1 to " + std::to_string(tarnwick::plane_limit))
                    .c_str());
    }
    if (folder.back() != '/') folder += '/';
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "make-angle-set: cannot create %s: %s\n", folder.c_str(),
                     ec.message().c_str());
        return 1;
    }
    const double pi = 3.14159265358979323846;
    const int angles[4] = {0, 45, 90, 135};
    for (int k = 0; k < 4; ++k) {
        const double t = angles[k] * pi / 180;
        const bool ok = bmp::write_file32(
            folder + std::to_string(angles[k]) + ".bmp", size, size, [&](int32_t y, uint8_t* bgrx) {
                for (int x = 0; x < size; ++x) {
                    const double u = (x + 0.5) / size - 0.5, v = (y + 0.5) / size - 0.5;
                    const double radius = std::hypot(u, v) / 0.42;
                    const double light = 0.9 - 0.15 * (u * u + v * v);
                    double transmission = light, retardation = 0, phi = 0;
                    if (radius < 1) {
                        transmission = light * (0.75 + 0.1 * std::cos(radius * 9));
                        retardation = radius * 1.5;
                        phi = std::atan2(v, u);
                    }
                    const double i =
                        transmission / 2 * (1 + std::sin(retardation) * std::sin(2 * t - 2 * phi));
                    const auto level = static_cast<uint8_t>(std::lround(std::fmin(255, 255 * i)));
                    bgrx[4 * x] = bgrx[4 * x + 1] = bgrx[4 * x + 2] = level;
                    bgrx[4 * x + 3] = 0;
                }
            });
        if (!ok) {
            std::fprintf(stderr, "make-angle-set: cannot write into %s\n", folder.c_str());
            return 1;
        }
    }
    std::printf("angle image set of %d x %d pixels written to %s\n", size, size, folder.c_str());
    return 0;
}
