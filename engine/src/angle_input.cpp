#include "angle_input.h"

#include "bmp.h"
#include "tarnwick_contract.h"

#include <algorithm>
#include <array>
#include <new>

namespace tarnwick {

namespace {

// Maps a pixel to its sample with one table lookup: the table is indexed by the chosen
// channel, or by the sum of the three for "m", and already holds the squaring.
class Sampler {
  public:
    explicit Sampler(const Settings& s) : channel_(s.channel[0]) {
        for (int sum = 0; sum < 766; ++sum) {
            const int v = channel_ == 'm' ? sum / 3 : std::min(sum, 255);
            // v*v/255 is never a tie: 2v^2 = 255(2n+1) has no solution for 0 < v < 255.
            table_[sum] = static_cast<uint8_t>(s.squaring ? (v * v + 127) / 255 : v);
        }
    }

    void row(const uint8_t* bgrx, int32_t width, uint8_t* out) const {
        const uint8_t* table = table_.data(); // a local: stores to `out` cannot change it
        switch (channel_) {
        case 'm':
            for (int32_t x = 0; x < width; ++x)
                out[x] = table[bgrx[4 * x] + bgrx[4 * x + 1] + bgrx[4 * x + 2]];
            break;
        case 'g':
            pick(table, bgrx + 1, width, out);
            break;
        case 'b':
            pick(table, bgrx, width, out);
            break;
        default:
            pick(table, bgrx + 2, width, out);
            break;
        }
    }

  private:
    static void pick(const uint8_t* table, const uint8_t* first, int32_t width, uint8_t* out) {
        for (int32_t x = 0; x < width; ++x) out[x] = table[first[4 * x]];
    }

    char channel_;
    std::array<uint8_t, 766> table_{};
};

} // namespace

bmp::Limits angle_limits(const Settings& settings, int index) {
    bmp::Limits limits;
    if (index == 0) {
        limits.max_width = std::min(settings.max_width, plane_limit);
        limits.max_height = std::min(settings.max_height, plane_limit);
    }
    return limits;
}

int read_angle_image(const Settings& settings, int index, SamplePlanes& planes) {
    const int cannot_load = TARNWICK_CANNOT_READ_FIRST + index;
    const bmp::Limits limits = angle_limits(settings, index);
    const Sampler sampler(settings);
    bool size_differs = false;
    bool no_memory = false;

    auto check = [&](const bmp::Header& h) {
        if (index == 0) {
            planes.width = h.width;
            planes.height = h.height;
            try {
                for (auto& p : planes.plane) p.reset(new uint8_t[planes.pixels()]);
            } catch (const std::bad_alloc&) {
                no_memory = true;
                return bmp::Status::too_large;
            }
        } else if (h.width != planes.width || h.height != planes.height) {
            size_differs = true;
            return bmp::Status::too_large;
        }
        return bmp::Status::ok;
    };
    // Called for different rows on two threads at once; it only writes its own row.
    auto sink = [&](int32_t y, const uint8_t* bgrx) {
        uint8_t* plane = planes.plane[index].get();
        sampler.row(bgrx, planes.width,
                    plane + static_cast<size_t>(y) * static_cast<size_t>(planes.width));
    };

    bmp::Status status;
    try {
        status =
            bmp::read_file(settings.input_folder + tarnwick_angle_file(index), limits, sink, check);
    } catch (const std::bad_alloc&) {
        return cannot_load;
    }
    if (no_memory) return TARNWICK_CANNOT_WRITE;
    if (size_differs) return TARNWICK_SIZE_DIFFERS;
    if (status == bmp::Status::too_large && index == 0) return TARNWICK_SIZE_LIMIT;
    return status == bmp::Status::ok ? TARNWICK_READY : cannot_load;
}

} // namespace tarnwick
