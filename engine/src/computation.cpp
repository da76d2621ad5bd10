#include "computation.h"

#include "tarnwick_contract.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace tarnwick {

namespace {

using tarnwick::round_half_even;

// Quotients from 2^63 on do not convert to a 64-bit integer.
constexpr long double int64_limit = 9223372036854775808.0L;

int sign_of_a(int a) {
    return a < 0 ? -1 : 1;
} // a = 0 counts as positive, see angle_code

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

Computation::Computation(const Settings& s) : c_(clamp_settings(s)) {
    upper_scaled_ = static_cast<float>(255.0L * c_.upper);
    lower_scaled_ = static_cast<float>(255.0L * c_.lower);
    dark_scaled_ = static_cast<float>(255.0L * c_.dark);
    limit_scaled_ = static_cast<float>(255.0L * c_.angle_limit);
    // Integer codes compare with the float thresholds as with their ceilings.
    min_k_ = static_cast<int>(std::ceil(lower_scaled_));
    min_mean_ = static_cast<int>(std::ceil(dark_scaled_));
    min_k_for_angle_ = std::max(1, static_cast<int>(std::ceil(limit_scaled_)));

    for (int i = 0; i <= 33000; ++i)
        sqrt_table_[i] = static_cast<float>(std::sqrt(static_cast<long double>(i)));
    for (int i = 0; i <= 200; ++i) {
        const long double x = (i - 100) / 100.0L;
        arccos_table_[i] = static_cast<float>(41 * std::atan2(std::sqrt(1 - x * x), x));
    }
    build_k_table();

    // The angle code depends on a and b alone. The sign of a = 0 is taken as +1: such a
    // pixel then gets the code of the direction (b, 0) like its neighbours on either side,
    // where a sign of 0 would give it 128, the code of the opposite direction.
    for (int a = -127; a <= 127; ++a) {
        for (int b = -127; b <= 127; ++b) {
            float r = sqrt_table_[a * a + b * b];
            if (r <= 0.0001L) r = 0.0001f;
            const float t = static_cast<float>(b / static_cast<long double>(r));
            const int j =
                static_cast<int>(round_half_even((1 - static_cast<long double>(t)) * 100));
            const long double v =
                round_half_even(128 - sign_of_a(a) * static_cast<long double>(arccos_table_[j]));
            angle_code_[(a + 127) * 255 + b + 127] =
                static_cast<uint8_t>(static_cast<int64_t>(v) & 0xff);
        }
    }
}

// k = 65025 r / mean / U', rounded and limited to 255, as one chain in extended
// precision; -1 when the quotient does not fit a 64-bit integer.
int Computation::retardation_exact(float r, int mean) const {
    long double q = 65025.0L * r;
    q = q / mean;
    q = q / upper_scaled_;
    if (!(q < int64_limit)) return -1;
    return static_cast<int>(std::min(round_half_even(q), 255.0L));
}

void Computation::build_k_table() {
    // The largest quotient, r = sqrt(32258) over a mean of 1, must stay far from 2^63;
    // only a colour maximum below about 1e-14 breaks this, and such a run uses the exact
    // chain per pixel and ends at the first pixel with r > 0.
    if (65025.0L * sqrt_table_[32258] / upper_scaled_ >= int64_limit / 4) return;
    k_table_.reset(new uint8_t[256 * k_row]);
    std::fill_n(k_table_.get(), k_row, uint8_t{0}); // mean 0 never occurs
    for (int m = 1; m < 256; ++m) {
        uint8_t* row = k_table_.get() + m * k_row;
        if (m < min_mean_) {
            std::fill_n(row, k_row, uint8_t{0});
            continue;
        }
        // k grows with n, so the row is 255 runs of equal codes; find where each code j
        // begins from the real-valued estimate and settle it with the exact chain.
        auto k_at = [&](int n) { return retardation_exact(sqrt_table_[n], m); };
        const double per_root = 65025.0 / m / upper_scaled_;
        int begin = 0;
        for (int j = 1; j <= 256; ++j) {
            int n = k_row;
            if (j <= 255) {
                const double root = (j - 0.5) / per_root;
                n = static_cast<int>(std::clamp(std::ceil(root * root), 0.0, double(k_row)));
                while (n > begin && k_at(n - 1) >= j) --n;
                while (n < k_row && k_at(n) < j) ++n;
            }
            const int code = j - 1 < min_k_ ? 0 : j - 1;
            std::fill(row + begin, row + n, static_cast<uint8_t>(code));
            begin = std::max(begin, n);
        }
    }
}

Computation::Codes Computation::pixel(int i0, int i45, int i90, int i135) const {
    Codes out{};
    int mean = (i0 + i45 + i90 + i135) / 4;
    if (mean == 0) mean = 1;
    out.mean = static_cast<uint8_t>(mean);
    const int a = (i90 - i0) / 2, b = (i135 - i45) / 2;
    const float r = sqrt_table_[a * a + b * b];
    int k = retardation_exact(r, mean);
    if (k < 0) {
        out.overflow = true;
        return out;
    }
    if (k < lower_scaled_ || mean < dark_scaled_) k = 0;
    out.retardation = static_cast<uint8_t>(k);
    out.angle = k == 0 || k < limit_scaled_ ? 0 : angle_code_[(a + 127) * 255 + b + 127];
    return out;
}

void Computation::run_rows(SamplePlanes& planes, size_t begin, size_t end, bool& overflow) const {
    uint8_t* p0 = planes.plane[0].get();
    uint8_t* p45 = planes.plane[1].get();
    uint8_t* p90 = planes.plane[2].get();
    const uint8_t* p135 = planes.plane[3].get();
    const uint8_t* k_table = k_table_.get();
    const uint8_t* angles = angle_code_.data();
    bool over = false;
    for (size_t i = begin; i < end; ++i) {
        const int s0 = p0[i], s45 = p45[i], s90 = p90[i], s135 = p135[i];
        int mean = (s0 + s45 + s90 + s135) >> 2;
        mean += mean == 0;
        const int a = (s90 - s0) / 2, b = (s135 - s45) / 2;
        int k;
        if (k_table) [[likely]] {
            k = k_table[mean * k_row + a * a + b * b];
        } else {
            k = retardation_exact(sqrt_table_[a * a + b * b], mean);
            over |= k < 0;
            k = k < min_k_ || mean < min_mean_ ? 0 : std::max(k, 0);
        }
        p0[i] = static_cast<uint8_t>(k);
        p45[i] = k < min_k_for_angle_ ? 0 : angles[(a + 127) * 255 + b + 127];
        p90[i] = static_cast<uint8_t>(mean);
    }
    overflow = over;
}

int Computation::retardation_code(int n, int mean) const {
    if (k_table_) return k_table_[mean * k_row + n];
    const int k = retardation_exact(sqrt_table_[n], mean);
    return k < lower_scaled_ || mean < dark_scaled_ ? 0 : std::max(k, 0);
}

bool Computation::run(SamplePlanes& planes) const {
    const size_t n = planes.pixels();
    // Two halves on two threads for large images; every pixel is independent.
    constexpr size_t parallel_from = 1 << 18;
    bool overflow[2] = {false, false};
    if (n < parallel_from || std::thread::hardware_concurrency() < 2) {
        run_rows(planes, 0, n, overflow[0]);
    } else {
        const size_t half = n / 2;
        std::thread second([&] { run_rows(planes, half, n, overflow[1]); });
        run_rows(planes, 0, half, overflow[0]);
        second.join();
    }
    return !overflow[0] && !overflow[1];
}

} // namespace tarnwick
