// make-angle-set FOLDER [SIZE]: writes a synthetic angle image set (0.bmp, 45.bmp,
// 90.bmp, 135.bmp, 32 bits per pixel) of a birefringent sample: a spherulite whose
// extinction direction follows the radius and whose retardation grows outwards, beside
// an isotropic background, under slightly uneven illumination.
//
// Seen through a polarizer at angle t under circularly polarized light, a sample of
// transmission T, retardation d and extinction angle phi gives
//     I(t) = T/2 (1 + sin(d) sin(2t - 2phi)).
#include "bmp.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make-angle-set FOLDER [SIZE]\n");
        return 2;
    }
    std::string folder = argv[1];
    if (folder.back() != '/') folder += '/';
    const int size = argc == 3 ? std::atoi(argv[2]) : 512;
    if (size < 1 || size > 3073) {
        std::fprintf(stderr, "make-angle-set: SIZE must be 1..3073\n");
        return 2;
    }
    const double pi = 3.14159265358979323846;
    const int angles[4] = {0, 45, 90, 135};
    for (int k = 0; k < 4; ++k) {
        const double t = angles[k] * pi / 180;
        const bool ok = bmp::write_file32(folder + std::to_string(angles[k]) + ".bmp", size, size,
                                          [&](int32_t y, uint8_t* bgrx) {
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
                const double i = transmission / 2 * (1 + std::sin(retardation) * std::sin(2 * t - 2 * phi));
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
