// The baseline kernels, for every x86-64 processor, and the choice of the kernels a run
// uses.
#include "kernels.h"

#include "computation.h"

#include <algorithm>
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

// x >= 0 with at most 40 significant bits rounded to the nearest integer, a tie to the
// even one (x + 0.5 and n - x are exact).
int round_half_even(double x) {
    const int n = static_cast<int>(x + 0.5);
    return n - ((n - x == 0.5) & (n & 1));
}

void codes(const uint8_t* s0, const uint8_t* s45, const uint8_t* s90, const uint8_t* s135, size_t n,
           const CodeRules& rules, uint8_t* k_out, uint8_t* angle_out, uint8_t* mean_out) {
    // Written without branches that depend on the pixel, so that the processor can work
    // on several pixels at once; only the rare quotient near a half branches.
    for (size_t i = 0; i < n; ++i) {
        const int i0 = s0[i], i45 = s45[i], i90 = s90[i], i135 = s135[i];
        int mean = (i0 + i45 + i90 + i135) >> 2;
        mean += mean == 0;
        const int a = (i90 - i0) / 2, b = (i135 - i45) / 2;
        const int sum = a * a + b * b;
        const float r = std::sqrt(static_cast<float>(sum));
        const float quotient = r * rules.k_scale / static_cast<float>(mean);
        const float q = quotient < 300.0f ? quotient : 300.0f;
        const float fraction = q - static_cast<float>(static_cast<int>(q));
        int k = std::min(static_cast<int>(q + 0.5f), 255);
        if (std::fabs(fraction - 0.5f) < near_half) [[unlikely]]
            k = exact_code(sum, mean, rules);
        k = k < rules.min_k || mean < rules.min_mean ? 0 : k;
        // t = b / r, exact in single precision; (1 - t) 100 is exact in double
        const float t = static_cast<float>(b) / std::max(r, 0.0001f);
        const int j = round_half_even((1.0 - static_cast<double>(t)) * 100.0);
        const int row = a >= 0 ? 201 : 0;
        k_out[i] = static_cast<uint8_t>(k);
        angle_out[i] = rules.angle_by_j[k < rules.min_k_for_angle ? no_angle : row + j];
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
