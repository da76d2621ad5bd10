// The Windows bitmap codec shared by the engine and the program.
//
// Reading works on a (pointer, size) buffer that holds the file or its beginning. Every
// offset is checked in 64-bit arithmetic before it is read, and the dimensions are capped
// before anything is allocated, so a damaged or lying file ends in an error, never in a
// read outside the buffer or in an allocation the header asks for.
//
// Writing produces 32 bits per pixel, a 40-byte information header and bottom-up rows,
// and replaces the target file through a temporary file in the same folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fileio {
class ReplacementFile;
}

namespace bmp {

enum class Status {
    ok,
    cannot_open, // the file does not exist or cannot be read
    invalid,     // not a bitmap, or a header field that no bitmap can have
    unsupported, // a valid bitmap of a kind this codec does not decode
    truncated,   // the pixel data runs past the end of the file
    bad_data,    // broken run-length data or a colour index outside the palette
    too_large,   // larger than the caller's limits
};

const char* status_text(Status s);

enum class Encoding { palette, rle8, rle4, bitfields16, bitfields32, rgb24, rgb32 };

// The colour masks of a bit-field image: per channel the shift of its lowest bit and its
// width in bits. Widths other than 8 are scaled to 8 bits by repeating the bit pattern,
// as the platform's own conversion does (31 of 5 bits becomes 255, 16 becomes 132).
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

// Everything the decoder needs of the headers; filled by parse_header.
struct Header {
    int32_t width = 0;
    int32_t height = 0; // always positive
    bool top_down = false;
    int bits_per_pixel = 0;
    Encoding encoding = Encoding::rgb24;
    Channel red, green, blue;
    uint32_t palette[256] = {}; // 0x00RRGGBB
    int palette_size = 0;
    uint64_t data_offset = 0; // of the pixel data, from the start of the file
    uint64_t data_end = 0;    // bytes of the file the decoder needs
    uint64_t row_stride = 0;  // uncompressed encodings
};

struct Limits {
    int32_t max_width = 32768;
    int32_t max_height = 32768;
    uint64_t max_pixels = uint64_t{1} << 26;
};

// Parses the file header, the information header, the masks and the palette. `buf` holds
// the first `len` bytes of a file of `file_size` bytes; 64 KiB (or the whole file) always
// suffice. The dimensions are checked against `limits`.
Status parse_header(const uint8_t* buf, size_t len, uint64_t file_size, const Limits& limits,
                    Header& header);

// Receives decoded rows: `y` counts from the top row (0) down, `bgrx` holds width pixels of
// four bytes each: blue, green, red and a spare byte whose value means nothing. Rows come
// once each, in an order that depends on the file.
using RowSink = std::function<void(int32_t y, const uint8_t* bgrx)>;

// Decodes the pixel data of a file whose first `len` bytes are in `buf` (at least
// header.data_end of them). On failure the sink may have received some rows.
Status decode(const Header& header, const uint8_t* buf, size_t len, const RowSink& sink);

inline bool is_compressed(const Header& h) {
    return h.encoding == Encoding::rle8 || h.encoding == Encoding::rle4;
}

// Uncompressed encodings only: decodes the rows stored at positions first..last-1 of the
// file, whose `len` bytes start at `rows`. Ranges that do not overlap may be decoded at
// the same time on different threads.
Status decode_rows(const Header& header, const uint8_t* rows, size_t len, int32_t first,
                   int32_t last, const RowSink& sink);

// A decoded image: top-down rows of 0x00RRGGBB pixels.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int32_t x, int32_t y) const {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
    // Stores a decoded row (a RowSink's arguments), dropping the spare bytes.
    void store_row(int32_t y, const uint8_t* bgrx);
};

Status decode_image(const uint8_t* buf, size_t len, Image& image, const Limits& limits = {});

// Reads and parses only the headers of a bitmap file.
Status read_header(const std::string& path, const Limits& limits, Header& header);

// A bitmap file open for reading with its headers parsed; its bytes are read on demand,
// by several threads at once if need be.
class FileReader {
  public:
    FileReader() = default;
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Opens a regular file and parses its headers, checking the dimensions against
    // `limits`; anything but ok leaves nothing to read.
    Status open(const std::string& path, const Limits& limits);
    const Header& header() const { return header_; }
    // The first bytes of the file (64 KiB, or the whole file when it is smaller).
    const std::vector<uint8_t>& head() const { return head_; }
    // Reads `size` bytes from `offset` on into `dst`; false when the file ends or a read
    // fails before they are all in.
    bool read_at(uint8_t* dst, size_t size, uint64_t offset) const;

  private:
    int fd_ = -1;
    std::vector<uint8_t> head_;
    Header header_;
};

// Reads a bitmap file in two steps: the headers first, then only as much of the file as
// the pixel data needs. `check`, when given, sees the parsed header before the pixel data
// is read and may refuse it by returning a status other than ok. Uncompressed rows are
// read a few at a time and decoded at once, large files in two halves on two threads, so
// `sink` may run on two threads at once, for different rows.
Status read_file(const std::string& path, const Limits& limits, const RowSink& sink,
                 const std::function<Status(const Header&)>& check = {});
Status read_image_file(const std::string& path, Image& image, const Limits& limits = {});

// Produces the pixels of row `y` (0 = top) as width BGRX quadruples into `bgrx`.
using RowSource = std::function<void(int32_t y, uint8_t* bgrx)>;

// The 54 header bytes of a 32-bit, bottom-up bitmap of the given size.
std::vector<uint8_t> header32(int32_t width, int32_t height);

// Writes a 32-bit bitmap to `path` through a temporary file that is renamed over it, so
// the file under `path` is either the old one or the complete new one. Returns false,
// with the old file untouched, when anything fails.
bool write_file32(const std::string& path, int32_t width, int32_t height, const RowSource& rows);
// The same into a file the caller commits (see file_replace.h), so that several files can
// be written at once and replaced in a chosen order.
bool write_rows32(fileio::ReplacementFile& file, int32_t width, int32_t height,
                  const RowSource& rows);
bool write_image_file(const std::string& path, const Image& image);

} // namespace bmp
