// Decoding of the pixel data, one function per encoding. parse_header has checked that
// the data the uncompressed encodings need lie inside the file; the run-length decoder
// checks every byte it takes.
#include "bmp.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace bmp {

namespace {

// Scales a channel value of `bits` bits to 8 bits: narrower values repeat their bit
// pattern (so the largest value becomes 255), wider ones keep their top 8 bits.
uint32_t scale_to_8(uint32_t v, int bits) {
    if (bits >= 8) return v >> (bits - 8);
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += bits) out |= (v << (8 - bits)) >> filled;
    return out & 0xff;
}

// Turns one row of palette indices into BGRX pixels; false when an index lies outside the
// palette.
bool map_indices(const uint8_t* idx, int32_t width, const Header& h, uint8_t* out) {
    uint8_t worst = 0;
    for (int32_t x = 0; x < width; ++x) {
        worst = std::max(worst, idx[x]);
        std::memcpy(out + 4 * x, &h.palette[idx[x]], 4);
    }
    return worst < h.palette_size;
}

class Rows {
  public:
    Rows(const Header& h, int32_t first)
        : h_(h), first_(first), row_(new uint8_t[4 * static_cast<size_t>(h.width)]) {}
    uint8_t* buffer() { return row_.get(); }
    // Image row of the n-th row stored in the file.
    int32_t image_row(int32_t n) const { return h_.top_down ? n : h_.height - 1 - n; }
    // `rows` holds the stored rows from `first` on.
    const uint8_t* file_row(const uint8_t* rows, int32_t n) const {
        return rows + static_cast<uint64_t>(n - first_) * h_.row_stride;
    }

  private:
    const Header& h_;
    int32_t first_;
    std::unique_ptr<uint8_t[]> row_;
};

Status decode_palette(const Header& h, const uint8_t* buf, int32_t first, int32_t last,
                      const RowSink& sink) {
    Rows rows(h, first);
    std::unique_ptr<uint8_t[]> idx(new uint8_t[static_cast<size_t>(h.width)]);
    const int bpp = h.bits_per_pixel;
    const int per_byte = 8 / bpp;
    const unsigned mask = (1u << bpp) - 1;
    for (int32_t n = first; n < last; ++n) {
        const uint8_t* src = rows.file_row(buf, n);
        if (bpp == 8) {
            std::memcpy(idx.get(), src, static_cast<size_t>(h.width));
        } else {
            for (int32_t x = 0; x < h.width; ++x) {
                const int slot = x % per_byte;
                idx[x] = static_cast<uint8_t>(src[x / per_byte] >> (8 - bpp * (slot + 1)) & mask);
            }
        }
        if (!map_indices(idx.get(), h.width, h, rows.buffer())) return Status::bad_data;
        sink(rows.image_row(n), rows.buffer());
    }
    return Status::ok;
}

Status decode_rgb24(const Header& h, const uint8_t* buf, int32_t first, int32_t last,
                    const RowSink& sink) {
    Rows rows(h, first);
    uint8_t* out = rows.buffer();
    for (int32_t n = first; n < last; ++n) {
        const uint8_t* src = rows.file_row(buf, n);
        for (int32_t x = 0; x < h.width; ++x) {
            out[4 * x] = src[3 * x];
            out[4 * x + 1] = src[3 * x + 1];
            out[4 * x + 2] = src[3 * x + 2];
            out[4 * x + 3] = 0;
        }
        sink(rows.image_row(n), out);
    }
    return Status::ok;
}

uint32_t channel_lut_entry(uint32_t pixel, const Header& h) {
    auto channel = [pixel](const Channel& c) {
        return scale_to_8((pixel & c.mask) >> c.shift, c.bits);
    };
    return channel(h.blue) | channel(h.green) << 8 | channel(h.red) << 16;
}

Status decode_bitfields16(const Header& h, const uint8_t* buf, int32_t first, int32_t last,
                          const RowSink& sink) {
    std::unique_ptr<uint32_t[]> lut(new uint32_t[65536]);
    for (uint32_t v = 0; v < 65536; ++v) lut[v] = channel_lut_entry(v, h);
    Rows rows(h, first);
    uint8_t* out = rows.buffer();
    for (int32_t n = first; n < last; ++n) {
        const uint8_t* src = rows.file_row(buf, n);
        for (int32_t x = 0; x < h.width; ++x)
            std::memcpy(out + 4 * x, &lut[src[2 * x] | src[2 * x + 1] << 8], 4);
        sink(rows.image_row(n), out);
    }
    return Status::ok;
}

Status decode_bitfields32(const Header& h, const uint8_t* buf, int32_t first, int32_t last,
                          const RowSink& sink) {
    Rows rows(h, first);
    const bool standard = h.red.mask == 0xff0000 && h.green.mask == 0xff00 && h.blue.mask == 0xff;
    uint8_t* out = rows.buffer();
    for (int32_t n = first; n < last; ++n) {
        const uint8_t* src = rows.file_row(buf, n);
        if (standard) {
            sink(rows.image_row(n), src); // the file's bytes are already blue, green, red, spare
            continue;
        }
        for (int32_t x = 0; x < h.width; ++x) {
            uint32_t v;
            std::memcpy(&v, src + 4 * x, 4);
            const uint32_t px = channel_lut_entry(v, h);
            std::memcpy(out + 4 * x, &px, 4);
        }
        sink(rows.image_row(n), out);
    }
    return Status::ok;
}

// Run-length data: pairs (count, value) paint count pixels; (0, 0) ends a row, (0, 1) ends
// the image, (0, 2, dx, dy) moves right and up, (0, n >= 3) is followed by n literal
// indices padded to an even number of bytes. Rows start at the bottom. Pixels the data
// skip keep index 0. Common encoders let a row's last run go past the row's end
// (ImageMagick pads every row to a multiple of four pixels), so pixels that fall past the
// end of their row, or on a row past the last one, are dropped and decoding goes on; no
// pixel is ever written outside the image. A code cut off by the end of the data is
// damage; data that end between two codes end the image.
Status decode_rle(const Header& h, const uint8_t* buf, size_t len, const RowSink& sink) {
    const bool four = h.encoding == Encoding::rle4;
    const size_t w = static_cast<size_t>(h.width);
    const int32_t rows = h.height;
    std::unique_ptr<uint8_t[]> canvas(new uint8_t[w * static_cast<size_t>(rows)]());
    const uint8_t* p = buf + h.data_offset;
    const uint8_t* end = buf + std::min<uint64_t>(len, h.data_end);
    int64_t x = 0, y = 0; // y counts rows from the bottom; both may leave the image
    // Paints the `count` pixels from the current position that lie inside the image, the
    // i-th of them with index(i), and moves on by `count`.
    auto paint = [&](unsigned count, auto index) {
        const int64_t room = static_cast<int64_t>(w) - x;
        if (y < rows && room > 0) {
            const auto inside = static_cast<unsigned>(std::min<int64_t>(count, room));
            uint8_t* dst = canvas.get() + static_cast<size_t>(rows - 1 - y) * w;
            for (unsigned i = 0; i < inside; ++i) dst[x + i] = index(i);
        }
        x += count;
    };

    while (end - p >= 2) {
        const unsigned count = p[0], value = p[1];
        p += 2;
        if (count > 0) {
            paint(count, [&](unsigned i) {
                return static_cast<uint8_t>(four ? (i & 1 ? value & 15 : value >> 4) : value);
            });
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (end - p < 2) return Status::truncated;
            x += p[0];
            y += p[1];
            p += 2;
        } else {
            const size_t bytes = four ? (value + 1) / 2 : value;
            if (static_cast<size_t>(end - p) < bytes) return Status::truncated;
            paint(value, [&](unsigned i) {
                return static_cast<uint8_t>(four ? (i & 1 ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]);
            });
            p += std::min<size_t>(bytes + (bytes & 1), static_cast<size_t>(end - p));
        }
    }

    Rows out(h, 0);
    for (int32_t yy = 0; yy < rows; ++yy) {
        if (!map_indices(canvas.get() + static_cast<size_t>(yy) * w, h.width, h, out.buffer()))
            return Status::bad_data;
        sink(yy, out.buffer());
    }
    return Status::ok;
}

} // namespace

Status decode_rows(const Header& h, const uint8_t* rows, size_t len, int32_t first, int32_t last,
                   const RowSink& sink) {
    if (is_compressed(h) || first < 0 || last > h.height || first >= last) return Status::invalid;
    const uint64_t row_bytes = (static_cast<uint64_t>(h.width) * h.bits_per_pixel + 7) / 8;
    if (len < static_cast<uint64_t>(last - first - 1) * h.row_stride + row_bytes)
        return Status::truncated;
    switch (h.encoding) {
    case Encoding::palette:
        return decode_palette(h, rows, first, last, sink);
    case Encoding::bitfields16:
        return decode_bitfields16(h, rows, first, last, sink);
    case Encoding::rgb24:
        return decode_rgb24(h, rows, first, last, sink);
    case Encoding::bitfields32:
    case Encoding::rgb32:
        return decode_bitfields32(h, rows, first, last, sink);
    case Encoding::rle8:
    case Encoding::rle4:
        break;
    }
    return Status::unsupported;
}

Status decode(const Header& h, const uint8_t* buf, size_t len, const RowSink& sink) {
    if (len < h.data_end) return Status::truncated;
    if (is_compressed(h)) return decode_rle(h, buf, len, sink);
    return decode_rows(h, buf + h.data_offset, len - h.data_offset, 0, h.height, sink);
}

void Image::store_row(int32_t y, const uint8_t* bgrx) {
    uint32_t* dst = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    std::memcpy(dst, bgrx, 4 * static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x) dst[x] &= 0xffffff;
}

Status decode_image(const uint8_t* buf, size_t len, Image& image, const Limits& limits) {
    Header h;
    if (Status s = parse_header(buf, len, len, limits, h); s != Status::ok) return s;
    Image out;
    out.width = h.width;
    out.height = h.height;
    out.pixels.resize(static_cast<size_t>(h.width) * static_cast<size_t>(h.height));
    const Status s =
        decode(h, buf, len, [&](int32_t y, const uint8_t* bgrx) { out.store_row(y, bgrx); });
    if (s == Status::ok) image = std::move(out);
    return s;
}

} // namespace bmp
