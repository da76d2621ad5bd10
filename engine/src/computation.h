// The birefringence computation: from the four samples I0, I45, I90, I135 of a pixel its
// mean intensity, its retardation code k (about 255 |sin(d)| / U) and its angle code
// (about 41 psi - 0.8, psi the direction of (b, a)).
#pragma once

#include "angle_input.h"
#include "options.h"

#include <array>
#include <cstdint>
#include <memory>

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

// Tables and thresholds of one run, built in the Start step.
class Computation {
  public:
    explicit Computation(const Settings& s);

    const Clamped& clamped() const { return c_; }
    float lower_scaled() const { return lower_scaled_; }         // L' = 255 L / U
    float dark_scaled() const { return dark_scaled_; }           // d' = 255 d
    float limit_scaled() const { return limit_scaled_; }         // s' = 255 s
    float sqrt_entry(int i) const { return sqrt_table_[i]; }     // i = 0..33000
    float arccos_entry(int i) const { return arccos_table_[i]; } // i = 0..200

    struct Codes {
        uint8_t mean, retardation, angle;
        bool overflow; // the retardation quotient does not fit a 64-bit integer
    };
    // The three codes of one pixel, step by step as defined; the reference for run().
    Codes pixel(int i0, int i45, int i90, int i135) const;

    // Both passes over the planes: afterwards plane 0 holds the retardation codes, plane 1
    // the angle codes and plane 2 the mean. Returns false when a retardation quotient did
    // not fit a 64-bit integer (the run then fails after writing "a0.bmp").
    bool run(SamplePlanes& planes) const;

    // The retardation code of a root r of the table and a mean before the L' and d'
    // limits, as one chain in extended precision; -1 when the quotient does not fit a
    // 64-bit integer.
    int retardation_exact(float r, int mean) const;
    // The code of n = a^2 + b^2 and a mean after the limits, as the pixel loop takes it.
    int retardation_code(int n, int mean) const;

  private:
    void build_k_table();
    void run_rows(SamplePlanes& planes, size_t begin, size_t end, bool& overflow) const;

    Clamped c_;
    float upper_scaled_, lower_scaled_, dark_scaled_, limit_scaled_;
    int min_k_, min_mean_, min_k_for_angle_;
    std::array<float, 33001> sqrt_table_;
    std::array<float, 201> arccos_table_;
    std::array<uint8_t, 255 * 255> angle_code_; // by (a + 127) * 255 + b + 127
    // The retardation code after the limits, by mean * k_row + a^2 + b^2; built with the
    // exact chain, absent when a quotient could overflow.
    static constexpr int k_row = 32259;
    std::unique_ptr<uint8_t[]> k_table_;
};

} // namespace tarnwick
