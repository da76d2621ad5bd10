// libFuzzer target: any byte string is decoded or refused, within the buffer and without
// an allocation larger than the limits allow.
#include "bmp.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Small limits: every path of the reader is reached with small images, and a run that
    // decodes millions of pixels teaches the fuzzer nothing new but takes a thousand times
    // as long. A header that asks for more is refused before anything is allocated.
    bmp::Limits limits;
    limits.max_width = 4096;
    limits.max_height = 4096;
    limits.max_pixels = 1 << 14;
    bmp::Image image;
    if (bmp::decode_image(data, size, image, limits) == bmp::Status::ok) {
        if (image.width < 1 || image.height < 1 ||
            image.pixels.size() !=
                static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
            std::abort();
    }
    return 0;
}
