#include "angle_input.h"

#include "bmp.h"
#include "tarnwick_contract.h"

#include <algorithm>
#include <new>

namespace tarnwick {

kernels::Sampling sampling(const Settings& settings, int bytes_per_pixel) {
    const char c = settings.channel[0];
    return {bytes_per_pixel, c == 'm' ? -1 : c == 'g' ? 1 : c == 'b' ? 0 : 2, settings.squaring};
}

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
    const kernels::Sampling how = sampling(settings, 4);
    const kernels::Set& set = kernels::chosen();
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
        set.sample(bgrx, planes.width, how,
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
