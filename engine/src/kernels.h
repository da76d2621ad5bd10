// The per-pixel work of a run over rows of pixels: sampling the angle images, the codes
// of the computation and the colouring of the result images. Each comes in a version for
// processors with AVX2 and a baseline version for every x86-64 processor, chosen when
// the library runs; both give the bytes of the step-by-step definition
// (Computation::pixel) for every input.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick::kernels {

// How the pixels of an angle-image row become samples.
struct Sampling {
    int bytes_per_pixel; // 3: blue, green, red; 4: blue, green, red, spare
    int channel;         // the byte of the pixel to take (0 blue, 1 green, 2 red), or -1
                         // for the mean of the three, fraction dropped
    bool squaring;       // v becomes v v / 255, rounded
};

// What the codes take from a run's computation (see Computation).
struct CodeRules {
    float k_scale;       // 65025 / U': the retardation quotient is r k_scale / mean
    float upper_scaled;  // U', for the exact chain where the quotient lies near a half
    int min_k;           // retardation codes below it become 0 (the ceiling of L')
    int min_mean;        // means below it give retardation code 0 (the ceiling of d')
    int min_k_for_angle; // retardation codes below it give angle code 0 (at least 1)
    // The angle code by j: 201 for a < 0, then 201 for a >= 0, then 0 (no angle) at
    // no_angle.
    const uint8_t* angle_by_j;
};

struct Set {
    const char* name;
    // One row of `width` pixels into `width` samples.
    void (*sample)(const uint8_t* pixels, int32_t width, const Sampling& how, uint8_t* out);
    // The retardation code, angle code and mean of `n` pixels. The outputs may be the
    // inputs s0, s45 and s90 themselves.
    void (*codes)(const uint8_t* s0, const uint8_t* s45, const uint8_t* s90, const uint8_t* s135,
                  size_t n, const CodeRules& rules, uint8_t* k, uint8_t* angle, uint8_t* mean);
    // `n` codes through `map` (256 pixels 0x00RRGGBB) into blue, green, red, spare bytes.
    void (*colour)(const uint8_t* codes, size_t n, const uint32_t* map, uint8_t* bgrx);
};

const Set& baseline();
// Null where the processor lacks AVX2.
const Set* avx2();
// The set a run uses: AVX2 where the processor has it, unless the environment variable
// TARNWICK_KERNELS is "baseline".
const Set& chosen();

constexpr int no_angle = 2 * 201;

// The kernels estimate the retardation quotient in single precision, within about 5e-5
// of the exact chain for every quotient up to 256; where it lies nearer than this to a
// half, the exact chain decides (a few pixels in a thousand).
constexpr float near_half = 1.0f / 2048;
// The retardation code, before the limits, of a pixel with a^2 + b^2 = n and `mean` by
// the exact chain.
int exact_code(int n, int mean, const CodeRules& rules);

} // namespace tarnwick::kernels
