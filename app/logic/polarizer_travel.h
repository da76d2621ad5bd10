// How long the polarizer's motor takes for a move: it speeds up with the set acceleration
// to the set speed, runs, and brakes as hard onto the target (a trapezoidal profile; a
// short move brakes before it reaches the speed).
#pragma once

#include <cmath>
#include <limits>

namespace polarizer_travel {

// Seconds for a move of `steps` (either sign) at `speed` steps per second and
// `acceleration` steps per second squared. A motor without speed never arrives: infinity.
// Without acceleration the speed is taken as reached at once.
inline double seconds(double steps, double speed, double acceleration) {
    const double distance = std::fabs(steps);
    if (distance == 0) return 0;
    if (speed <= 0) return std::numeric_limits<double>::infinity();
    if (acceleration <= 0) return distance / speed;
    if (distance >= speed * speed / acceleration) return distance / speed + speed / acceleration;
    return 2 * std::sqrt(distance / acceleration);
}

} // namespace polarizer_travel
