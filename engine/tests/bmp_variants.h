// Encodes a small image in the bitmap variants an angle image may come in, so that tests
// can check that every variant reads back to the same colours.
#pragma once

#include "bmp.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_bmp {

enum class Variant {
    pal1,
    pal4,
    pal8,
    pal8_core,
    pal8_topdown,
    pal8_v5,
    rle4,
    rle8,
    rgb16_555,
    rgb16_565,
    rgb24,
    rgb24_topdown,
    rgb32,
    rgb32_bitfields,
    rgb32_v4_bitfields,
};

const std::vector<Variant>& all_variants();
const char* name(Variant v);
// The most colours a variant can hold (palette variants), 0 for no limit.
int colour_limit(Variant v);

// `image` must not use more colours than the variant holds; 16-bit variants keep only the
// top 5 (or 6) bits of each channel, so give them colours that survive that.
std::vector<uint8_t> encode(const bmp::Image& image, Variant v);

// Run-length codes: RLE8 takes one index per pixel, RLE4 two per byte.
struct RleCodes {
    bool four;
    std::vector<uint8_t> b;
    void run(unsigned count, uint8_t index) {
        b.push_back(static_cast<uint8_t>(count));
        b.push_back(four ? static_cast<uint8_t>(index << 4 | index) : index);
    }
    // At least three indices.
    void literal(const std::vector<uint8_t>& idx) {
        b.push_back(0);
        b.push_back(static_cast<uint8_t>(idx.size()));
        const size_t start = b.size();
        for (size_t i = 0; i < idx.size(); ++i) {
            if (!four)
                b.push_back(idx[i]);
            else if (i % 2 == 0)
                b.push_back(static_cast<uint8_t>(idx[i] << 4));
            else
                b.back() |= idx[i];
        }
        if ((b.size() - start) % 2) b.push_back(0);
    }
    void delta(uint8_t right, uint8_t up) { b.insert(b.end(), {0, 2, right, up}); }
    void end_of_row() { b.insert(b.end(), {0, 0}); }
    void end() { b.insert(b.end(), {0, 1}); }
};

// A run-length file (RLE4 when `four`, else RLE8) of the given size around the codes
// `codes`, taken as they are, with the palette of 0x00RRGGBB entries `palette`.
std::vector<uint8_t> rle_file(int32_t width, int32_t height, bool four,
                              const std::vector<uint32_t>& palette,
                              const std::vector<uint8_t>& codes);

void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace testing_bmp
