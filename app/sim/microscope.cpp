#include "microscope.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace sim {

Noise::Noise(uint64_t seed) : state_(seed * 2 + 1) {}

uint64_t Noise::step() {
    // xorshift64*
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 2685821657736338717u;
}

const float* Noise::row(size_t length) {
    const auto& draws = table();
    if (length > draws.size() / 2)
        throw std::invalid_argument("a row longer than the noise table allows");
    return draws.data() + step() % (draws.size() - length);
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

Microscope::Microscope(StageGeometry geometry) : stage_(std::make_shared<Stage>(geometry)) {}

void Microscope::set_sample(const std::string& name) {
    if (!is_sample(name)) throw std::invalid_argument("unknown sample \"" + name + "\"");
    std::lock_guard lock(mutex_);
    sample_ = name;
}

std::string Microscope::sample() const {
    std::lock_guard lock(mutex_);
    return sample_;
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
    const auto s = make_sample(sample(), width, height, light());
    const ColourResponse r = s->at(x + 0.5, y + 0.5);
    const double light = gain * illumination(x, y, width, height);
    return {light * r[0].intensity(polarizer_degrees), light * r[1].intensity(polarizer_degrees),
            light * r[2].intensity(polarizer_degrees)};
}

// The field of one sample at one frame size, ready for any polarizer angle, laid out as
// the frame's bytes (blue, green, red, spare): the byte at i is
// mean[i] + cos2[i] cos 2t + sin2[i] sin 2t, plus noise. The spare byte's mean is far
// above 255, so it comes out 255 whatever the noise.
struct Microscope::Plate {
    std::string sample;
    int width = 0, height = 0;
    std::vector<float> mean, cos2, sin2;
};

std::shared_ptr<const Microscope::Plate> Microscope::plate(int width, int height) {
    std::lock_guard lock(mutex_);
    if (plate_ && plate_->sample == sample_ && plate_->width == width && plate_->height == height)
        return plate_;
    auto p = std::make_shared<Plate>();
    p->sample = sample_;
    p->width = width;
    p->height = height;
    const size_t n = size_t(width) * size_t(height) * 4;
    p->mean.resize(n);
    p->cos2.resize(n);
    p->sin2.resize(n);
    const auto s = make_sample(sample_, width, height, light());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 4;
            const ColourResponse r = s->at(x + 0.5, y + 0.5);
            const double half_light = gain * illumination(x, y, width, height) / 2;
            for (size_t c = 0; c < 3; ++c) {
                const size_t lane = i + 2 - c; // red is byte 2, blue byte 0
                p->mean[lane] = static_cast<float>(half_light * r[c].s0);
                p->cos2[lane] = static_cast<float>(half_light * r[c].s1);
                p->sin2[lane] = static_cast<float>(half_light * r[c].s2);
            }
            p->mean[i + 3] = 1e4f;
        }
    }
    plate_ = p;
    return plate_;
}

QImage Microscope::frame(int width, int height, Noise& noise) {
    const auto p = plate(width, height);
    const double t2 = 2 * stage_->polarizer_degrees() * std::numbers::pi / 180;
    const float c = static_cast<float>(std::cos(t2)), s = static_cast<float>(std::sin(t2));
    QImage image(width, height, QImage::Format_RGB32);
    const size_t row = size_t(width) * 4;
    for (int y = 0; y < height; ++y) {
        const size_t first = size_t(y) * row;
        const float* mean = p->mean.data() + first;
        const float* cos2 = p->cos2.data() + first;
        const float* sin2 = p->sin2.data() + first;
        const float* n = noise.row(row);
        uchar* out = image.scanLine(y);
        for (size_t i = 0; i < row; ++i) {
            const float v = mean[i] + cos2[i] * c + sin2[i] * s + n[i] + 0.5f;
            out[i] = static_cast<uchar>(std::clamp(static_cast<int>(v), 0, 255));
        }
    }
    return image;
}

} // namespace sim
