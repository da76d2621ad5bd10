#include "bmp.h"
#include "bmp_variants.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

using namespace testing_support;
using testing_bmp::RleCodes;
using testing_bmp::Variant;

namespace {

// Colours that every variant keeps exactly: at most 2 of them for 1 bit per pixel, and
// only channel levels that both 5- and 6-bit channels reproduce (0, 8, 16, 24, 231, 239,
// 247, 255).
bmp::Image picture(Variant v, int32_t w, int32_t h) {
    const int limit = testing_bmp::colour_limit(v);
    static const uint32_t colours[] = {0x000000, 0xffffff, 0xff0000, 0x00ff00, 0x0000ff, 0xffff00,
                                       0x00ffff, 0xff00ff, 0x0818e7, 0xe7f700, 0x00ef18, 0xf7e710,
                                       0x181818, 0xefefef, 0x080000, 0x0000f7};
    const int n = limit ? std::min(limit, 16) : 16;
    return make_image(w, h, [&](int32_t x, int32_t y) {
        // long runs and short literals, so the run-length encoders use both modes
        const int i = (x < w / 2) ? (y % n) : ((x * 7 + y * 3) % n);
        return colours[i];
    });
}

// Sixteen distinct colours, the palette of the run-length fixtures.
std::vector<uint32_t> sixteen_colours() {
    std::vector<uint32_t> p;
    for (uint32_t i = 0; i < 16; ++i) p.push_back(i * 0x100f07);
    return p;
}

bmp::Status decode_bytes(const std::vector<uint8_t>& b, bmp::Image& out,
                         const bmp::Limits& l = {}) {
    return bmp::decode_image(b.data(), b.size(), out, l);
}

} // namespace

TEST(Codec, EveryVariantReadsBackTheSameColours) {
    for (Variant v : testing_bmp::all_variants()) {
        for (auto [w, h] :
             {std::pair{1, 1}, std::pair{13, 7}, std::pair{64, 3}, std::pair{300, 2}}) {
            const bmp::Image img = picture(v, w, h);
            bmp::Image back;
            ASSERT_EQ(decode_bytes(testing_bmp::encode(img, v), back), bmp::Status::ok)
                << testing_bmp::name(v) << " " << w << "x" << h;
            EXPECT_EQ(back.width, w);
            EXPECT_EQ(back.height, h);
            EXPECT_EQ(back.pixels, img.pixels) << testing_bmp::name(v) << " " << w << "x" << h;
        }
    }
}

TEST(Codec, WritesThirtyTwoBitBottomUp) {
    TempFolder dir;
    const bmp::Image img =
        make_image(3, 2, [](int32_t x, int32_t y) { return uint32_t(x * 16 + y); });
    ASSERT_TRUE(bmp::write_image_file(dir.file("x.bmp"), img));
    const std::string b = read_bytes(dir.file("x.bmp"));
    ASSERT_EQ(b.size(), 54u + 24u);
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    };
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), 78u);
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 3u);
    EXPECT_EQ(u32(22), 2u);                    // positive height: bottom-up
    EXPECT_EQ(u32(26), 1u | 32u << 16);        // one plane, 32 bits
    EXPECT_EQ(u32(30), 0u);                    // uncompressed
    EXPECT_EQ(static_cast<uint8_t>(b[54]), 1); // first stored row is the bottom one (y = 1)
    bmp::Image back;
    ASSERT_EQ(bmp::read_image_file(dir.file("x.bmp"), back), bmp::Status::ok);
    EXPECT_EQ(back.pixels, img.pixels);
}

TEST(Codec, ReplacingWriteKeepsTheOldFileOnFailure) {
    TempFolder dir;
    const bmp::Image img = make_image(4, 4, [](int32_t, int32_t) { return 0x123456u; });
    ASSERT_TRUE(bmp::write_image_file(dir.file("r.bmp"), img));
    const std::string before = read_bytes(dir.file("r.bmp"));
    // a row source that fails halfway, as a full disk would
    EXPECT_THROW(bmp::write_file32(dir.file("r.bmp"), 4, 4,
                                   [](int32_t y, uint8_t*) {
                                       if (y == 1) throw std::runtime_error("disk full");
                                   }),
                 std::runtime_error);
    EXPECT_EQ(read_bytes(dir.file("r.bmp")), before);
    EXPECT_FALSE(bmp::write_image_file(dir.file("missing/r.bmp"), img));
    // nothing but the one file is left in the folder
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) entries += !e.path().empty();
    EXPECT_EQ(entries, 1);
}

// Damage of every kind ends in a clean error, never a crash or an oversized allocation.
TEST(Codec, RefusesDamagedFiles) {
    const std::vector<uint8_t> good8 =
        testing_bmp::encode(picture(Variant::pal8, 16, 8), Variant::pal8);
    const std::vector<uint8_t> good24 =
        testing_bmp::encode(picture(Variant::rgb24, 16, 8), Variant::rgb24);
    const std::vector<uint8_t> rle8 =
        testing_bmp::encode(picture(Variant::rle8, 16, 8), Variant::rle8);
    auto patched = [](std::vector<uint8_t> b, size_t at, uint32_t v, int bytes = 4) {
        for (int i = 0; i < bytes && at + i < b.size(); ++i)
            b[at + i] = static_cast<uint8_t>(v >> 8 * i);
        return b;
    };
    auto cut = [](std::vector<uint8_t> b, size_t n) {
        b.resize(n);
        return b;
    };
    uint32_t rle_offset;
    std::memcpy(&rle_offset, rle8.data() + 10, 4);

    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        bmp::Status status;
    } cases[] = {
        {"empty", {}, bmp::Status::invalid},
        {"not BM", patched(good24, 0, 'X', 1), bmp::Status::invalid},
        {"header only", cut(good24, 20), bmp::Status::truncated},
        {"pixel data cut", cut(good24, good24.size() - 10), bmp::Status::truncated},
        {"unknown header size", patched(good24, 14, 66), bmp::Status::invalid},
        {"zero width", patched(good24, 18, 0), bmp::Status::invalid},
        {"negative width", patched(good24, 18, uint32_t(-5)), bmp::Status::invalid},
        {"zero height", patched(good24, 22, 0), bmp::Status::invalid},
        {"two planes", patched(good24, 26, 2, 2), bmp::Status::invalid},
        {"bad bit count", patched(good24, 28, 30000, 2), bmp::Status::invalid},
        {"huge dimensions", patched(patched(good24, 18, 3000000), 22, 2000000),
         bmp::Status::too_large},
        {"huge height, lying", patched(good24, 22, 30000), bmp::Status::truncated},
        {"data offset past end", patched(good24, 10, 0x7fffffff), bmp::Status::truncated},
        {"data offset inside header", patched(good24, 10, 20), bmp::Status::invalid},
        {"palette count too large", patched(good8, 46, 305402420), bmp::Status::invalid},
        {"index outside palette", patched(good8, 46, 3), bmp::Status::bad_data},
        {"JPEG inside", patched(good24, 30, 4), bmp::Status::unsupported},
        {"bit fields on 24 bits", patched(good24, 30, 3), bmp::Status::invalid},
        {"run-length top-down", patched(rle8, 22, uint32_t(-8)), bmp::Status::invalid},
        {"run-length index outside palette", patched(rle8, 46, 2), bmp::Status::bad_data},
        {"literal cut", cut(patched(rle8, rle_offset, 0xf000, 2), rle_offset + 6),
         bmp::Status::truncated},
        {"delta cut", cut(patched(rle8, rle_offset, 0x0200, 2), rle_offset + 3),
         bmp::Status::truncated},
    };
    for (const auto& c : cases) {
        bmp::Image out;
        EXPECT_EQ(decode_bytes(c.bytes, out), c.status) << c.what;
    }

    bmp::Limits small;
    small.max_width = 15;
    bmp::Image out;
    EXPECT_EQ(decode_bytes(good24, out, small), bmp::Status::too_large);
}

// Encoders let a row's last run go past the row's end (ImageMagick pads every row to a
// multiple of four pixels): those pixels are dropped, whatever the width, the kind of code
// and the depth. Index 15 is painted only past the ends of the rows.
TEST(Codec, RunLengthRowsAreClippedAtTheirEnd) {
    const std::vector<uint32_t> palette = sixteen_colours();
    const uint8_t stray = 15;
    const int32_t h = 3;
    for (bool four : {false, true}) {
        for (int32_t w : {1, 3, 97, 101}) {
            for (int past : {0, 1, 3}) {
                for (bool literal : {false, true}) {
                    // The last `tail` pixels of a row are one code that runs `past` further.
                    const int32_t tail = std::min(w, 4);
                    auto index = [&](int32_t x, int32_t y) {
                        if (x < w - tail || literal) return static_cast<uint8_t>((x * 5 + y) % 15);
                        return static_cast<uint8_t>(y + 1);
                    };
                    RleCodes c{four, {}};
                    for (int32_t y = h - 1; y >= 0; --y) { // the bottom row first
                        for (int32_t x = 0; x < w - tail; ++x) c.run(1, index(x, y));
                        std::vector<uint8_t> last;
                        for (int32_t x = w - tail; x < w; ++x) last.push_back(index(x, y));
                        last.insert(last.end(), static_cast<size_t>(past), stray);
                        if (!literal)
                            c.run(static_cast<unsigned>(last.size()), last[0]);
                        else if (last.size() >= 3)
                            c.literal(last);
                        else
                            for (uint8_t i : last) c.run(1, i);
                        c.end_of_row();
                    }
                    c.end();
                    const std::string what = std::string(four ? "RLE4" : "RLE8") + " width " +
                                             std::to_string(w) + ", " + std::to_string(past) +
                                             " past the end, " + (literal ? "literal" : "run");
                    bmp::Image out;
                    ASSERT_EQ(decode_bytes(testing_bmp::rle_file(w, h, four, palette, c.b), out),
                              bmp::Status::ok)
                        << what;
                    const bmp::Image expected = make_image(
                        w, h, [&](int32_t x, int32_t y) { return palette[index(x, y)]; });
                    EXPECT_EQ(out.pixels, expected.pixels) << what;
                }
            }
        }
    }
}

// Codes that reach past a row's end or past the last row paint nothing there, and nothing
// spills into the next row: pixels the data skip keep index 0.
TEST(Codec, RunLengthDataOutsideTheImageIsDropped) {
    using Codes = std::function<void(RleCodes&)>;
    const struct {
        const char* what;
        Codes codes;
        const char* rows; // top row, then bottom row: one index digit per pixel
    } cases[] = {
        {"run past the end, next row skips its start",
         [](RleCodes& c) { c.run(7, 1), c.end_of_row(), c.delta(2, 0), c.run(3, 2); },
         "00222 11111"},
        {"literal past the end, next row skips its start",
         [](RleCodes& c) {
             c.literal({1, 2, 1, 2, 1, 3, 3}), c.end_of_row(), c.delta(2, 0), c.run(3, 2);
         },
         "00222 12121"},
        {"delta past the end of the row",
         [](RleCodes& c) { c.run(2, 1), c.delta(4, 0), c.run(3, 3), c.end_of_row(), c.run(5, 2); },
         "22222 11000"},
        {"row past the last one",
         [](RleCodes& c) { c.run(5, 1), c.end_of_row(), c.run(5, 2), c.end_of_row(), c.run(5, 3); },
         "22222 11111"},
        {"delta past the last row",
         [](RleCodes& c) {
             c.run(5, 1), c.delta(0, 3), c.run(5, 3), c.literal({3, 3, 3});
         },
         "00000 11111"},
    };
    const std::vector<uint32_t> palette = sixteen_colours();
    for (bool four : {false, true}) {
        for (const auto& k : cases) {
            RleCodes c{four, {}};
            k.codes(c);
            c.end();
            bmp::Image out;
            ASSERT_EQ(decode_bytes(testing_bmp::rle_file(5, 2, four, palette, c.b), out),
                      bmp::Status::ok)
                << k.what;
            const std::string rows = k.rows;
            const bmp::Image expected = make_image(5, 2, [&](int32_t x, int32_t y) {
                return palette[static_cast<size_t>(rows[static_cast<size_t>(y * 6 + x)] - '0')];
            });
            EXPECT_EQ(out.pixels, expected.pixels) << k.what << (four ? " RLE4" : " RLE8");
        }
    }
}

// The last row's end-of-line and the end-of-bitmap code are missing: the image ends with the
// data, every pixel painted as the codes say.
TEST(Codec, RunLengthDataEndingEarlyEndsTheImage) {
    const bmp::Image painted = picture(Variant::rle8, 8, 2);
    std::vector<uint8_t> b = testing_bmp::encode(painted, Variant::rle8);
    ASSERT_EQ(std::vector<uint8_t>(b.end() - 4, b.end()), (std::vector<uint8_t>{0, 0, 0, 1}));
    b.resize(b.size() - 4);
    bmp::Image out;
    ASSERT_EQ(decode_bytes(b, out), bmp::Status::ok);
    EXPECT_EQ(out.pixels, painted.pixels);
}
