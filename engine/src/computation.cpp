#include "computation.h"

#include "tarnwick_contract.h"
#include "work_split.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

using tarnwick::round_half_even;

// Quotients from 2^63 on do not convert to a 64-bit integer.
constexpr long double int64_limit = 9223372036854775808.0L;

// The sign of a, with a = 0 counted as positive: such a pixel then gets the code of the
// direction (b, 0) like its neighbours on either side, where a sign of 0 would give it
// 128, the code of the opposite direction.
int sign_of_a(int a) {
    return a < 0 ? -1 : 1;
}

} // namespace

Clamped clamp_settings(const Settings& s) {
    Clamped c{s.lower, s.upper, s.angle_low, s.angle_high, s.dark, s.angle_limit};
    // Each line sees the results of the lines before it.
    if (c.lower > 0.95L) c.lower = 0.95f;
    if (c.lower < 0) c.lower = 0;
    if (c.upper < 0) c.upper = 0.05f;
    if (c.upper <= c.lower) c.upper = static_cast<float>(c.lower + 0.05L);
    if (c.upper > 1) c.upper = 1;
    c.lower = static_cast<float>(static_cast<long double>(c.lower) / c.upper);
    if (c.angle_low > 179) c.angle_low = 179;
    if (c.angle_low < 0) c.angle_low = 0;
    if (c.angle_high < 0) c.angle_high = 1;
    if (c.angle_high <= c.angle_low) c.angle_high = static_cast<float>(c.angle_low + 1.0L);
    if (c.angle_high > 180) c.angle_high = 180;
    if (c.dark > 0.95L) c.dark = 0.95f;
    if (c.dark < 0) c.dark = 0;
    if (c.angle_limit > 0.95L) c.angle_limit = 0.95f;
    if (c.angle_limit < 0) c.angle_limit = 0;
    return c;
}

int retardation_exact(float r, int mean, float upper_scaled) {
    long double q = 65025.0L * r;
    q = q / mean;
    q = q / upper_scaled;
    if (!(q < int64_limit)) return -1;
    return static_cast<int>(std::min(round_half_even(q), 255.0L));
}

Computation::Computation(const Settings& s) : c_(clamp_settings(s)) {
    upper_scaled_ = static_cast<float>(255.0L * c_.upper);
    lower_scaled_ = static_cast<float>(255.0L * c_.lower);
    dark_scaled_ = static_cast<float>(255.0L * c_.dark);
    limit_scaled_ = static_cast<float>(255.0L * c_.angle_limit);
    // The largest quotient, r = sqrt(32258) over a mean of 1, must stay far from 2^63.
    may_overflow_ = 65025.0L * std::sqrt(32258.0L) / upper_scaled_ >= int64_limit / 4;

    for (int i = 0; i <= 200; ++i) {
        const long double x = (i - 100) / 100.0L;
        arccos_table_[i] = static_cast<float>(41 * std::atan2(std::sqrt(1 - x * x), x));
    }
    for (int j = 0; j <= 200; ++j) {
        for (int positive = 0; positive < 2; ++positive) {
            const long double v = round_half_even(
                128 - (positive ? 1 : -1) * static_cast<long double>(arccos_table_[j]));
            angle_by_j_[static_cast<size_t>(positive * 201 + j)] =
                static_cast<uint8_t>(static_cast<int64_t>(v) & 0xff);
        }
    }
    angle_by_j_[kernels::no_angle] = 0;

    // Integer codes compare with the float thresholds as with their ceilings.
    rules_.k_scale = static_cast<float>(65025.0L / upper_scaled_);
    rules_.upper_scaled = upper_scaled_;
    rules_.min_k = static_cast<int>(std::ceil(lower_scaled_));
    rules_.min_mean = static_cast<int>(std::ceil(dark_scaled_));
    rules_.min_k_for_angle = std::max(1, static_cast<int>(std::ceil(limit_scaled_)));
    rules_.angle_by_j = angle_by_j_.data();
}

Computation::Codes Computation::pixel(int i0, int i45, int i90, int i135) const {
    Codes out{};
    int mean = (i0 + i45 + i90 + i135) / 4;
    if (mean == 0) mean = 1;
    out.mean = static_cast<uint8_t>(mean);
    const int a = (i90 - i0) / 2, b = (i135 - i45) / 2;
    const float r = static_cast<float>(std::sqrt(static_cast<long double>(a * a + b * b)));
    int k = retardation_exact(r, mean, upper_scaled_);
    if (k < 0) {
        out.overflow = true;
        return out;
    }
    if (k < lower_scaled_ || mean < dark_scaled_) k = 0;
    out.retardation = static_cast<uint8_t>(k);
    if (k == 0 || k < limit_scaled_) return out;
    const float root = r <= 0.0001L ? 0.0001f : r;
    const float t = static_cast<float>(b / static_cast<long double>(root));
    const int j = static_cast<int>(round_half_even((1 - static_cast<long double>(t)) * 100));
    const long double v =
        round_half_even(128 - sign_of_a(a) * static_cast<long double>(arccos_table_[j]));
    out.angle = static_cast<uint8_t>(static_cast<int64_t>(v) & 0xff);
    return out;
}

bool Computation::run_exact(SamplePlanes& planes, size_t begin, size_t end) const {
    uint8_t* p0 = planes.plane[0].get();
    uint8_t* p45 = planes.plane[1].get();
    uint8_t* p90 = planes.plane[2].get();
    const uint8_t* p135 = planes.plane[3].get();
    bool overflow = false;
    for (size_t i = begin; i < end; ++i) {
        const Codes c = pixel(p0[i], p45[i], p90[i], p135[i]);
        overflow |= c.overflow;
        p0[i] = c.retardation;
        p45[i] = c.angle;
        p90[i] = c.mean;
    }
    return !overflow;
}

bool Computation::run(SamplePlanes& planes) const {
    const size_t n = planes.pixels();
    // Two halves on two threads for large images; every pixel is independent.
    const int parts = work::parts_for(n, 1 << 18);
    bool fits[2] = {true, true};
    const kernels::Set& set = kernels::chosen();
    work::split(parts, [&](int p) {
        const size_t begin = p == 0 ? 0 : n / 2, end = parts == 1 || p == 1 ? n : n / 2;
        if (may_overflow_) {
            fits[p] = run_exact(planes, begin, end);
            return;
        }
        uint8_t* p0 = planes.plane[0].get();
        uint8_t* p45 = planes.plane[1].get();
        uint8_t* p90 = planes.plane[2].get();
        set.codes(p0 + begin, p45 + begin, p90 + begin, planes.plane[3].get() + begin, end - begin,
                  rules_, p0 + begin, p45 + begin, p90 + begin);
    });
    return fits[0] && fits[1];
}

} // namespace tarnwick
