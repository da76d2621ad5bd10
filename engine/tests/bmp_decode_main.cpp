// bmp-decode FILE: decodes a bitmap with the project's codec. Prints the status on
// standard error; on success writes "width height\n" and the pixels as red, green, blue
// bytes, top row first, to standard output. Exit status 0 decoded, 1 refused.
#include "bmp.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bmp-decode FILE\n");
        return 2;
    }
    bmp::Image img;
    const bmp::Status s = bmp::read_image_file(argv[1], img);
    std::fprintf(stderr, "%s\n", bmp::status_text(s));
    if (s != bmp::Status::ok) return 1;
    std::printf("%d %d\n", img.width, img.height);
    for (uint32_t p : img.pixels) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                      static_cast<unsigned char>(p >> 8),
                                      static_cast<unsigned char>(p)};
        std::fwrite(rgb, 1, 3, stdout);
    }
    return 0;
}
