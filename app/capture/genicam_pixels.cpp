#include "genicam_pixels.h"

#include <arv.h>
#include <dc1394/conversions.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace capture {

namespace {

enum class Layout { mono, rgb, bgr, bayer };

struct Format {
    uint32_t code;
    Layout layout;
    int bits;
    dc1394color_filter_t tile; // the colours of a Bayer frame's first two rows
};

constexpr dc1394color_filter_t none = DC1394_COLOR_FILTER_RGGB; // not a Bayer format

constexpr Format formats[] = {
    {ARV_PIXEL_FORMAT_MONO_8, Layout::mono, 8, none},
    {ARV_PIXEL_FORMAT_MONO_10, Layout::mono, 10, none},
    {ARV_PIXEL_FORMAT_MONO_12, Layout::mono, 12, none},
    {ARV_PIXEL_FORMAT_MONO_16, Layout::mono, 16, none},
    {ARV_PIXEL_FORMAT_RGB_8_PACKED, Layout::rgb, 8, none},
    {ARV_PIXEL_FORMAT_BGR_8_PACKED, Layout::bgr, 8, none},
    {ARV_PIXEL_FORMAT_BAYER_RG_8, Layout::bayer, 8, DC1394_COLOR_FILTER_RGGB},
    {ARV_PIXEL_FORMAT_BAYER_GR_8, Layout::bayer, 8, DC1394_COLOR_FILTER_GRBG},
    {ARV_PIXEL_FORMAT_BAYER_GB_8, Layout::bayer, 8, DC1394_COLOR_FILTER_GBRG},
    {ARV_PIXEL_FORMAT_BAYER_BG_8, Layout::bayer, 8, DC1394_COLOR_FILTER_BGGR},
    {ARV_PIXEL_FORMAT_BAYER_RG_10, Layout::bayer, 10, DC1394_COLOR_FILTER_RGGB},
    {ARV_PIXEL_FORMAT_BAYER_GR_10, Layout::bayer, 10, DC1394_COLOR_FILTER_GRBG},
    {ARV_PIXEL_FORMAT_BAYER_GB_10, Layout::bayer, 10, DC1394_COLOR_FILTER_GBRG},
    {ARV_PIXEL_FORMAT_BAYER_BG_10, Layout::bayer, 10, DC1394_COLOR_FILTER_BGGR},
    {ARV_PIXEL_FORMAT_BAYER_RG_12, Layout::bayer, 12, DC1394_COLOR_FILTER_RGGB},
    {ARV_PIXEL_FORMAT_BAYER_GR_12, Layout::bayer, 12, DC1394_COLOR_FILTER_GRBG},
    {ARV_PIXEL_FORMAT_BAYER_GB_12, Layout::bayer, 12, DC1394_COLOR_FILTER_GBRG},
    {ARV_PIXEL_FORMAT_BAYER_BG_12, Layout::bayer, 12, DC1394_COLOR_FILTER_BGGR},
    {ARV_PIXEL_FORMAT_BAYER_RG_16, Layout::bayer, 16, DC1394_COLOR_FILTER_RGGB},
    {ARV_PIXEL_FORMAT_BAYER_GR_16, Layout::bayer, 16, DC1394_COLOR_FILTER_GRBG},
    {ARV_PIXEL_FORMAT_BAYER_GB_16, Layout::bayer, 16, DC1394_COLOR_FILTER_GBRG},
    {ARV_PIXEL_FORMAT_BAYER_BG_16, Layout::bayer, 16, DC1394_COLOR_FILTER_BGGR},
};

const Format* find(uint32_t code) {
    for (const Format& f : formats)
        if (f.code == code) return &f;
    return nullptr;
}

// The 16-bit little-endian words of a frame as the host's numbers.
std::vector<uint16_t> words(const void* data, size_t count) {
    std::vector<uint16_t> out(count);
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return out;
}

// A sample of `bits` significant bits as 8 bits; brighter ones clip.
inline uint8_t eight_bits(uint16_t sample, int bits) {
    return static_cast<uint8_t>(std::min(sample >> (bits - 8), 255));
}

QImage mono(const Format& f, int width, int height, const void* data, int bits) {
    QImage image(width, height, QImage::Format_RGB32);
    const size_t row = size_t(width);
    std::vector<uint16_t> wide;
    if (f.bits > 8) wide = words(data, row * size_t(height));
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        const size_t first = size_t(y) * row;
        for (size_t x = 0; x < row; ++x) {
            const uint8_t v = f.bits > 8 ? eight_bits(wide[first + x], bits)
                                         : static_cast<const uint8_t*>(data)[first + x];
            out[x] = qRgb(v, v, v);
        }
    }
    return image;
}

QImage bayer(const Format& f, int width, int height, const void* data, int bits) {
    const size_t pixels = size_t(width) * size_t(height);
    if (f.bits == 8) {
        std::vector<uint8_t> rgb(pixels * 3);
        if (dc1394_bayer_decoding_8bit(static_cast<const uint8_t*>(data), rgb.data(),
                                       uint32_t(width), uint32_t(height), f.tile,
                                       DC1394_BAYER_METHOD_HQLINEAR) != DC1394_SUCCESS)
            return {};
        return QImage(rgb.data(), width, height, width * 3, QImage::Format_RGB888)
            .convertToFormat(QImage::Format_RGB32);
    }
    const std::vector<uint16_t> samples = words(data, pixels);
    std::vector<uint16_t> rgb(pixels * 3);
    if (dc1394_bayer_decoding_16bit(samples.data(), rgb.data(), uint32_t(width), uint32_t(height),
                                    f.tile, DC1394_BAYER_METHOD_HQLINEAR,
                                    uint32_t(bits)) != DC1394_SUCCESS)
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        const uint16_t* in = rgb.data() + size_t(y) * size_t(width) * 3;
        for (int x = 0; x < width; ++x, in += 3)
            out[x] =
                qRgb(eight_bits(in[0], bits), eight_bits(in[1], bits), eight_bits(in[2], bits));
    }
    return image;
}

} // namespace

bool is_readable_pixel_format(uint32_t format) {
    return find(format) != nullptr;
}

int pixel_format_bits(uint32_t format) {
    const Format* f = find(format);
    return f ? f->bits : 0;
}

QImage genicam_image(uint32_t format, int width, int height, const void* data, size_t size,
                     int significant_bits) {
    const Format* f = find(format);
    if (!f || width < 1 || height < 1 || !data) return {};
    const size_t bytes_per_pixel = f->layout == Layout::rgb || f->layout == Layout::bgr ? 3
                                   : f->bits > 8                                        ? 2
                                                                                        : 1;
    if (size < size_t(width) * size_t(height) * bytes_per_pixel) return {};
    // a camera may fill fewer bits of the word than the format allows, never more
    const int bits =
        significant_bits >= 8 && significant_bits < f->bits ? significant_bits : f->bits;
    const auto* pixels = static_cast<const uchar*>(data);
    switch (f->layout) {
    case Layout::mono:
        return mono(*f, width, height, data, bits);
    case Layout::rgb:
        return QImage(pixels, width, height, width * 3, QImage::Format_RGB888)
            .convertToFormat(QImage::Format_RGB32);
    case Layout::bgr:
        return QImage(pixels, width, height, width * 3, QImage::Format_BGR888)
            .convertToFormat(QImage::Format_RGB32);
    case Layout::bayer:
        return bayer(*f, width, height, data, bits);
    }
    return {};
}

} // namespace capture
