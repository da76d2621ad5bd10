// Bitmap files on disk: reading in two steps (headers, then the pixel data they call for)
// and writing 32-bit bitmaps through a replacement file.
#include "bmp.h"
#include "file_replace.h"
#include "work_split.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace bmp {

namespace {

constexpr size_t header_chunk = 64 * 1024;
// Files from this size on are read and decoded in two halves at once.
constexpr uint64_t parallel_from = 4 << 20;
// Rows are read in chunks of about this size.
constexpr uint64_t chunk_bytes = 512 * 1024;

} // namespace

FileReader::~FileReader() {
    if (fd_ >= 0) ::close(fd_);
}

Status FileReader::open(const std::string& path, const Limits& limits) {
    if (fd_ >= 0) ::close(fd_);
    head_.clear();
    header_ = Header{};
    // without blocking: a FIFO or a device in the place of an image is refused, never waited on
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return Status::cannot_open;
    const uint64_t file_size = static_cast<uint64_t>(st.st_size);
    const size_t first = static_cast<size_t>(std::min<uint64_t>(file_size, header_chunk));
    head_.resize(first);
    if (!read_at(head_.data(), first, 0)) return Status::cannot_open;
    return parse_header(head_.data(), first, file_size, limits, header_);
}

bool FileReader::read_at(uint8_t* dst, size_t size, uint64_t offset) const {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, dst + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

Status read_header(const std::string& path, const Limits& limits, Header& header) {
    FileReader file;
    const Status s = file.open(path, limits);
    header = file.header();
    return s;
}

Status read_file(const std::string& path, const Limits& limits, const RowSink& sink,
                 const std::function<Status(const Header&)>& check) {
    FileReader file;
    if (Status s = file.open(path, limits); s != Status::ok) return s;
    const Header& h = file.header();
    const size_t first = file.head().size();
    if (check) {
        if (Status s = check(h); s != Status::ok) return s;
    }

    // a small file is in already
    if (h.data_end <= first) return decode(h, file.head().data(), first, sink);
    if (is_compressed(h)) {
        std::unique_ptr<uint8_t[]> data(new uint8_t[h.data_end]);
        const size_t size = static_cast<size_t>(h.data_end);
        if (!file.read_at(data.get(), size, 0)) return Status::truncated;
        return decode(h, data.get(), size, sink);
    }

    // Rows [n0, n1), read in chunks that stay in the cache and decoded straight away.
    auto part = [&](int32_t n0, int32_t n1) {
        const int32_t per_chunk =
            static_cast<int32_t>(std::max<uint64_t>(1, chunk_bytes / h.row_stride));
        std::unique_ptr<uint8_t[]> chunk(
            new uint8_t[static_cast<size_t>(per_chunk * h.row_stride)]);
        for (int32_t n = n0; n < n1; n += per_chunk) {
            const int32_t m = std::min(n1, n + per_chunk);
            const uint64_t from = h.data_offset + uint64_t(n) * h.row_stride;
            const uint64_t to =
                m == h.height ? h.data_end : h.data_offset + uint64_t(m) * h.row_stride;
            const size_t size = static_cast<size_t>(to - from);
            if (!file.read_at(chunk.get(), size, from)) return Status::truncated;
            if (Status s = decode_rows(h, chunk.get(), size, n, m, sink); s != Status::ok) return s;
        }
        return Status::ok;
    };
    // Large files in two halves at once.
    const int parts = h.height < 2 ? 1 : work::parts_for(h.data_end, parallel_from);
    Status status[2] = {Status::ok, Status::ok};
    work::split(parts, [&](int p) {
        const int32_t half = parts == 1 ? h.height : h.height / 2;
        status[p] = p == 0 ? part(0, half) : part(half, h.height);
    });
    return status[0] != Status::ok ? status[0] : status[1];
}

Status read_image_file(const std::string& path, Image& image, const Limits& limits) {
    Image out;
    const Status s = read_file(
        path, limits, [&](int32_t y, const uint8_t* bgrx) { out.store_row(y, bgrx); },
        [&](const Header& h) {
            out.width = h.width;
            out.height = h.height;
            out.pixels.assign(static_cast<size_t>(h.width) * static_cast<size_t>(h.height), 0);
            return Status::ok;
        });
    if (s == Status::ok) image = std::move(out);
    return s;
}

std::vector<uint8_t> header32(int32_t width, int32_t height) {
    const uint32_t image_size = 4u * static_cast<uint32_t>(width) * static_cast<uint32_t>(height);
    std::vector<uint8_t> h(54, 0);
    auto put16 = [&](size_t at, uint32_t v) {
        h[at] = static_cast<uint8_t>(v);
        h[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at, v & 0xffff);
        put16(at + 2, v >> 16);
    };
    h[0] = 'B';
    h[1] = 'M';
    put32(2, 54 + image_size);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height)); // positive: bottom-up rows
    put16(26, 1);
    put16(28, 32);
    put32(30, 0); // uncompressed
    put32(34, image_size);
    return h;
}

bool write_rows32(fileio::ReplacementFile& file, int32_t width, int32_t height,
                  const RowSource& rows) {
    if (width <= 0 || height <= 0) return false;
    const std::vector<uint8_t> head = header32(width, height);
    if (!file.write(head.data(), head.size())) return false;

    // Rows go out in batches of about 256 KiB, a size that stays in the cache.
    const size_t row_bytes = 4 * static_cast<size_t>(width);
    const size_t batch_rows = std::max<size_t>(1, (256 * 1024) / row_bytes);
    std::vector<uint8_t> batch(batch_rows * row_bytes);
    size_t filled = 0;
    for (int32_t n = 0; n < height; ++n) {
        rows(height - 1 - n, batch.data() + filled * row_bytes);
        if (++filled == batch_rows || n == height - 1) {
            if (!file.write(batch.data(), filled * row_bytes)) return false;
            filled = 0;
        }
    }
    return true;
}

bool write_file32(const std::string& path, int32_t width, int32_t height, const RowSource& rows) {
    fileio::ReplacementFile file(path);
    return write_rows32(file, width, height, rows) && file.commit();
}

bool write_image_file(const std::string& path, const Image& image) {
    return write_file32(path, image.width, image.height, [&](int32_t y, uint8_t* bgrx) {
        std::memcpy(bgrx,
                    image.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width),
                    4 * static_cast<size_t>(image.width));
    });
}

} // namespace bmp
