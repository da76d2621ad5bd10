#include "palette.h"

#include "tarnwick_contract.h"

#include <cmath>

namespace palette {

namespace {

constexpr long double pi = 3.141592653589793238462643383279502884L;

uint8_t sin2_level(int i, int period) {
    const long double s = std::sin(pi * i / period);
    return static_cast<uint8_t>(tarnwick::round_half_even(255 * s * s));
}

std::array<Colour, 257> build() {
    std::array<Colour, 257> table{};
    for (int i = 1; i < 256; ++i)
        table[i] = Colour{static_cast<uint8_t>(i), sin2_level(i, 255), sin2_level(i, 100)};
    table[0] = table[no_value] = Colour{0, 0, 0};
    return table;
}

} // namespace

const std::array<Colour, 257>& false_colour() {
    static const std::array<Colour, 257> table = build();
    return table;
}

} // namespace palette
