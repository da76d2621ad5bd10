// Parsing of the bitmap headers.
//
// File header (14 bytes, little-endian):
//   0 u16 type "BM"   2 u32 file size (not trusted)   6 u16, u16 reserved   10 u32 data offset
// Information header, at offset 14; its first u32 is its own size:
//   12  core header:        4 u16 width   6 u16 height   8 u16 planes   10 u16 bits per pixel
//   16  short 2.x header:   4 i32 width   8 i32 height  12 u16 planes   14 u16 bits per pixel
//   40  info header:       16 u32 compression   20 u32 image size   24 i32, 28 i32 density
//                          32 u32 colours used  36 u32 colours important
//   52  + 40 u32 red mask  44 u32 green mask   48 u32 blue mask
//   56  + 52 u32 alpha mask
//   64  2.x header: the 40 bytes above, then units, rendering and colour encoding
//   108 + colour space, end points and gamma   124 + intent and profile
// A negative height means rows stored top-down. With a 40-byte header, bit-field masks
// follow the header (3 of them, or 4 for compression 6). The palette follows the header
// and masks: 3-byte entries after a core header, 4-byte entries otherwise.
#include "bmp.h"

#include <algorithm>
#include <bit>

namespace bmp {

namespace {

uint16_t u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int32_t i32(const uint8_t* p) {
    return static_cast<int32_t>(u32(p));
}

enum Compression : uint32_t { rgb = 0, rle8 = 1, rle4 = 2, bitfields = 3, alphabitfields = 6 };

bool is_os2_v2(uint32_t header_size) {
    return header_size == 16 || header_size == 64;
}

// A mask is usable when it is one run of set bits inside the pixel.
bool make_channel(uint32_t mask, int bits_per_pixel, Channel& c) {
    if (mask == 0) return false;
    if (bits_per_pixel < 32 && (mask >> bits_per_pixel) != 0) return false;
    c.mask = mask;
    c.shift = std::countr_zero(mask);
    const uint32_t run = mask >> c.shift;
    if ((run & (run + 1)) != 0) return false;
    c.bits = std::popcount(mask);
    return true;
}

Status set_channels(uint32_t red, uint32_t green, uint32_t blue, int bpp, Header& h) {
    if (!make_channel(red, bpp, h.red) || !make_channel(green, bpp, h.green) ||
        !make_channel(blue, bpp, h.blue))
        return Status::invalid;
    if ((red & green) || (red & blue) || (green & blue)) return Status::invalid;
    return Status::ok;
}

} // namespace

const char* status_text(Status s) {
    switch (s) {
    case Status::ok:
        return "ok";
    case Status::cannot_open:
        return "cannot open the file";
    case Status::invalid:
        return "not a valid bitmap";
    case Status::unsupported:
        return "unsupported bitmap variant";
    case Status::truncated:
        return "bitmap data truncated";
    case Status::bad_data:
        return "damaged bitmap data";
    case Status::too_large:
        return "bitmap too large";
    }
    return "unknown";
}

namespace {

// The fields of the information header that the decoder uses.
struct InfoHeader {
    uint32_t size = 0;
    int64_t width = 0, height = 0;
    unsigned planes = 0, bits_per_pixel = 0;
    uint32_t compression = rgb, colours_used = 0;
};

bool known_header_size(uint32_t size) {
    switch (size) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        return true;
    default:
        return false;
    }
}

bool known_depth(unsigned bits_per_pixel) {
    switch (bits_per_pixel) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

// The information header at `info`, whose `size` bytes the caller has found in the buffer.
InfoHeader read_info(const uint8_t* info, uint32_t size) {
    InfoHeader i;
    i.size = size;
    if (size == 12) {
        i.width = u16(info + 4);
        i.height = u16(info + 6);
        i.planes = u16(info + 8);
        i.bits_per_pixel = u16(info + 10);
        return i;
    }
    i.width = i32(info + 4);
    i.height = i32(info + 8);
    i.planes = u16(info + 12);
    i.bits_per_pixel = u16(info + 14);
    if (size >= 40) {
        i.compression = u32(info + 16);
        i.colours_used = u32(info + 32);
    }
    return i;
}

Status set_geometry(const InfoHeader& i, Header& h) {
    if (i.planes != 1 || i.width <= 0 || i.height == 0 || i.height == INT32_MIN)
        return Status::invalid;
    if (!known_depth(i.bits_per_pixel)) return Status::invalid;
    h.top_down = i.height < 0;
    h.width = static_cast<int32_t>(i.width);
    h.height = static_cast<int32_t>(i.height < 0 ? -i.height : i.height);
    h.bits_per_pixel = static_cast<int>(i.bits_per_pixel);
    return Status::ok;
}

// The encoding from the compression and the depth, with the channel masks of the bit-field
// encodings. With a 40-byte header the masks follow it, so `header_end` grows by them;
// `len` bytes of the file are in `buf`.
Status set_encoding(const InfoHeader& i, const uint8_t* buf, size_t len, Header& h,
                    uint64_t& header_end) {
    const unsigned bpp = i.bits_per_pixel;
    switch (i.compression) {
    case rgb:
        h.encoding = bpp <= 8    ? Encoding::palette
                     : bpp == 16 ? Encoding::bitfields16
                     : bpp == 24 ? Encoding::rgb24
                                 : Encoding::rgb32;
        if (bpp == 16) set_channels(0x7c00, 0x03e0, 0x001f, 16, h); // 5-5-5
        if (bpp == 32) set_channels(0xff0000, 0xff00, 0xff, 32, h);
        return Status::ok;
    case rle8:
    case rle4:
        if (bpp != (i.compression == rle8 ? 8u : 4u)) return Status::invalid;
        if (h.top_down) return Status::invalid; // run-length data is always bottom-up
        h.encoding = i.compression == rle8 ? Encoding::rle8 : Encoding::rle4;
        return Status::ok;
    case bitfields:
    case alphabitfields: {
        if (is_os2_v2(i.size)) return Status::unsupported; // 2.x: Huffman coding
        if (bpp != 16 && bpp != 32) return Status::invalid;
        const uint8_t* masks = buf + 14 + 40;
        if (i.size == 40) header_end += i.compression == bitfields ? 12 : 16;
        if (header_end > len) return Status::truncated;
        if (Status s =
                set_channels(u32(masks), u32(masks + 4), u32(masks + 8), static_cast<int>(bpp), h);
            s != Status::ok)
            return s;
        h.encoding = bpp == 16 ? Encoding::bitfields16 : Encoding::bitfields32;
        return Status::ok;
    }
    default:
        return Status::unsupported; // JPEG, PNG, 24-bit run lengths, CMYK
    }
}

bool within(const Limits& limits, const Header& h) {
    return h.width <= limits.max_width && h.height <= limits.max_height &&
           uint64_t{static_cast<uint32_t>(h.width)} * static_cast<uint32_t>(h.height) <=
               limits.max_pixels;
}

// The palette of a depth of 8 bits or less, between the header (and masks) and the pixel
// data: 3-byte entries after a core header, 4-byte entries otherwise.
Status read_palette(const InfoHeader& i, const uint8_t* buf, size_t len, uint64_t header_end,
                    Header& h) {
    const uint64_t entry = i.size == 12 ? 3 : 4;
    const uint64_t most = uint64_t{1} << i.bits_per_pixel;
    const uint64_t room = (h.data_offset - header_end) / entry;
    uint64_t count = i.size == 12 || i.colours_used == 0 ? most : i.colours_used;
    if (count > most) {
        // More colours declared than the depth can index: usable only when the whole
        // declared palette is really there.
        if (count > room) return Status::invalid;
        count = most;
    }
    count = std::min(count, room);
    if (count == 0) return Status::invalid;
    if (header_end + count * entry > len) return Status::truncated;
    const uint8_t* pal = buf + header_end;
    for (uint64_t n = 0; n < count; ++n) {
        const uint8_t* e = pal + n * entry;
        h.palette[n] = static_cast<uint32_t>(e[0]) | static_cast<uint32_t>(e[1]) << 8 |
                       static_cast<uint32_t>(e[2]) << 16;
    }
    h.palette_size = static_cast<int>(count);
    return Status::ok;
}

// How many bytes of the file the decoder needs, and the row stride of the uncompressed
// encodings.
Status set_data_extent(uint64_t file_size, Header& h) {
    const uint64_t w = static_cast<uint64_t>(h.width), rows = static_cast<uint64_t>(h.height);
    if (is_compressed(h)) {
        // Run-length data never needs more than about a byte per pixel plus the row ends;
        // what lies beyond that cannot belong to the image.
        h.data_end = std::min<uint64_t>(file_size, h.data_offset + 2 * w * rows + 8 * rows + 65536);
        return Status::ok;
    }
    const uint64_t bpp = static_cast<uint64_t>(h.bits_per_pixel);
    h.row_stride = (w * bpp + 31) / 32 * 4;
    const uint64_t last_row = (w * bpp + 7) / 8; // final padding may be missing
    h.data_end = h.data_offset + h.row_stride * (rows - 1) + last_row;
    return h.data_end > file_size ? Status::truncated : Status::ok;
}

} // namespace

Status parse_header(const uint8_t* buf, size_t len, uint64_t file_size, const Limits& limits,
                    Header& h) {
    h = Header{};
    len = static_cast<size_t>(std::min<uint64_t>(len, file_size));
    if (len < 14 + 4)
        return len >= 2 && buf[0] == 'B' && buf[1] == 'M' ? Status::truncated : Status::invalid;
    if (buf[0] != 'B' || buf[1] != 'M') return Status::invalid;
    h.data_offset = u32(buf + 10);

    const uint32_t header_size = u32(buf + 14);
    if (!known_header_size(header_size)) return Status::invalid;
    if (14 + uint64_t{header_size} > len) return Status::truncated;
    const InfoHeader info = read_info(buf + 14, header_size);
    if (Status s = set_geometry(info, h); s != Status::ok) return s;

    uint64_t header_end = 14 + uint64_t{header_size};
    if (Status s = set_encoding(info, buf, len, h, header_end); s != Status::ok) return s;
    if (!within(limits, h)) return Status::too_large;
    if (h.data_offset < header_end) return Status::invalid;
    if (h.data_offset >= file_size) return Status::truncated;
    if (info.bits_per_pixel <= 8)
        if (Status s = read_palette(info, buf, len, header_end, h); s != Status::ok) return s;
    return set_data_extent(file_size, h);
}

} // namespace bmp
