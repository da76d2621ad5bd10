// Conversion of real values to integers as the whole system does it: to the nearest
// integer, a tie going to the even neighbour, independent of the floating-point
// environment the host process may have set.
#pragma once

#include <cmath>

namespace numeric {

inline long double round_half_even(long double x) {
    const long double f = std::floor(x);
    const long double d = x - f;
    if (d > 0.5L) return f + 1;
    if (d < 0.5L) return f;
    return std::fmod(f, 2.0L) == 0 ? f : f + 1;
}

} // namespace numeric
