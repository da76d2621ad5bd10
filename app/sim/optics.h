// Polarization optics of the virtual microscope, in Jones calculus.
//
// Convention. Directions are angles counter-clockwise from the image's x axis as seen on
// the screen (x to the right, y up on the screen). The camera looks into the beam, so the
// screen shows the light as it arrives. A Jones vector (x, y) holds the complex
// amplitudes of the field's x and y components with the time factor exp(-i w t): the
// real field is Re((x, y) exp(-i w t)). So (1, i) / sqrt(2) is circularly polarized light
// whose field vector turns from +x towards +y, counter-clockwise on the screen.
// A linear retarder of retardation d delays its slow axis by d: the component along the
// slow axis takes the factor exp(i d) relative to the fast axis.
//
// Behind a linear polarizer whose transmission axis lies at t, light (x, y) has the
// intensity |x cos t + y sin t|^2 = (s0 + s1 cos 2t + s2 sin 2t) / 2 with the Stokes
// parameters s0 = |x|^2 + |y|^2, s1 = |x|^2 - |y|^2, s2 = 2 Re(x conj(y)).
//
// With this light a sample of transmission T, retardation d and slow axis phi gives
//     I(t) = T/2 (1 + sin(d) sin(2t - 2phi)).
// The stage turns the polarizer clockwise by the program's angle p (t = -p), so the four
// angle images hold I = T/2 (1 - sin(d) sin(2p + 2phi)) at p = 0, 45, 90, 135, from which
// the engine reads |sin(d)| and the extinction angle phi. (Turned the other way, or with
// light of the other handedness, the engine would read 90 - phi or phi + 90.)
#pragma once

#include <array>
#include <complex>

namespace sim {

struct Jones {
    std::complex<double> x, y;
};

// The response of light to the polarizer's angle: the intensity at angle t (degrees) is
// (s0 + s1 cos 2t + s2 sin 2t) / 2. Linear in the light's intensity, so responses of
// parts of a pixel add up.
struct PolarizerResponse {
    double s0 = 0, s1 = 0, s2 = 0;
    double intensity(double t_degrees) const;
};
PolarizerResponse polarizer_response(const Jones& light);

// Elliptically polarized light of unit intensity: its ellipse has the orientation
// `orientation_degrees` and its linear component the degree `linear_degree` (0: circular,
// turning counter-clockwise on the screen; 1: linear).
Jones elliptical_light(double linear_degree, double orientation_degrees);

// The light behind a linear retarder with its slow axis at `slow_axis_degrees`,
// retardation `retardation` (radians) and intensity transmission `transmission`.
Jones through_retarder(const Jones& light, double slow_axis_degrees, double retardation,
                       double transmission);

// A colour's responses, red, green, blue.
using ColourResponse = std::array<PolarizerResponse, 3>;
// `a` weighted by `weight` plus `b` weighted by 1 - weight: a pixel partly covered.
ColourResponse mix(const ColourResponse& a, const ColourResponse& b, double weight);

} // namespace sim
