#include "one_pass.h"

#include "angle_input.h"
#include "bmp.h"
#include "file_replace.h"
#include "tarnwick_contract.h"
#include "work_split.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

namespace tarnwick {

namespace {

// The rows of a band: about this many bytes of one image.
constexpr uint64_t band_bytes = 192 * 1024;
constexpr size_t page = 4096;

// Memory for the bytes of a file from some offset on, placed at the same offset within
// its page as the bytes are in the file: the kernel's copies between file and memory
// then run over whole, aligned cache lines.
class FileBuffer {
  public:
    explicit FileBuffer(size_t size)
        : memory_(
              static_cast<uint8_t*>(std::aligned_alloc(page, (size + 2 * page) / page * page))) {
        if (!memory_) throw std::bad_alloc();
    }
    uint8_t* at(uint64_t file_offset) const { return memory_.get() + file_offset % page; }

  private:
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t, Free> memory_;
};

bool takes_one_pass(const bmp::Header& h) {
    return h.encoding == bmp::Encoding::rgb24 || h.encoding == bmp::Encoding::rgb32 ||
           h.encoding == bmp::Encoding::bitfields32;
}

struct Input {
    bmp::FileReader file;
    kernels::Sampling how{};
    // The file row that holds image row y.
    int32_t file_row(int32_t y) const {
        const bmp::Header& h = file.header();
        return h.top_down ? y : h.height - 1 - y;
    }
};

class Pass {
  public:
    Pass(const Settings& s, const Computation& c, const ColourMaps& maps, Input (&inputs)[4])
        : rules_(c.rules()), maps_{&maps.mean, &maps.retardation, &maps.angle}, inputs_(inputs),
          width_(inputs[0].file.header().width), height_(inputs[0].file.header().height),
          set_(kernels::chosen()), head_(bmp::header32(width_, height_)),
          outputs_{
              fileio::ReplacementFile(s.output_folder +
                                      tarnwick_result_file(TARNWICK_TRANSMISSION)),
              fileio::ReplacementFile(s.output_folder + tarnwick_result_file(TARNWICK_RETARDATION)),
              fileio::ReplacementFile(s.output_folder + tarnwick_result_file(TARNWICK_ANGLE))} {
        uint64_t widest = 4 * static_cast<uint64_t>(width_);
        for (const Input& in : inputs_) widest = std::max(widest, in.file.header().row_stride);
        band_rows_ = static_cast<int32_t>(std::clamp<uint64_t>(band_bytes / widest, 1, 64));
    }

    // The code of the pass, or nothing when it failed and the result images are as they
    // were.
    std::optional<int32_t> run() {
        for (auto& out : outputs_)
            if (!out.write_at(head_.data(), head_.size(), 0)) return std::nullopt;
        const int parts =
            height_ < 2 ? 1 : work::parts_for(uint64_t(width_) * uint64_t(height_), 1 << 18);
        work::split(parts, [&](int p) {
            const int32_t half = height_ / parts;
            rows(p * half, p == parts - 1 ? height_ : (p + 1) * half);
        });
        if (failed_) return std::nullopt;
        // Put in place in their order: when one cannot be, the later ones keep their
        // old content.
        for (auto& out : outputs_)
            if (!out.commit()) return TARNWICK_CANNOT_WRITE;
        for (auto& out : outputs_) out.release_old();
        return TARNWICK_READY;
    }

  private:
    // Image rows [y_begin, y_end), band by band.
    void rows(int32_t y_begin, int32_t y_end) {
        const size_t w = static_cast<size_t>(width_);
        const size_t band_pixels = w * static_cast<size_t>(band_rows_);
        std::vector<FileBuffer> files;
        for (const Input& in : inputs_)
            files.emplace_back(in.file.header().row_stride * static_cast<size_t>(band_rows_));
        std::vector<FileBuffer> results;
        for (int o = 0; o < 3; ++o) results.emplace_back(4 * band_pixels);
        std::unique_ptr<uint8_t[]> samples(new uint8_t[4 * band_pixels]);
        std::unique_ptr<uint8_t[]> codes(new uint8_t[3 * w]);
        for (int32_t y0 = y_begin; y0 < y_end && !failed_; y0 += band_rows_) {
            const int32_t y1 = std::min(y_end, y0 + band_rows_);
            for (int i = 0; i < 4 && !failed_; ++i)
                if (!sample_band(i, y0, y1, files[static_cast<size_t>(i)],
                                 samples.get() + static_cast<size_t>(i) * band_pixels))
                    failed_ = true;
            if (failed_) return;
            // result file rows are bottom-up: image row y is file row height - 1 - y
            const int32_t first = height_ - y1;
            const uint64_t offset = head_.size() + uint64_t(first) * 4 * w;
            uint8_t* out[3];
            for (int o = 0; o < 3; ++o) out[o] = results[static_cast<size_t>(o)].at(offset);
            for (int32_t y = y0; y < y1; ++y) {
                const size_t at = static_cast<size_t>(y - y0) * w;
                const uint8_t* s = samples.get() + at;
                set_.codes(s, s + band_pixels, s + 2 * band_pixels, s + 3 * band_pixels, w, rules_,
                           codes.get(), codes.get() + w, codes.get() + 2 * w);
                const size_t position = static_cast<size_t>(y1 - 1 - y) * 4 * w;
                set_.colour(codes.get() + 2 * w, w, maps_[0]->data(), out[0] + position);
                set_.colour(codes.get(), w, maps_[1]->data(), out[1] + position);
                set_.colour(codes.get() + w, w, maps_[2]->data(), out[2] + position);
            }
            const size_t bytes = static_cast<size_t>(y1 - y0) * 4 * w;
            for (int o = 0; o < 3; ++o)
                if (!outputs_[o].write_at(out[o], bytes, offset)) failed_ = true;
        }
    }

    // Reads image rows [y0, y1) of input i and samples them into `samples`, a row of
    // `width` samples for each.
    bool sample_band(int i, int32_t y0, int32_t y1, const FileBuffer& buffer, uint8_t* samples) {
        const Input& in = inputs_[i];
        const bmp::Header& h = in.file.header();
        const int32_t n0 = std::min(in.file_row(y0), in.file_row(y1 - 1));
        const int32_t n1 = n0 + (y1 - y0);
        const uint64_t from = h.data_offset + uint64_t(n0) * h.row_stride;
        const uint64_t to =
            n1 == h.height ? h.data_end : h.data_offset + uint64_t(n1) * h.row_stride;
        const size_t size = static_cast<size_t>(to - from);
        uint8_t* rows = buffer.at(from);
        if (!in.file.read_at(rows, size, from)) return false;
        const size_t w = static_cast<size_t>(width_);
        auto sample_row = [&](int32_t y, const uint8_t* pixels) {
            set_.sample(pixels, width_, in.how, samples + static_cast<size_t>(y - y0) * w);
        };
        if (h.encoding == bmp::Encoding::rgb24) {
            for (int32_t n = n0; n < n1; ++n)
                sample_row(h.top_down ? n : h.height - 1 - n,
                           rows + uint64_t(n - n0) * h.row_stride);
            return true;
        }
        // 32 bits: the file's bytes as they are, or bit fields spread to bytes first
        return bmp::decode_rows(h, rows, size, n0, n1, sample_row) == bmp::Status::ok;
    }

    const kernels::CodeRules& rules_;
    const std::array<uint32_t, 256>* maps_[3]; // a0, a1, a2
    Input (&inputs_)[4];
    int32_t width_, height_, band_rows_;
    const kernels::Set& set_;
    const std::vector<uint8_t> head_; // of each result image
    fileio::ReplacementFile outputs_[3];
    std::atomic<bool> failed_{false};
};

} // namespace

std::optional<int32_t> run_one_pass(const Settings& s, const Computation& computation,
                                    const ColourMaps& maps) {
    if (computation.may_overflow()) return std::nullopt;
    // Checks first: every header as the Read steps take it, every size equal.
    Input inputs[4];
    for (int i = 0; i < 4; ++i) {
        Input& in = inputs[i];
        if (in.file.open(s.input_folder + tarnwick_angle_file(i), angle_limits(s, i)) !=
            bmp::Status::ok)
            return std::nullopt;
        const bmp::Header& h = in.file.header();
        if (!takes_one_pass(h) || h.width != inputs[0].file.header().width ||
            h.height != inputs[0].file.header().height)
            return std::nullopt;
        in.how = sampling(s, h.encoding == bmp::Encoding::rgb24 ? 3 : 4);
    }
    try {
        return Pass(s, computation, maps, inputs).run();
    } catch (...) {
        return std::nullopt; // no memory for the bands: the steps try it their way
    }
}

} // namespace tarnwick
