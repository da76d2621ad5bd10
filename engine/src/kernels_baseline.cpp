// The baseline kernels, for every x86-64 processor, and the choice of the kernels a run
// uses.
#include "kernels.h"

#include "computation.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tarnwick::kernels {

namespace {

template <class Pick>
void sample_with(const uint8_t* pixels, int32_t width, int bytes, bool squaring, uint8_t* out,
                 Pick pick) {
    for (int32_t x = 0; x < width; ++x) {
        int v = pick(pixels + static_cast<size_t>(bytes) * static_cast<size_t>(x));
        if (squaring) v = (v * v + 127) / 255; // never a tie: 2v^2 = 255(2n+1) has no solution
        out[x] = static_cast<uint8_t>(v);
    }
}

void sample(const uint8_t* pixels, int32_t width, const Sampling& how, uint8_t* out) {
    const int c = how.channel;
    if (c < 0)
        sample_with(pixels, width, how.bytes_per_pixel, how.squaring, out,
                    [](const uint8_t* p) { return (p[0] + p[1] + p[2]) / 3; });
    else
        sample_with(pixels, width, how.bytes_per_pixel, how.squaring, out,
                    [c](const uint8_t* p) { return int{p[c]}; });
}

// x >= 0 rounded to the nearest integer, a tie to the even one.
int round_half_even(double x) {
    const int whole = static_cast<int>(x);
    const double fraction = x - whole;
    return whole + (fraction > 0.5 || (fraction == 0.5 && (whole & 1)));
}

void codes(const uint8_t* s0, const uint8_t* s45, const uint8_t* s90, const uint8_t* s135, size_t n,
           const CodeRules& rules, uint8_t* k_out, uint8_t* angle_out, uint8_t* mean_out) {
    for (size_t i = 0; i < n; ++i) {
        const int i0 = s0[i], i45 = s45[i], i90 = s90[i], i135 = s135[i];
        int mean = (i0 + i45 + i90 + i135) >> 2;
        mean += mean == 0;
        const int a = (i90 - i0) / 2, b = (i135 - i45) / 2;
        const int sum = a * a + b * b;
        const float r = std::sqrt(static_cast<float>(sum));
        const float q = r * rules.k_scale / static_cast<float>(mean);
        int k = 255;
        if (q < 256) {
            const float fraction = q - std::trunc(q);
            k = std::fabs(fraction - 0.5f) < near_half ? exact_code(sum, mean, rules)
                                                       : static_cast<int>(q + 0.5f);
            if (k > 255) k = 255;
        }
        if (k < rules.min_k || mean < rules.min_mean) k = 0;
        int angle = 0;
        if (k >= rules.min_k_for_angle) {
            // t = b / r, exact in single precision; (1 - t) 100 is exact in double
            const float t = static_cast<float>(b) / (sum == 0 ? 0.0001f : r);
            const int j = round_half_even((1.0 - static_cast<double>(t)) * 100.0);
            angle = rules.angle_by_j[(a >= 0 ? 201 : 0) + j];
        }
        k_out[i] = static_cast<uint8_t>(k);
        angle_out[i] = static_cast<uint8_t>(angle);
        mean_out[i] = static_cast<uint8_t>(mean);
    }
}

void colour(const uint8_t* codes, size_t n, const uint32_t* map, uint8_t* bgrx) {
    for (size_t i = 0; i < n; ++i) std::memcpy(bgrx + 4 * i, map + codes[i], 4);
}

const Set baseline_set{"baseline", sample, codes, colour};

} // namespace

int exact_code(int n, int mean, const CodeRules& rules) {
    const int k = retardation_exact(std::sqrt(static_cast<float>(n)), mean, rules.upper_scaled);
    return k < 0 ? 255 : k;
}

const Set& baseline() {
    return baseline_set;
}

const Set& chosen() {
    static const Set& set = []() -> const Set& {
        const char* wanted = std::getenv("TARNWICK_KERNELS");
        const Set* fast = avx2();
        return fast && !(wanted && std::strcmp(wanted, "baseline") == 0) ? *fast : baseline_set;
    }();
    return set;
}

} // namespace tarnwick::kernels
