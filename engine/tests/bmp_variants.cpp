#include "bmp_variants.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <map>
#include <stdexcept>
#include <utility>

namespace testing_bmp {

namespace {

struct Bytes {
    std::vector<uint8_t> b;
    void u8(unsigned v) { b.push_back(static_cast<uint8_t>(v)); }
    void u16(unsigned v) { u8(v & 0xff), u8(v >> 8 & 0xff); }
    void u32(uint32_t v) { u16(v & 0xffff), u16(v >> 16); }
    void pad_to(size_t multiple) {
        while (b.size() % multiple) u8(0);
    }
};

struct Format {
    int bpp;
    uint32_t compression;
    uint32_t header_size;
    bool top_down;
    uint32_t masks[3];
};

Format format_of(Variant v) {
    switch (v) {
    case Variant::pal1:
        return {1, 0, 40, false, {}};
    case Variant::pal4:
        return {4, 0, 40, false, {}};
    case Variant::pal8:
        return {8, 0, 40, false, {}};
    case Variant::pal8_core:
        return {8, 0, 12, false, {}};
    case Variant::pal8_topdown:
        return {8, 0, 40, true, {}};
    case Variant::pal8_v5:
        return {8, 0, 124, false, {}};
    case Variant::rle4:
        return {4, 2, 40, false, {}};
    case Variant::rle8:
        return {8, 1, 40, false, {}};
    case Variant::rgb16_555:
        return {16, 0, 40, false, {}};
    case Variant::rgb16_565:
        return {16, 3, 40, false, {0xf800, 0x07e0, 0x001f}};
    case Variant::rgb24:
        return {24, 0, 40, false, {}};
    case Variant::rgb24_topdown:
        return {24, 0, 40, true, {}};
    case Variant::rgb32:
        return {32, 0, 40, false, {}};
    case Variant::rgb32_bitfields:
        return {32, 3, 40, false, {0xff000000, 0x00ff0000, 0x0000ff00}};
    case Variant::rgb32_v4_bitfields:
        return {32, 3, 108, false, {0x000000ff, 0x0000ff00, 0x00ff0000}};
    }
    throw std::logic_error("variant");
}

uint32_t pack(uint32_t rgb, const uint32_t masks[3]) {
    uint32_t out = 0;
    const unsigned channels[3] = {rgb >> 16 & 0xff, rgb >> 8 & 0xff, rgb & 0xff};
    for (int c = 0; c < 3; ++c) {
        const int shift = __builtin_ctz(masks[c]);
        const int bits = __builtin_popcount(masks[c]);
        out |= (channels[c] >> (8 - std::min(bits, 8))) << shift;
    }
    return out;
}

// One row of indices as runs of two or more and literals between them.
void rle_row(Bytes& out, const std::vector<uint8_t>& idx, bool four) {
    RleCodes codes{four, {}};
    size_t x = 0;
    const size_t w = idx.size();
    auto run_at = [&](size_t i) {
        size_t n = 1;
        while (i + n < w && idx[i + n] == idx[i] && n < 255) ++n;
        return n;
    };
    while (x < w) {
        const size_t run = run_at(x);
        if (run >= 2) {
            codes.run(static_cast<unsigned>(run), idx[x]);
            x += run;
            continue;
        }
        size_t n = 1;
        while (x + n < w && n < 255 && run_at(x + n) < 2) ++n;
        if (n < 3) {
            for (size_t i = 0; i < n; ++i) codes.run(1, idx[x + i]); // a literal takes three
        } else {
            codes.literal({idx.begin() + static_cast<std::ptrdiff_t>(x),
                           idx.begin() + static_cast<std::ptrdiff_t>(x + n)});
        }
        x += n;
    }
    codes.end_of_row();
    out.b.insert(out.b.end(), codes.b.begin(), codes.b.end());
}

// The file around pixel data `data`: file header, information header, masks, palette.
std::vector<uint8_t> assemble(const Format& f, int32_t w, int32_t h, std::vector<uint32_t> palette,
                              const std::vector<uint8_t>& data) {
    Bytes info;
    const bool core = f.header_size == 12;
    info.u32(f.header_size);
    if (core) {
        info.u16(static_cast<unsigned>(w)), info.u16(static_cast<unsigned>(h)), info.u16(1),
            info.u16(static_cast<unsigned>(f.bpp));
    } else {
        info.u32(static_cast<uint32_t>(w));
        info.u32(static_cast<uint32_t>(f.top_down ? -h : h));
        info.u16(1), info.u16(static_cast<unsigned>(f.bpp));
        info.u32(f.compression);
        info.u32(static_cast<uint32_t>(data.size()));
        info.u32(2835), info.u32(2835);
        info.u32(static_cast<uint32_t>(palette.size())), info.u32(0);
        if (f.header_size > 40) {
            for (uint32_t m : f.masks) info.u32(m);
            while (info.b.size() < f.header_size) info.u8(0);
        } else if (f.compression == 3) {
            for (uint32_t m : f.masks) info.u32(m);
        }
    }
    if (core) {
        // A core header's palette has 2^bpp entries of three bytes.
        palette.resize(size_t{1} << f.bpp, 0);
        for (uint32_t p : palette) info.u8(p & 0xff), info.u8(p >> 8 & 0xff), info.u8(p >> 16);
    } else {
        for (uint32_t p : palette) info.u32(p);
    }

    Bytes file;
    file.u8('B'), file.u8('M');
    file.u32(static_cast<uint32_t>(14 + info.b.size() + data.size()));
    file.u32(0);
    file.u32(static_cast<uint32_t>(14 + info.b.size()));
    file.b.insert(file.b.end(), info.b.begin(), info.b.end());
    file.b.insert(file.b.end(), data.begin(), data.end());
    return file.b;
}

} // namespace

const std::vector<Variant>& all_variants() {
    static const std::vector<Variant> v = {Variant::pal1,
                                           Variant::pal4,
                                           Variant::pal8,
                                           Variant::pal8_core,
                                           Variant::pal8_topdown,
                                           Variant::pal8_v5,
                                           Variant::rle4,
                                           Variant::rle8,
                                           Variant::rgb16_555,
                                           Variant::rgb16_565,
                                           Variant::rgb24,
                                           Variant::rgb24_topdown,
                                           Variant::rgb32,
                                           Variant::rgb32_bitfields,
                                           Variant::rgb32_v4_bitfields};
    return v;
}

const char* name(Variant v) {
    static const char* names[] = {
        "pal1",    "pal4",          "pal8",  "pal8_core",       "pal8_topdown",
        "pal8_v5", "rle4",          "rle8",  "rgb16_555",       "rgb16_565",
        "rgb24",   "rgb24_topdown", "rgb32", "rgb32_bitfields", "rgb32_v4_bitfields"};
    return names[static_cast<int>(v)];
}

int colour_limit(Variant v) {
    const int bpp = format_of(v).bpp;
    return bpp <= 8 ? 1 << bpp : 0;
}

std::vector<uint8_t> encode(const bmp::Image& image, Variant v) {
    const Format f = format_of(v);
    const int32_t w = image.width, h = image.height;

    std::vector<uint32_t> palette;
    std::map<uint32_t, uint8_t> index_of;
    if (f.bpp <= 8) {
        uint32_t last = ~0u;
        for (uint32_t p : image.pixels) {
            if (p == last || index_of.count(p)) continue;
            last = p;
            index_of[p] = static_cast<uint8_t>(palette.size());
            palette.push_back(p);
        }
        if (palette.size() > (1u << f.bpp)) throw std::invalid_argument("too many colours");
    }

    Bytes data;
    for (int32_t n = 0; n < h; ++n) {
        const int32_t y = f.top_down ? n : h - 1 - n;
        std::vector<uint8_t> idx(static_cast<size_t>(w));
        uint32_t last = ~0u;
        uint8_t last_index = 0;
        for (int32_t x = 0; x < w && f.bpp <= 8; ++x) {
            if (image.at(x, y) != last) last_index = index_of[last = image.at(x, y)];
            idx[x] = last_index;
        }
        if (f.compression == 1 || f.compression == 2) {
            rle_row(data, idx, f.compression == 2);
            continue;
        }
        const size_t start = data.b.size();
        if (f.bpp <= 8) {
            const int per_byte = 8 / f.bpp;
            for (int32_t x = 0; x < w; x += per_byte) {
                unsigned byte = 0;
                for (int i = 0; i < per_byte; ++i)
                    if (x + i < w) byte |= idx[x + i] << (8 - f.bpp * (i + 1));
                data.u8(byte);
            }
        } else {
            static const uint32_t m555[3] = {0x7c00, 0x03e0, 0x001f};
            static const uint32_t m888[3] = {0xff0000, 0xff00, 0xff};
            const uint32_t* masks = f.compression == 3 ? f.masks : f.bpp == 16 ? m555 : m888;
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t p = pack(image.at(x, y), masks);
                if (f.bpp == 16)
                    data.u16(p);
                else if (f.bpp == 24)
                    data.u8(p & 0xff), data.u8(p >> 8 & 0xff), data.u8(p >> 16);
                else
                    data.u32(p);
            }
        }
        while ((data.b.size() - start) % 4) data.u8(0);
    }
    if (f.compression == 1 || f.compression == 2) data.u8(0), data.u8(1);

    return assemble(f, w, h, std::move(palette), data.b);
}

std::vector<uint8_t> rle_file(int32_t width, int32_t height, bool four,
                              const std::vector<uint32_t>& palette,
                              const std::vector<uint8_t>& codes) {
    return assemble(format_of(four ? Variant::rle4 : Variant::rle8), width, height, palette, codes);
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

} // namespace testing_bmp
