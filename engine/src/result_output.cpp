#include "result_output.h"

#include "bmp.h"
#include "palette.h"
#include "tarnwick_contract.h"

#include <algorithm>

namespace tarnwick {

std::array<uint8_t, 256> angle_stretch(float angle_low, float angle_high) {
    std::array<uint8_t, 256> e{};
    const long double l = angle_low, u = angle_high;
    for (int n = 1; n < 256; ++n) {
        const long double v = tarnwick::round_half_even((n - l * 255 / 180) * 180 / (u - l));
        e[n] = static_cast<uint8_t>(std::clamp(v, 0.0L, 255.0L));
    }
    return e;
}

ColourMaps::ColourMaps(const Clamped& c) {
    const auto& pal = palette::false_colour();
    const std::array<uint8_t, 256> stretch = angle_stretch(c.angle_low, c.angle_high);
    for (int n = 0; n < 256; ++n) {
        mean[n] = static_cast<uint32_t>(n) * 0x010101u;
        retardation[n] = palette::pixel(pal[n == 0 ? palette::no_value : n]);
        angle[n] = palette::pixel(pal[n == 0 ? palette::no_value : stretch[n]]);
    }
}

bool write_result(fileio::ReplacementFile& file, const SamplePlanes& planes, int plane,
                  const std::array<uint32_t, 256>& map) {
    const uint8_t* codes = planes.plane[plane].get();
    const size_t width = static_cast<size_t>(planes.width);
    const uint32_t* colours = map.data();
    const kernels::Set& set = kernels::chosen();
    return bmp::write_rows32(
        file, planes.width, planes.height, [codes, width, colours, &set](int32_t y, uint8_t* bgrx) {
            set.colour(codes + static_cast<size_t>(y) * width, width, colours, bgrx);
        });
}

} // namespace tarnwick
