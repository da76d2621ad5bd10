#include "bmp.h"
#include "bmp_variants.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace testing_support;
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

bmp::Status decode_bytes(const std::vector<uint8_t>& b, bmp::Image& out, const bmp::Limits& l = {}) {
    return bmp::decode_image(b.data(), b.size(), out, l);
}

}  // namespace

TEST(Codec, EveryVariantReadsBackTheSameColours) {
    for (Variant v : testing_bmp::all_variants()) {
        for (auto [w, h] : {std::pair{1, 1}, std::pair{13, 7}, std::pair{64, 3}, std::pair{300, 2}}) {
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
    const bmp::Image img = make_image(3, 2, [](int32_t x, int32_t y) { return uint32_t(x * 16 + y); });
    ASSERT_TRUE(bmp::write_image_file(dir.file("x.bmp"), img));
    const std::string b = read_bytes(dir.file("x.bmp"));
    ASSERT_EQ(b.size(), 54u + 24u);
    auto u32 = [&](size_t at) { uint32_t v; std::memcpy(&v, b.data() + at, 4); return v; };
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), 78u);
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 3u);
    EXPECT_EQ(u32(22), 2u);                       // positive height: bottom-up
    EXPECT_EQ(u32(26), 1u | 32u << 16);           // one plane, 32 bits
    EXPECT_EQ(u32(30), 0u);                       // uncompressed
    EXPECT_EQ(static_cast<uint8_t>(b[54]), 1);    // first stored row is the bottom one (y = 1)
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
    EXPECT_THROW(bmp::write_file32(dir.file("r.bmp"), 4, 4, [](int32_t y, uint8_t*) {
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
    const std::vector<uint8_t> good8 = testing_bmp::encode(picture(Variant::pal8, 16, 8), Variant::pal8);
    const std::vector<uint8_t> good24 = testing_bmp::encode(picture(Variant::rgb24, 16, 8), Variant::rgb24);
    const std::vector<uint8_t> rle8 = testing_bmp::encode(picture(Variant::rle8, 16, 8), Variant::rle8);
    auto patched = [](std::vector<uint8_t> b, size_t at, uint32_t v, int bytes = 4) {
        for (int i = 0; i < bytes && at + i < b.size(); ++i) b[at + i] = static_cast<uint8_t>(v >> 8 * i);
        return b;
    };
    auto cut = [](std::vector<uint8_t> b, size_t n) { b.resize(n); return b; };
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
        {"huge dimensions", patched(patched(good24, 18, 3000000), 22, 2000000), bmp::Status::too_large},
        {"huge height, lying", patched(good24, 22, 30000), bmp::Status::truncated},
        {"data offset past end", patched(good24, 10, 0x7fffffff), bmp::Status::truncated},
        {"data offset inside header", patched(good24, 10, 20), bmp::Status::invalid},
        {"palette count too large", patched(good8, 46, 305402420), bmp::Status::invalid},
        {"index outside palette", patched(good8, 46, 3), bmp::Status::bad_data},
        {"JPEG inside", patched(good24, 30, 4), bmp::Status::unsupported},
        {"bit fields on 24 bits", patched(good24, 30, 3), bmp::Status::invalid},
        {"run-length top-down", patched(rle8, 22, uint32_t(-8)), bmp::Status::invalid},
        {"run past row end", patched(rle8, rle_offset, 0x0000ff, 2), bmp::Status::bad_data},
        {"delta out of image", patched(patched(rle8, rle_offset, 0x0200, 2), rle_offset + 2, 0x6464, 2),
         bmp::Status::bad_data},
        {"literal cut", cut(patched(rle8, rle_offset, 0xf000, 2), rle_offset + 6), bmp::Status::truncated},
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

TEST(Codec, RunLengthDataEndingEarlyEndsTheImage) {
    // the last row's end-of-line and the end-of-bitmap code are missing: the image ends
    std::vector<uint8_t> b = testing_bmp::encode(picture(Variant::rle8, 8, 2), Variant::rle8);
    b.resize(b.size() - 4);
    bmp::Image out;
    EXPECT_EQ(decode_bytes(b, out), bmp::Status::ok);
}
