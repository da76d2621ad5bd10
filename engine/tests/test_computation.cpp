#include "computation.h"
#include "kernels.h"
#include "options.h"
#include "palette.h"
#include "result_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

using tarnwick::Computation;
using tarnwick::parse_options;
using tarnwick::Settings;

namespace {

Settings settings_of(const char* options) {
    const tarnwick::ParsedOptions p = parse_options(options);
    EXPECT_FALSE(p.error) << options;
    return p.settings;
}

struct Samples {
    int i0, i45, i90, i135;
};
struct Expected {
    int mean, k, angle;
};

void expect_codes(const Computation& c, Samples s, Expected e, const char* what) {
    const Computation::Codes got = c.pixel(s.i0, s.i45, s.i90, s.i135);
    EXPECT_EQ(got.mean, e.mean) << what << " (" << s.i0 << "," << s.i45 << "," << s.i90 << ","
                                << s.i135 << ")";
    EXPECT_EQ(got.retardation, e.k)
        << what << " (" << s.i0 << "," << s.i45 << "," << s.i90 << "," << s.i135 << ")";
    EXPECT_EQ(got.angle, e.angle) << what << " (" << s.i0 << "," << s.i45 << "," << s.i90 << ","
                                  << s.i135 << ")";
}

} // namespace

TEST(Computation, PixelCodesWithDefaults) {
    const Computation c(settings_of(""));
    const struct {
        Samples s;
        Expected e;
    } cases[] = {
        {{100, 150, 200, 150}, {150, 85, 64}},
        {{200, 150, 100, 150}, {150, 85, 192}},
        // a = 0, b > 0: the direction (b, 0) sits at the wrap of the codes, 255 like the
        // neighbours just beside it, not 128 (the opposite direction)
        {{150, 100, 150, 200}, {150, 85, 255}},
        {{150, 200, 150, 100}, {150, 85, 128}},
        {{10, 200, 250, 60}, {130, 255, 85}},
        {{255, 255, 0, 0}, {127, 255, 160}},
        {{100, 100, 100, 100}, {100, 0, 0}},
        {{0, 0, 0, 0}, {1, 0, 0}},
        {{0, 0, 0, 3}, {1, 255, 255}},
        // a = -1 (truncated toward zero from -1.5) and b = 1: neighbours of the a = 0 line
        {{151, 100, 148, 103}, {125, 3, 225}},
    };
    for (const auto& t : cases) expect_codes(c, t.s, t.e, "defaults");
    // the neighbours of the a = 0, b > 0 line lie on both sides of the wrap: 254..255 and 0..1
    EXPECT_GE(c.pixel(100, 100, 102, 200).angle, 250); // a = 1
    EXPECT_LE(c.pixel(102, 100, 100, 200).angle, 2);   // a = -1
}

TEST(Computation, OptionEffects) {
    const struct {
        const char* options;
        Samples s;
        Expected e;
    } cases[] = {
        // dark level 0.5: d' = 127.5
        {"-d 0.5", {127, 100, 127, 154}, {127, 0, 0}},
        {"-d 0.5", {128, 101, 128, 155}, {128, 54, 255}},
        // angle limit 0.1: s' = 25.5; k = 25 loses its angle, k = 26 keeps it
        {"-s 0.1", {46, 51, 56, 51}, {51, 25, 0}},
        {"-s 0.1", {53, 59, 65, 59}, {59, 26, 64}},
        // -L 0.5 -U 0.3: U becomes 0.55, L' = 231.8; k = 185 is suppressed
        {"-L 0.5 -U 0.3", {100, 100, 200, 100}, {125, 0, 0}},
        {"-L 0.5 -U 0.3", {60, 100, 200, 100}, {115, 255, 64}},
        // -U 2 becomes 1; -U 0.5 doubles k
        {"-U 2", {100, 150, 200, 150}, {150, 85, 64}},
        {"-U 0.5", {100, 150, 200, 150}, {150, 170, 64}},
    };
    for (const auto& t : cases)
        expect_codes(Computation(settings_of(t.options)), t.s, t.e, t.options);

    EXPECT_FLOAT_EQ(Computation(settings_of("-s 0.1")).limit_scaled(), 25.5f);
    EXPECT_FLOAT_EQ(Computation(settings_of("-d 0.5")).dark_scaled(), 127.5f);
    EXPECT_NEAR(Computation(settings_of("-L 0.5 -U 0.3")).lower_scaled(), 231.818f,
                1e-3); // 255 * 0.5 / 0.55
}

TEST(Computation, ClampingOrder) {
    const struct {
        const char* options;
        float lower, upper, low, high, dark, limit;
    } cases[] = {
        {"", 0, 1, 0, 180, 0, 0},
        {"-L 0.5 -U 0.3", 0.5f / 0.55f, 0.55f, 0, 180, 0, 0},
        {"-L 2 -U -1", 0.95f / 1.0f, 1, 0, 180, 0, 0},
        {"-U -1", 0, 0.05f, 0, 180, 0, 0},
        {"-U 0", 0, 0.05f, 0, 180, 0, 0},
        {"-u -5", 0, 1, 0, 1, 0, 0},
        {"-l 200 -u 100", 0, 1, 179, 180, 0, 0},
        {"-l -3 -u 500", 0, 1, 0, 180, 0, 0},
        {"-l 30 -u 20", 0, 1, 30, 31, 0, 0},
        {"-d 1.2 -s -1", 0, 1, 0, 180, 0.95f, 0},
        {"-d -1 -s 7", 0, 1, 0, 180, 0, 0.95f},
        {"-U 1e-20", 0, 1e-20f, 0, 180, 0, 0},
    };
    for (const auto& t : cases) {
        const tarnwick::Clamped c = tarnwick::clamp_settings(settings_of(t.options));
        SCOPED_TRACE(t.options);
        EXPECT_FLOAT_EQ(c.lower, t.lower);
        EXPECT_FLOAT_EQ(c.upper, t.upper);
        EXPECT_FLOAT_EQ(c.angle_low, t.low);
        EXPECT_FLOAT_EQ(c.angle_high, t.high);
        EXPECT_FLOAT_EQ(c.dark, t.dark);
        EXPECT_FLOAT_EQ(c.angle_limit, t.limit);
    }
    EXPECT_FLOAT_EQ(Computation(settings_of("-d 1.2")).dark_scaled(), 242.25f);
}

TEST(Computation, ArccosTable) {
    const Computation c(settings_of(""));
    EXPECT_NEAR(c.arccos_entry(0), 128.8053f, 1e-4);
    EXPECT_NEAR(c.arccos_entry(100), 64.4026f, 1e-4);
    EXPECT_EQ(c.arccos_entry(200), 0.0f);
}

namespace {

// The kernel sets this processor can run: the baseline always, AVX2 where it has it.
std::vector<const tarnwick::kernels::Set*> kernel_sets() {
    std::vector<const tarnwick::kernels::Set*> sets{&tarnwick::kernels::baseline()};
    if (const tarnwick::kernels::Set* fast = tarnwick::kernels::avx2()) sets.push_back(fast);
    return sets;
}

// Sample quadruples of every kind the codes tell apart: every sum a^2 + b^2 of the
// halves at every mean it can have (the retardation code depends on these two), and
// every pair of halves (a, b) at its lowest, middle and highest mean (the angle code
// depends on the pair), with even differences and with odd ones, which truncate toward
// zero.
void every_pixel_kind(std::vector<uint8_t> (&planes)[4]) {
    auto add = [&](int a, int b, int odd, int step) {
        const int d = 2 * a + (a < 0 ? -odd : odd), e = 2 * b + (b < 0 ? -odd : odd);
        if (d < -255 || d > 255 || e < -255 || e > 255) return;
        const int lo0 = std::max(0, -d), hi0 = std::min(255, 255 - d);
        const int lo45 = std::max(0, -e), hi45 = std::min(255, 255 - e);
        const int lowest = lo0 + lo45, highest = hi0 + hi45;
        for (int sum = lowest; sum <= highest;
             sum += step ? step : std::max(1, (highest - lowest) / 2)) {
            const int s0 = std::min(hi0, sum - lo45), s45 = sum - s0;
            for (int i = 0; i < 4; ++i)
                planes[i].push_back(static_cast<uint8_t>(i == 0   ? s0
                                                         : i == 1 ? s45
                                                         : i == 2 ? s0 + d
                                                                  : s45 + e));
        }
    };
    std::vector<bool> seen(2 * 127 * 127 + 1);
    for (int a = 0; a <= 127; ++a)
        for (int b = 0; b <= a; ++b)
            if (!seen[a * a + b * b]) {
                seen[a * a + b * b] = true;
                add(a, b, 0, 2); // one mean after the other
            }
    for (int a = -127; a <= 127; ++a)
        for (int b = -127; b <= 127; ++b)
            for (int odd = 0; odd < 2; ++odd) add(a, b, odd, 0);
}

} // namespace

// Every kernel set gives the codes of the step-by-step definition for every pair of
// halves at every mean: the single-precision estimate of the retardation quotient with
// the exact chain near halves, and the angle from single and double precision.
TEST(Kernels, CodesOfEveryPixelKind) {
    std::vector<uint8_t> in[4];
    every_pixel_kind(in);
    const size_t n = in[0].size();
    for (const char* options :
         {"", "-U 0.5", "-U 0.15", "-U 0.05 -L 0.02", "-L 0.3 -d 0.2 -U 0.85 -s 0.1", "-U 1e-12"}) {
        const Computation c(settings_of(options));
        ASSERT_FALSE(c.may_overflow()) << options;
        std::vector<Computation::Codes> expected(n);
        for (size_t i = 0; i < n; ++i)
            expected[i] = c.pixel(in[0][i], in[1][i], in[2][i], in[3][i]);
        for (const tarnwick::kernels::Set* set : kernel_sets()) {
            std::vector<uint8_t> k(n), angle(n), mean(n);
            set->codes(in[0].data(), in[1].data(), in[2].data(), in[3].data(), n, c.rules(),
                       k.data(), angle.data(), mean.data());
            long wrong = 0;
            for (size_t i = 0; i < n; ++i)
                wrong += k[i] != expected[i].retardation || angle[i] != expected[i].angle ||
                         mean[i] != expected[i].mean;
            EXPECT_EQ(wrong, 0) << set->name << " " << options << " of " << n;
        }
    }
}

// Sampling of 24- and 32-bit rows, every channel, with and without squaring, in rows
// whose length leaves a remainder after the vector steps.
TEST(Kernels, Sampling) {
    std::mt19937 rng(3);
    for (const int32_t width : {1, 7, 11, 12, 19, 1000}) {
        std::vector<uint8_t> row(4 * static_cast<size_t>(width) + 1);
        for (uint8_t& v : row) v = static_cast<uint8_t>(rng());
        if (width == 1000) // every sum of three channels, and every channel value
            for (int x = 0; x < 766 && x < width; ++x)
                for (int c = 0; c < 3; ++c) row[4 * x + c] = static_cast<uint8_t>((x + c) / 3);
        for (const int bytes : {3, 4})
            for (const int channel : {-1, 0, 1, 2})
                for (const bool squaring : {false, true}) {
                    std::vector<uint8_t> expected(static_cast<size_t>(width));
                    for (int32_t x = 0; x < width; ++x) {
                        const uint8_t* p = row.data() + bytes * x;
                        const int v = channel < 0 ? (p[0] + p[1] + p[2]) / 3 : p[channel];
                        expected[x] = static_cast<uint8_t>(
                            squaring ? tarnwick::round_half_even(v * v / 255.0L) : v);
                    }
                    for (const tarnwick::kernels::Set* set : kernel_sets()) {
                        std::vector<uint8_t> got(static_cast<size_t>(width));
                        set->sample(row.data(), width, {bytes, channel, squaring}, got.data());
                        EXPECT_EQ(got, expected)
                            << set->name << " width " << width << " bytes " << bytes << " channel "
                            << channel << (squaring ? " squared" : "");
                    }
                }
    }
}

TEST(Kernels, Colouring) {
    std::array<uint32_t, 256> map;
    for (int i = 0; i < 256; ++i) map[i] = static_cast<uint32_t>(i * 2654435761u) & 0xffffff;
    std::vector<uint8_t> codes(37);
    for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint8_t>(255 - 7 * i);
    for (const tarnwick::kernels::Set* set : kernel_sets()) {
        std::vector<uint8_t> bgrx(4 * codes.size());
        set->colour(codes.data(), codes.size(), map.data(), bgrx.data());
        for (size_t i = 0; i < codes.size(); ++i) {
            uint32_t px;
            std::memcpy(&px, bgrx.data() + 4 * i, 4);
            EXPECT_EQ(px, map[codes[i]]) << set->name << " " << i;
        }
    }
}

TEST(Computation, PlanesMatchPixelByPixel) {
    std::mt19937 rng(7);
    for (const char* options : {"", "-U 0.05 -d 0.2 -s 0.3", "-L 0.2 -U 0.6", "-U 0.15 -s 0.9"}) {
        const Computation c(settings_of(options));
        tarnwick::SamplePlanes planes;
        planes.width = 700;
        planes.height = 500; // large enough for the two-thread path
        for (auto& p : planes.plane) p.reset(new uint8_t[planes.pixels()]);
        for (size_t i = 0; i < planes.pixels(); ++i) {
            // half random, half from a few levels that make many exact ties
            static const uint8_t levels[] = {0, 50, 100, 110, 150, 180, 200, 255};
            for (auto& p : planes.plane)
                p[i] = i % 2 ? levels[rng() % 8] : static_cast<uint8_t>(rng());
        }
        std::vector<Computation::Codes> expected(planes.pixels());
        for (size_t i = 0; i < planes.pixels(); ++i)
            expected[i] = c.pixel(planes.plane[0][i], planes.plane[1][i], planes.plane[2][i],
                                  planes.plane[3][i]);
        ASSERT_TRUE(c.run(planes));
        long wrong = 0;
        for (size_t i = 0; i < planes.pixels(); ++i)
            wrong += planes.plane[0][i] != expected[i].retardation ||
                     planes.plane[1][i] != expected[i].angle ||
                     planes.plane[2][i] != expected[i].mean;
        EXPECT_EQ(wrong, 0) << options;
    }
}

TEST(Computation, TinyColourMaximumOverflows) {
    const Computation c(settings_of("-U 1e-20"));
    EXPECT_TRUE(c.pixel(100, 100, 102, 100).overflow);
    EXPECT_FALSE(c.pixel(100, 100, 100, 100).overflow); // r = 0 never overflows
}

TEST(Palette, SpotValues) {
    const auto& p = palette::false_colour();
    const struct {
        int i, green, blue;
    } spots[] = {{64, 128, 209}, {85, 191, -1}, {128, 255, 151}, {200, 100, -1},
                 {255, 0, 249},  {10, -1, 24},  {50, 85, 255},   {100, -1, 0}};
    for (const auto& s : spots) {
        EXPECT_EQ(p[s.i].red, s.i);
        if (s.green >= 0) {
            EXPECT_EQ(p[s.i].green, s.green) << s.i;
        }
        if (s.blue >= 0) {
            EXPECT_EQ(p[s.i].blue, s.blue) << s.i;
        }
    }
    for (int i : {0, palette::no_value}) {
        EXPECT_EQ(p[i].red, 0);
        EXPECT_EQ(p[i].green, 0);
        EXPECT_EQ(p[i].blue, 0);
    }
}

TEST(ResultColours, StretchAndMaps) {
    const auto e = tarnwick::angle_stretch(30, 150);
    for (int n = 1; n <= 42; ++n) EXPECT_EQ(e[n], 0) << n;
    EXPECT_EQ(e[43], 1);
    EXPECT_EQ(e[128], 128);
    for (int n = 213; n <= 255; ++n) EXPECT_EQ(e[n], 255) << n;
    const auto identity = tarnwick::angle_stretch(0, 180);
    for (int n = 0; n < 256; ++n) EXPECT_EQ(identity[n], n);

    const tarnwick::ColourMaps maps(tarnwick::clamp_settings(Settings{}));
    EXPECT_EQ(maps.retardation[255], 0xff00f9u);
    EXPECT_EQ(maps.retardation[128], 0x80ff97u);
    EXPECT_EQ(maps.retardation[50], 0x3255ffu);
    EXPECT_EQ(maps.retardation[0], 0u);
    EXPECT_EQ(maps.angle[64], 0x4080d1u);
    EXPECT_EQ(maps.angle[0], 0u);
    EXPECT_EQ(maps.mean[1], 0x010101u);
}
