#include "microscope.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>
#include <vector>

namespace sim {

Noise::Noise(uint64_t seed) : state_(seed * 2 + 1) {}

uint64_t Microscope::next_noise_seed() {
    std::lock_guard lock(mutex_);
    if (!noise_seed_) {
        std::random_device entropy;
        return (uint64_t{entropy()} << 32) ^ entropy();
    }
    // splitmix64 of the seed and the run: runs far apart in the noise table
    uint64_t z = *noise_seed_ + ++noise_runs_ * 0x9e3779b97f4a7c15u;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

void Microscope::set_noise_seed(uint64_t seed) {
    std::lock_guard lock(mutex_);
    noise_seed_ = seed;
    noise_runs_ = 0;
}

uint64_t Noise::step() {
    // xorshift64*
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 2685821657736338717u;
}

const int16_t* Noise::row(size_t length, double amplitude) {
    const auto& draws = table();
    if (length > draws.size() / 2)
        throw std::invalid_argument("a row longer than the noise table allows");
    if (amplitude != amplitude_ || scaled_.empty()) {
        // in 1/64 grey levels; the largest draw, some 5.5 sigma, fits 16 bits up to 33 dB
        scaled_.resize(draws.size());
        for (size_t i = 0; i < draws.size(); ++i)
            scaled_[i] = static_cast<int16_t>(std::clamp(std::lround(draws[i] * amplitude * scale),
                                                         long(INT16_MIN), long(INT16_MAX)));
        amplitude_ = amplitude;
    }
    return scaled_.data() + step() % (scaled_.size() - length);
}

// 2^20 independent draws from the normal distribution (Box-Muller from a fixed seed).
const std::vector<float>& Noise::table() {
    static const std::vector<float> draws = [] {
        std::vector<float> t(size_t(1) << 20);
        Noise source(0x5eed);
        auto uniform = [&source] {
            return (double(source.step() >> 11) + 0.5) / double(uint64_t(1) << 53);
        };
        for (size_t i = 0; i < t.size(); i += 2) {
            const double radius = Microscope::noise_sigma * std::sqrt(-2 * std::log(uniform()));
            const double angle = 2 * std::numbers::pi * uniform();
            t[i] = static_cast<float>(radius * std::cos(angle));
            t[i + 1] = static_cast<float>(radius * std::sin(angle));
        }
        return t;
    }();
    return draws;
}

Microscope::Microscope(StageGeometry geometry)
    : stage_(std::make_shared<Stage>(geometry)), clock_([start = std::chrono::steady_clock::now()] {
          return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      }) {}

void Microscope::set_faults(const Faults& faults) {
    stage_->set_backlash_degrees(faults.backlash_degrees);
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

Faults Microscope::faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void Microscope::set_clock(std::function<double()> seconds) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(seconds);
}

namespace {

double lamp_at(const Faults& f, double seconds) {
    return std::max(0.0, 1 + f.lamp_drift_percent_per_s / 100 * seconds);
}

} // namespace

double Microscope::lamp() const {
    std::lock_guard lock(mutex_);
    return faults_.lamp_drift_percent_per_s == 0 ? 1 : lamp_at(faults_, clock_());
}

double Microscope::sample_offset_px() const {
    std::lock_guard lock(mutex_);
    return faults_.sample_motion_px_per_s == 0 ? 0 : faults_.sample_motion_px_per_s * clock_();
}

void Microscope::set_sample(const std::string& name) {
    if (!is_sample(name)) throw std::invalid_argument("unknown sample \"" + name + "\"");
    std::lock_guard lock(mutex_);
    sample_ = name;
}

void Microscope::set_sample_rotation(double degrees) {
    std::lock_guard lock(mutex_);
    sample_degrees_ = degrees;
}

double Microscope::sample_rotation() const {
    std::lock_guard lock(mutex_);
    return sample_degrees_;
}

std::string Microscope::sample() const {
    std::lock_guard lock(mutex_);
    return sample_;
}

void Microscope::set_exposure_us(double microseconds) {
    exposure_us_ = std::clamp(microseconds, min_exposure_us, max_exposure_us);
}

void Microscope::set_gain_db(double db) {
    gain_db_ = std::clamp(db, min_gain_db, max_gain_db);
}

double Microscope::gain_factor() const {
    return std::pow(10.0, gain_db() / 20);
}

double Microscope::grey_per_intensity() const {
    return sensitivity * exposure_us() * gain_factor();
}

Jones Microscope::light() {
    return elliptical_light(light_linear_degree, light_orientation);
}

double Microscope::illumination(int x, int y, int width, int height) {
    const double dx = x + 0.5 - width / 2.0, dy = y + 0.5 - height / 2.0;
    const double corner2 = (width * width + height * height) / 4.0;
    return 1 - (1 - corner_illumination) * (dx * dx + dy * dy) / corner2;
}

std::array<double, 3> Microscope::level(int x, int y, int width, int height,
                                        double polarizer_degrees) const {
    const auto s = make_turned_sample(sample(), width, height, light(), sample_rotation());
    const ColourResponse r = s->at(x + 0.5, y + 0.5);
    const double light = grey_per_intensity() * illumination(x, y, width, height);
    return {light * r[0].intensity(polarizer_degrees), light * r[1].intensity(polarizer_degrees),
            light * r[2].intensity(polarizer_degrees)};
}

// The field of one sample at one frame size, ready for any polarizer angle, laid out as
// the frame's bytes (blue, green, red, spare): the intensity of the sample at i behind the
// polarizer at angle t is mean[i] + cos2[i] cos 2t + sin2[i] sin 2t. The spare byte's mean
// is far above any light, so it comes out 255 whatever the noise.
struct Microscope::Plate {
    std::string sample;
    double degrees = 0;
    int width = 0, height = 0;
    std::vector<float> mean, cos2, sin2;
    std::vector<float> light; // the illumination of each pixel, which a sliding sample keeps
};

// The frame without its noise for one polarizer angle, exposure and gain, in 1/64 grey
// levels (as Noise draws are), the camera's clipping still to come. While none of them
// changes (the polarizer at rest), every frame is this one plus its noise.
struct Microscope::Still {
    std::shared_ptr<const Plate> plate;
    double polarizer_degrees = 0, grey_per_intensity = 0, offset_px = 0;
    std::vector<int16_t> levels;
};

std::shared_ptr<const Microscope::Plate> Microscope::plate(int width, int height) {
    std::lock_guard lock(mutex_);
    if (plate_ && plate_->sample == sample_ && plate_->degrees == sample_degrees_ &&
        plate_->width == width && plate_->height == height)
        return plate_;
    auto p = std::make_shared<Plate>();
    p->sample = sample_;
    p->degrees = sample_degrees_;
    p->width = width;
    p->height = height;
    const size_t n = size_t(width) * size_t(height) * 4;
    p->mean.resize(n);
    p->cos2.resize(n);
    p->sin2.resize(n);
    p->light.resize(size_t(width) * size_t(height));
    const auto s = make_turned_sample(sample_, width, height, light(), sample_degrees_);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 4;
            const ColourResponse r = s->at(x + 0.5, y + 0.5);
            const double lit = illumination(x, y, width, height);
            p->light[i / 4] = static_cast<float>(lit);
            const double half_light = lit / 2;
            for (size_t c = 0; c < 3; ++c) {
                const size_t lane = i + 2 - c; // red is byte 2, blue byte 0
                p->mean[lane] = static_cast<float>(half_light * r[c].s0);
                p->cos2[lane] = static_cast<float>(half_light * r[c].s1);
                p->sin2[lane] = static_cast<float>(half_light * r[c].s2);
            }
            p->mean[i + 3] = 1e9f;
        }
    }
    plate_ = p;
    return plate_;
}

std::shared_ptr<const Microscope::Still> Microscope::still(int width, int height) {
    const auto p = plate(width, height);
    const double degrees = stage_->polarizer_degrees();
    const double grey = grey_per_intensity() * lamp();
    const double offset = sample_offset_px();
    {
        std::lock_guard lock(mutex_);
        if (still_ && still_->plate == p && still_->polarizer_degrees == degrees &&
            still_->grey_per_intensity == grey && still_->offset_px == offset)
            return still_;
    }
    auto s = std::make_shared<Still>();
    s->plate = p;
    s->polarizer_degrees = degrees;
    s->grey_per_intensity = grey;
    s->offset_px = offset;
    const double t2 = 2 * degrees * std::numbers::pi / 180;
    const float m = static_cast<float>(grey * Noise::scale);
    const float c = static_cast<float>(std::cos(t2)) * m, sn = static_cast<float>(std::sin(t2)) * m;
    const auto at = [&](size_t i) { return p->mean[i] * m + p->cos2[i] * c + p->sin2[i] * sn; };
    // light is never negative; past 511 grey levels every sample clips anyway
    const auto stored = [](float v) {
        return static_cast<int16_t>(std::clamp(v, 0.f, 32767.f) + 0.5f);
    };
    s->levels.resize(p->mean.size());
    if (offset == 0) {
        for (size_t i = 0; i < p->mean.size(); ++i) s->levels[i] = stored(at(i));
    } else {
        // pixel x shows the sample that stood at x - offset, between two pixels of the
        // plate (the sample's edge columns reach on), under its own illumination
        const double whole = std::floor(offset);
        const float f = static_cast<float>(offset - whole);
        const long shift = static_cast<long>(std::clamp(whole, -1e6, 1e6));
        const long last = width - 1;
        for (size_t y = 0; y < size_t(height); ++y) {
            const size_t row = y * size_t(width);
            for (long x = 0; x < width; ++x) {
                const size_t j0 = row + size_t(std::clamp(x - shift - 1, 0L, last));
                const size_t j1 = row + size_t(std::clamp(x - shift, 0L, last));
                const float w0 = f / p->light[j0], w1 = (1 - f) / p->light[j1];
                const float lit = p->light[row + size_t(x)];
                for (size_t lane = 0; lane < 4; ++lane)
                    s->levels[(row + size_t(x)) * 4 + lane] =
                        stored(lit * (w0 * at(j0 * 4 + lane) + w1 * at(j1 * 4 + lane)));
            }
        }
    }
    std::lock_guard lock(mutex_);
    still_ = s;
    return s;
}

QImage Microscope::frame(int width, int height, Noise& noise) {
    QImage image(width, height, QImage::Format_RGB32);
    frame_into(image, noise);
    return image;
}

void Microscope::frame_into(QImage& image, Noise& noise) {
    constexpr int shift = 6;
    static_assert(1 << shift == Noise::scale);
    const int width = image.width(), height = image.height();
    const auto s = still(width, height);
    const double amplitude = gain_factor();
    const size_t row = size_t(width) * 4;
    for (int y = 0; y < height; ++y) {
        const int16_t* level = s->levels.data() + size_t(y) * row;
        const int16_t* n = noise.row(row, amplitude);
        uchar* out = image.scanLine(y);
        for (size_t i = 0; i < row; ++i) {
            const int v = (int(level[i]) + int(n[i]) + Noise::scale / 2) >> shift;
            out[i] = static_cast<uchar>(std::clamp(v, 0, 255));
        }
    }
}

} // namespace sim
