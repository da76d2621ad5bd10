// The birefringence computation: from the four samples I0, I45, I90, I135 of a pixel its
// mean intensity, its retardation code k (about 255 |sin(d)| / U) and its angle code
// (about 41 psi - 0.8, psi the direction of (b, a)).
#pragma once

#include "angle_input.h"
#include "kernels.h"
#include "options.h"

#include <array>
#include <cstdint>

namespace tarnwick {

// The settings after clamping, in the order the engine applies them.
struct Clamped {
    float lower;       // L, relative to the colour maximum after clamping
    float upper;       // U
    float angle_low;   // l, degrees
    float angle_high;  // u, degrees
    float dark;        // d
    float angle_limit; // s
};

Clamped clamp_settings(const Settings& s);

// k = 65025 r / mean / U', rounded and limited to 255, as one chain in extended
// precision; -1 when the quotient does not fit a 64-bit integer.
int retardation_exact(float r, int mean, float upper_scaled);

// Thresholds and the small tables of one run, set up in the Start step.
class Computation {
  public:
    explicit Computation(const Settings& s);

    const Clamped& clamped() const { return c_; }
    float lower_scaled() const { return lower_scaled_; }         // L' = 255 L / U
    float dark_scaled() const { return dark_scaled_; }           // d' = 255 d
    float limit_scaled() const { return limit_scaled_; }         // s' = 255 s
    float arccos_entry(int i) const { return arccos_table_[i]; } // i = 0..200

    struct Codes {
        uint8_t mean, retardation, angle;
        bool overflow; // the retardation quotient does not fit a 64-bit integer
    };
    // The three codes of one pixel, step by step as defined; the reference for the
    // kernels.
    Codes pixel(int i0, int i45, int i90, int i135) const;

    // Whether some pixel's retardation quotient may not fit a 64-bit integer: only with
    // a colour maximum below about 1e-14. Such a run takes every pixel step by step and
    // ends at the first pixel with r > 0.
    bool may_overflow() const { return may_overflow_; }
    // The rules of the kernels, for a run that cannot overflow.
    const kernels::CodeRules& rules() const { return rules_; }

    // Both passes over the planes: afterwards plane 0 holds the retardation codes, plane 1
    // the angle codes and plane 2 the mean. Returns false when a retardation quotient did
    // not fit a 64-bit integer (the run then fails after writing "a0.bmp").
    bool run(SamplePlanes& planes) const;

  private:
    bool run_exact(SamplePlanes& planes, size_t begin, size_t end) const;

    Clamped c_;
    float upper_scaled_, lower_scaled_, dark_scaled_, limit_scaled_;
    bool may_overflow_;
    std::array<float, 201> arccos_table_;
    // The angle code by j = (1 - t) 100 rounded (see kernels::CodeRules).
    std::array<uint8_t, kernels::no_angle + 1> angle_by_j_;
    kernels::CodeRules rules_;
};

} // namespace tarnwick
