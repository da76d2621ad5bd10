// The virtual microscope against an independent calculation: the intensities of its
// integrated frames are what the Mueller calculus predicts for its light, sample,
// polarizer and illumination, within the camera noise. And its stage follows motor 1.
#include "capture/virtual_camera.h"
#include "entry/command_line.h"
#include "logic/frame_sums.h"
#include "sim/microscope.h"
#include "stepper/simulated_stepper.h"
#include "ui/wait.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <future>
#include <numbers>

namespace {

using Stokes = std::array<double, 4>;
using Mueller = std::array<std::array<double, 4>, 4>;

double rad(double degrees) {
    return degrees * std::numbers::pi / 180;
}

Stokes times(const Mueller& m, const Stokes& s) {
    Stokes out{};
    for (size_t i = 0; i < 4; ++i)
        for (size_t j = 0; j < 4; ++j) out[i] += m[i][j] * s[j];
    return out;
}

// A linear retarder with its fast axis at `fast` degrees, retardation d, in the convention
// where S3 > 0 is light turning counter-clockwise on the screen.
Mueller retarder(double fast, double d) {
    const double c = std::cos(2 * rad(fast)), s = std::sin(2 * rad(fast));
    return {{{1, 0, 0, 0},
             {0, c * c + s * s * std::cos(d), c * s * (1 - std::cos(d)), s * std::sin(d)},
             {0, c * s * (1 - std::cos(d)), s * s + c * c * std::cos(d), -c * std::sin(d)},
             {0, -s * std::sin(d), c * std::sin(d), std::cos(d)}}};
}

// The grey level the camera should see without noise: the lamp's light (linearly polarized
// to the degree 0.04 at 30 degrees, the rest circular, counter-clockwise), a sample of
// transmission T with |sin(d)| and slow axis, the polarizer at t, illumination
// 1 - 0.4 r^2 (r from the centre, 1 at the corners), `grey` levels per unit intensity.
double expected(double transmission, double sin_d, double slow_axis, double t, int x, int y, int w,
                int h, double grey) {
    const double p = 0.04;
    const Stokes lamp{1, p * std::cos(rad(60)), p * std::sin(rad(60)), std::sqrt(1 - p * p)};
    const Stokes s = times(retarder(slow_axis + 90, std::asin(sin_d)), lamp);
    const double through =
        transmission * (s[0] + s[1] * std::cos(2 * rad(t)) + s[2] * std::sin(2 * rad(t))) / 2;
    const double dx = x + 0.5 - w / 2.0, dy = y + 0.5 - h / 2.0;
    const double light = 1 - 0.4 * (dx * dx + dy * dy) / ((w * w + h * h) / 4.0);
    return grey * light * through;
}

// The mean red level of the 5 x 5 pixels around (x, y).
double patch(const QImage& image, int x, int y) {
    double sum = 0;
    for (int v = y - 2; v <= y + 2; ++v)
        for (int u = x - 2; u <= x + 2; ++u) sum += qRed(image.pixel(u, v));
    return sum / 25;
}

} // namespace

// The empty field (centre about half the lamp's full light, corners 60% of it) and the
// target's field and discs, each integrated over 11 frames at the polarizer's four angles,
// at the start's exposure and gain and at another pair: 0.04 grey levels per microsecond
// of exposure, times the gain.
TEST(VirtualMicroscope, IntegratedIntensitiesAtTheFourAngles) {
    const int w = 640, h = 480;
    sim::Microscope scope;
    sim::Noise noise(3);
    struct Spot {
        const char* what;
        int x, y;
        double transmission, sin_d, slow_axis;
    };
    const struct {
        const char* sample;
        std::vector<Spot> spots;
    } samples[] = {
        {"empty", {{"centre", w / 2, h / 2, 1, 0, 0}, {"corner", 2, h - 3, 1, 0, 0}}},
        {"target",
         {{"field", w / 2, h / 2, 0.9, 0, 0},
          {"disc 0.2 at 0", w / 4, int(0.30 * h), 0.7, 0.2, 0},
          {"disc 0.4 at 45", 3 * w / 4, int(0.30 * h), 0.7, 0.4, 45},
          {"disc 0.6 at 90", w / 4, int(0.72 * h), 0.7, 0.6, 90},
          {"disc 0.8 at 135", 3 * w / 4, int(0.72 * h), 0.7, 0.8, 135}}},
    };
    const struct {
        double exposure_us, gain_db, grey;
    } cameras[] = {{6000, 0, 240}, {2000, 6, 0.04 * 2000 * std::pow(10, 6 / 20.0)}};
    for (const auto& camera : cameras) {
        if (camera.exposure_us != 6000) {
            scope.set_exposure_us(camera.exposure_us);
            scope.set_gain_db(camera.gain_db);
        }
        // the mean of 275 samples: the gain amplifies their noise too
        const double noise_allowed = 0.5 * std::pow(10, camera.gain_db / 20);
        for (const auto& sample : samples) {
            scope.set_sample(sample.sample);
            for (int angle : {0, 45, 90, 135}) {
                scope.stage().set_shaft_steps(angle / 360.0 * 200); // 200 steps a turn, clockwise
                frames::Accumulator sums;
                sums.store(scope.frame(w, h, noise));
                for (int i = 0; i < 10; ++i) sums.add(scope.frame(w, h, noise));
                const QImage mean = sums.mean(11);
                for (const Spot& s : sample.spots) {
                    double want = 0;
                    for (int v = s.y - 2; v <= s.y + 2; ++v)
                        for (int u = s.x - 2; u <= s.x + 2; ++u)
                            want += expected(s.transmission, s.sin_d, s.slow_axis, -angle, u, v, w,
                                             h, camera.grey) /
                                    25;
                    EXPECT_NEAR(patch(mean, s.x, s.y), want, noise_allowed)
                        << sample.sample << ", " << s.what << ", " << angle << ", "
                        << camera.exposure_us << " us";
                }
            }
        }
    }
    scope.set_sample("empty");
    scope.stage().set_shaft_steps(0);
    const double centre = scope.level(w / 2, h / 2, w, h, 0)[0];
    EXPECT_NEAR(centre, cameras[1].grey / 2, 5);
    EXPECT_NEAR(scope.level(0, 0, w, h, 0)[0] / centre, 0.6, 0.01);
    EXPECT_THROW(scope.set_sample("marble"), std::invalid_argument);
    scope.set_exposure_us(1);
    scope.set_gain_db(99);
    EXPECT_EQ(scope.exposure_us(), sim::Microscope::min_exposure_us);
    EXPECT_EQ(scope.gain_db(), sim::Microscope::max_gain_db);
}

// A sample on the rotating stage: its discs stand turned about the field's centre
// (counter-clockwise on the screen), their slow axes turned with them, the lamp's light
// as it was; the Mueller calculus's grey levels there. Not turned, it is the slide itself.
TEST(VirtualMicroscope, TurnedSampleTurnsItsPlacesAndAxes) {
    const int w = 640, h = 480;
    sim::Microscope scope;
    const double grey = 240;
    for (double turn : {0.0, 30.0, 100.0, 181.0}) {
        scope.set_sample_rotation(turn);
        EXPECT_EQ(scope.sample_rotation(), turn);
        const double t = rad(turn);
        for (int i = 0; i < 4; ++i) {
            const double dx = (i % 2 ? 0.75 : 0.25) * w - w / 2.0;
            const double up = h / 2.0 - (i < 2 ? 0.30 : 0.72) * h;
            const int x = int(std::lround(w / 2.0 + std::cos(t) * dx - std::sin(t) * up));
            const int y = int(std::lround(h / 2.0 - (std::sin(t) * dx + std::cos(t) * up)));
            for (int angle : {0, 45, 90, 135})
                EXPECT_NEAR(scope.level(x, y, w, h, -angle)[0],
                            expected(0.7, 0.2 * (i + 1), 45 * i + turn, -angle, x, y, w, h, grey),
                            1e-6)
                    << turn << ", disc " << i << ", " << angle;
        }
    }
}

// At the start's exposure and gain no sample clips at any angle of the polarizer; at 10 ms
// the wedge and the grains do.
TEST(VirtualMicroscope, NoSampleClipsAtTheStart) {
    sim::Microscope scope;
    sim::Noise noise(5);
    auto clipped = [&](const std::string& sample) {
        scope.set_sample(sample);
        long count = 0;
        for (double steps = 0; steps < 100; steps += 12.5) { // 0 to 157.5 degrees
            scope.stage().set_shaft_steps(steps);
            const QImage f = scope.frame(320, 240, noise);
            for (int y = 0; y < f.height(); ++y)
                for (int x = 0; x < f.width(); ++x) {
                    const QRgb p = f.pixel(x, y);
                    count += qRed(p) == 255 || qGreen(p) == 255 || qBlue(p) == 255;
                }
        }
        return count;
    };
    for (const sim::SampleInfo& sample : sim::samples())
        EXPECT_EQ(clipped(sample.name), 0) << sample.name;
    scope.set_exposure_us(10000);
    for (const char* sample : {"wedge", "grains"}) EXPECT_GT(clipped(sample), 1000) << sample;
}

// The camera's noise: about 2 grey levels per sample at 0 dB, amplified by the gain like
// the signal, independent from frame to frame.
TEST(VirtualMicroscope, CameraNoise) {
    sim::Microscope scope;
    scope.set_sample("empty");
    sim::Noise noise(11);
    for (double gain_db : {0.0, 12.0}) {
        scope.set_gain_db(gain_db);
        scope.set_exposure_us(gain_db > 0 ? 1000 : 6000); // about 80 and 120 in the middle
        const QImage a = scope.frame(320, 240, noise), b = scope.frame(320, 240, noise);
        double sum = 0, sum2 = 0, product = 0;
        int n = 0;
        for (int y = 100; y < 140; ++y)
            for (int x = 140; x < 180; ++x, ++n) {
                const double da = qGreen(a.pixel(x, y)) - scope.level(x, y, 320, 240, 0)[1];
                const double db = qGreen(b.pixel(x, y)) - scope.level(x, y, 320, 240, 0)[1];
                sum += da;
                sum2 += da * da;
                product += da * db;
            }
        const double sigma = std::sqrt(sum2 / n - (sum / n) * (sum / n));
        const double want = 2 * std::pow(10, gain_db / 20);
        EXPECT_NEAR(sigma, want, 0.13 * want) << gain_db << " dB";
        EXPECT_LT(std::fabs(product / n), 0.13 * want * want) << gain_db << " dB";
    }
}

// The faults a test can switch on. Backlash: the polarizer lags half the play behind a
// forward turn, leads by as much after a turn back, and stays put while the shaft takes up
// the play. Lamp drift: every grey level scales with the lamp. Sample motion: the sample,
// and not the illumination, slides along x, also by a fraction of a pixel.
TEST(VirtualMicroscope, InstrumentFaults) {
    sim::Microscope scope;
    scope.set_faults({.backlash_degrees = 1.8}); // one step of the 200 a turn
    const struct {
        double shaft_steps, polarizer_degrees;
    } moves[] = {{25, -44.1},   {50, -89.1},    {25, -45.9}, {25.3, -45.9},
                 {25.9, -45.9}, {26.3, -46.44}, {0, -0.9}};
    for (const auto& m : moves) {
        scope.stage().set_shaft_steps(m.shaft_steps);
        EXPECT_NEAR(scope.stage().polarizer_degrees(), m.polarizer_degrees, 1e-9) << m.shaft_steps;
    }
    scope.set_faults({});
    scope.stage().set_shaft_steps(25);
    EXPECT_DOUBLE_EQ(scope.stage().polarizer_degrees(), -45);
    scope.stage().set_shaft_steps(0);

    double now = 0;
    scope.set_clock([&now] { return now; });
    const int w = 320, h = 240;
    sim::Noise noise(17);
    // the mean green level of `frames` frames at each pixel of row y
    auto row_means = [&](int y, int frames) {
        std::vector<double> sum(size_t(w), 0);
        for (int i = 0; i < frames; ++i) {
            const QImage f = scope.frame(w, h, noise);
            for (int x = 0; x < w; ++x) sum[size_t(x)] += qGreen(f.pixel(x, y)) / double(frames);
        }
        return sum;
    };
    auto frame_mean = [&] {
        double sum = 0;
        for (int y = 0; y < h; y += 4)
            for (double v : row_means(y, 1)) sum += v;
        return sum;
    };
    scope.set_faults({.lamp_drift_percent_per_s = -2});
    const double start = frame_mean();
    now = 10;
    EXPECT_NEAR(scope.lamp(), 0.8, 1e-12);
    EXPECT_NEAR(frame_mean() / start, 0.8, 0.005);
    now = 100; // a lamp drifts no further than dark
    EXPECT_EQ(scope.lamp(), 0);

    // row 72 crosses the first disc of the target, whose edges are at x = 44 and 116
    scope.set_faults({.sample_motion_px_per_s = 4.1});
    now = 2.5; // 10.25 pixels
    ASSERT_DOUBLE_EQ(scope.sample_offset_px(), 10.25);
    const std::vector<double> seen = row_means(72, 32);
    double worst = 0;
    for (int x = 30; x < 140; ++x) {
        auto unlit = [&](int u) {
            return scope.level(u, 72, w, h, 0)[1] / sim::Microscope::illumination(u, 72, w, h);
        };
        const double want = sim::Microscope::illumination(x, 72, w, h) *
                            (0.25 * unlit(x - 11) + 0.75 * unlit(x - 10));
        worst = std::max(worst, std::fabs(seen[size_t(x)] - want));
    }
    EXPECT_LT(worst, 1.5) << "grey levels off the sample 10.25 pixels to the left";
}

namespace {

// The first frame of a camera run of the virtual microscope.
QImage first_frame(const std::shared_ptr<sim::Microscope>& scope) {
    capture::VirtualCamera camera(scope, 1000);
    camera.open(QSize(64, 48));
    std::promise<QImage> frame;
    bool taken = false;
    camera.start([&](QImage f) {
        if (!std::exchange(taken, true)) frame.set_value(std::move(f));
    });
    QImage out = frame.get_future().get();
    camera.stop();
    return out;
}

} // namespace

// Every camera run has its own noise, also the first run of each start of the program (two
// microscopes stand for two starts), so that a background collected in one start and a
// measurement in the next do not share it; with a seed the runs repeat exactly.
TEST(VirtualMicroscope, NoiseFreshInEveryRunUnlessSeeded) {
    auto first = std::make_shared<sim::Microscope>(), second = std::make_shared<sim::Microscope>();
    EXPECT_NE(first_frame(first), first_frame(second));
    EXPECT_NE(first_frame(first), first_frame(first));
    first->set_noise_seed(42);
    second->set_noise_seed(42);
    const QImage run1 = first_frame(first);
    EXPECT_EQ(first_frame(second), run1);
    EXPECT_EQ(first_frame(first), first_frame(second)) << "the second runs repeat too";
    EXPECT_NE(first_frame(first), run1) << "each run of a seeded start has its own noise";
    second->set_noise_seed(43);
    EXPECT_NE(first_frame(second), run1);
}

// Motor 1 of the simulated controller turns the stage while it moves, step by step, and a
// declared position turns nothing. 200 steps are one turn, clockwise on the screen.
TEST(VirtualMicroscope, StageFollowsMotorOne) {
    sim::Microscope scope;
    stepper::SimulatedConfig config;
    config.shaft_turned = sim::turned_by_motor_1(scope.shared_stage());
    stepper::SimulatedController motor(config);
    motor.open(-1);
    motor.attach_now();
    motor.set_current_position(0, 500); // declared: the polarizer stays at 0 degrees
    EXPECT_EQ(scope.stage().polarizer_degrees(), 0);
    motor.set_acceleration(0, 2000);
    motor.set_velocity_limit(0, 300);
    motor.set_engaged(0, true);
    motor.set_target_position(0, 525);
    double seen_between = -1;
    ui::wait_until(
        [&] {
            const double now = -scope.stage().polarizer_degrees();
            if (now > 1 && now < 44) seen_between = now;
            return motor.current_position(0) == 525;
        },
        5000);
    EXPECT_DOUBLE_EQ(scope.stage().polarizer_degrees(), -45);
    EXPECT_GT(seen_between, 0) << "the polarizer turned in one jump";
    motor.set_target_position(0, 500);
    motor.set_current_position(1, 7); // motor 2 turns nothing here
    ui::wait_until([&] { return motor.current_position(0) == 500; }, 5000);
    EXPECT_DOUBLE_EQ(scope.stage().polarizer_degrees(), 0);
}

// The virtual microscope's options as the program reads them: the seed of its noise and its
// faults, none of them unless given.
TEST(VirtualMicroscope, OptionsOfTheCommandLine) {
    command_line::Arguments plain;
    ASSERT_FALSE(command_line::read({"vexolan", "--simulate"}, plain));
    EXPECT_FALSE(plain.noise_seed);
    EXPECT_EQ(plain.faults.backlash_degrees, 0);
    EXPECT_EQ(plain.faults.lamp_drift_percent_per_s, 0);
    EXPECT_EQ(plain.faults.sample_motion_px_per_s, 0);
    command_line::Arguments a;
    ASSERT_FALSE(
        command_line::read({"vexolan", "--simulate", "--seed", "18446744073709551615", "--backlash",
                            "0.5", "--lamp-drift", "-1.5", "--sample-motion", "3"},
                           a));
    EXPECT_EQ(a.noise_seed, 18446744073709551615u);
    EXPECT_EQ(a.faults.backlash_degrees, 0.5);
    EXPECT_EQ(a.faults.lamp_drift_percent_per_s, -1.5);
    EXPECT_EQ(a.faults.sample_motion_px_per_s, 3);
}
