// The pixels of GenICam cameras as the window takes them: each format read to 32-bit RGB of
// 8 bits, on small frames whose every sample is known.
#include "capture/genicam_pixels.h"

#include <gtest/gtest.h>

#include <arv.h>

#include <vector>

namespace {

// 16-bit samples as the camera sends them, little-endian.
std::vector<uint8_t> words(const std::vector<uint16_t>& samples) {
    std::vector<uint8_t> bytes;
    for (uint16_t s : samples) {
        bytes.push_back(uint8_t(s & 0xff));
        bytes.push_back(uint8_t(s >> 8));
    }
    return bytes;
}

std::vector<QRgb> row_of(const QImage& image) {
    std::vector<QRgb> out;
    for (int x = 0; x < image.width(); ++x) out.push_back(image.pixel(x, 0));
    return out;
}

QRgb grey(int v) {
    return qRgb(v, v, v);
}

} // namespace

// Grey and colour formats, and samples of more than 8 bits kept to their 8 most significant
// of the format's bits, or of fewer when the camera's sensor fills fewer.
TEST(GenicamPixels, GreyAndColourFormats) {
    const struct {
        const char* what;
        uint32_t format;
        std::vector<uint8_t> data;
        int significant_bits;
        std::vector<QRgb> pixels;
    } cases[] = {
        {"Mono8", ARV_PIXEL_FORMAT_MONO_8, {10, 200, 255}, 0, {grey(10), grey(200), grey(255)}},
        {"Mono10",
         ARV_PIXEL_FORMAT_MONO_10,
         words({0x3ff, 0x100, 3}),
         0,
         {grey(255), grey(64), grey(0)}},
        {"Mono12",
         ARV_PIXEL_FORMAT_MONO_12,
         words({0xfff, 0x800, 0x10}),
         0,
         {grey(255), grey(128), grey(1)}},
        {"Mono16",
         ARV_PIXEL_FORMAT_MONO_16,
         words({0xffff, 0x8000, 0x1ff}),
         0,
         {grey(255), grey(128), grey(1)}},
        {"Mono16 of 12 bits",
         ARV_PIXEL_FORMAT_MONO_16,
         words({0x0fff, 0x0800, 0x2000}),
         12,
         {grey(255), grey(128), grey(255)}},
        {"RGB8",
         ARV_PIXEL_FORMAT_RGB_8_PACKED,
         {1, 2, 3, 200, 100, 50, 0, 0, 0},
         0,
         {qRgb(1, 2, 3), qRgb(200, 100, 50), qRgb(0, 0, 0)}},
        {"BGR8",
         ARV_PIXEL_FORMAT_BGR_8_PACKED,
         {1, 2, 3, 200, 100, 50, 0, 0, 0},
         0,
         {qRgb(3, 2, 1), qRgb(50, 100, 200), qRgb(0, 0, 0)}},
    };
    for (const auto& c : cases) {
        const QImage image = capture::genicam_image(c.format, 3, 1, c.data.data(), c.data.size(),
                                                    c.significant_bits);
        ASSERT_EQ(image.format(), QImage::Format_RGB32) << c.what;
        EXPECT_EQ(row_of(image), c.pixels) << c.what;
        // a frame shorter than its size says is refused
        EXPECT_TRUE(
            capture::genicam_image(c.format, 3, 1, c.data.data(), c.data.size() - 1).isNull())
            << c.what;
    }
    const uint8_t packed[8] = {};
    EXPECT_FALSE(capture::is_readable_pixel_format(ARV_PIXEL_FORMAT_MONO_12_PACKED));
    EXPECT_TRUE(capture::genicam_image(ARV_PIXEL_FORMAT_MONO_12_PACKED, 2, 2, packed, sizeof packed)
                    .isNull());
}

// A field of one colour, red 200, green 100, blue 50, through each Bayer layout at 8 and at
// 12 significant bits of 16: inside the frame every pixel has the colour again, red where
// the layout puts red.
TEST(GenicamPixels, BayerFormats) {
    enum Site { R, G, B };
    const struct {
        const char* what;
        uint32_t format8, format16;
        // the sites of the first two rows; one array of rows, not two arrays chosen by a
        // condition, which GCC 12 miscompiles with AddressSanitizer's use-after-scope checks
        Site rows[2][2];
    } layouts[] = {
        {"RG", ARV_PIXEL_FORMAT_BAYER_RG_8, ARV_PIXEL_FORMAT_BAYER_RG_16, {{R, G}, {G, B}}},
        {"GR", ARV_PIXEL_FORMAT_BAYER_GR_8, ARV_PIXEL_FORMAT_BAYER_GR_16, {{G, R}, {B, G}}},
        {"GB", ARV_PIXEL_FORMAT_BAYER_GB_8, ARV_PIXEL_FORMAT_BAYER_GB_16, {{G, B}, {R, G}}},
        {"BG", ARV_PIXEL_FORMAT_BAYER_BG_8, ARV_PIXEL_FORMAT_BAYER_BG_16, {{B, G}, {G, R}}},
    };
    const int level[3] = {200, 100, 50};
    const int w = 8, h = 8;
    for (const auto& l : layouts) {
        std::vector<uint8_t> mosaic;
        std::vector<uint16_t> wide;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Site s = l.rows[y % 2][x % 2];
                mosaic.push_back(uint8_t(level[s]));
                wide.push_back(uint16_t(level[s] << 4)); // 12 bits
            }
        const std::vector<uint8_t> wide_bytes = words(wide);
        const QImage eight = capture::genicam_image(l.format8, w, h, mosaic.data(), mosaic.size());
        const QImage twelve =
            capture::genicam_image(l.format16, w, h, wide_bytes.data(), wide_bytes.size(), 12);
        for (const QImage& image : {eight, twelve}) {
            ASSERT_EQ(image.size(), QSize(w, h)) << l.what;
            for (int y = 2; y < h - 2; ++y)
                for (int x = 2; x < w - 2; ++x)
                    EXPECT_EQ(image.pixel(x, y), qRgb(200, 100, 50))
                        << l.what << " at " << x << ", " << y;
        }
    }
}
