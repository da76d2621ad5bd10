#include "optics.h"

#include <cmath>
#include <numbers>

namespace sim {

namespace {

double radians(double degrees) {
    return degrees * std::numbers::pi / 180;
}

} // namespace

double PolarizerResponse::intensity(double t_degrees) const {
    const double t2 = 2 * radians(t_degrees);
    return (s0 + s1 * std::cos(t2) + s2 * std::sin(t2)) / 2;
}

PolarizerResponse polarizer_response(const Jones& light) {
    const double xx = std::norm(light.x), yy = std::norm(light.y);
    return {xx + yy, xx - yy, 2 * (light.x * std::conj(light.y)).real()};
}

Jones elliptical_light(double linear_degree, double orientation_degrees) {
    // in the ellipse's own axes the field is (cos c, i sin c) with cos 2c the linear degree
    const double c = std::acos(linear_degree) / 2;
    const std::complex<double> major = std::cos(c), minor(0, std::sin(c));
    const double o = radians(orientation_degrees);
    return {major * std::cos(o) - minor * std::sin(o), major * std::sin(o) + minor * std::cos(o)};
}

Jones through_retarder(const Jones& light, double slow_axis_degrees, double retardation,
                       double transmission) {
    const double a = radians(slow_axis_degrees), ca = std::cos(a), sa = std::sin(a);
    // components along the slow axis and the fast axis (90 degrees further)
    const std::complex<double> slow = light.x * ca + light.y * sa;
    const std::complex<double> fast = -light.x * sa + light.y * ca;
    const std::complex<double> delayed = slow * std::polar(1.0, retardation);
    const double amplitude = std::sqrt(transmission);
    return {amplitude * (delayed * ca - fast * sa), amplitude * (delayed * sa + fast * ca)};
}

ColourResponse mix(const ColourResponse& a, const ColourResponse& b, double weight) {
    ColourResponse out;
    for (size_t c = 0; c < 3; ++c) {
        out[c].s0 = weight * a[c].s0 + (1 - weight) * b[c].s0;
        out[c].s1 = weight * a[c].s1 + (1 - weight) * b[c].s1;
        out[c].s2 = weight * a[c].s2 + (1 - weight) * b[c].s2;
    }
    return out;
}

} // namespace sim
