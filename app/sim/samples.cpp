#include "samples.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>

namespace sim {

namespace {

constexpr double pi = std::numbers::pi;
// the bands of wavelengths that the camera's red, green and blue pixels see, nm
constexpr std::array<std::array<double, 2>, 3> bands{{{575, 665}, {495, 575}, {425, 495}}};

// A birefringent medium of optical path difference `path_nm`: each wavelength has its own
// retardation, and each colour sums the wavelengths of its band, which gives the
// interference colours.
ColourResponse crystal(const Jones& light, double path_nm, double slow_axis, double transmission) {
    constexpr int steps = 6;
    ColourResponse out;
    for (size_t c = 0; c < 3; ++c) {
        for (int k = 0; k < steps; ++k) {
            const double wavelength = bands[c][0] + (bands[c][1] - bands[c][0]) * (k + 0.5) / steps;
            const PolarizerResponse r = polarizer_response(
                through_retarder(light, slow_axis, 2 * pi * path_nm / wavelength, transmission));
            out[c].s0 += r.s0 / steps;
            out[c].s1 += r.s1 / steps;
            out[c].s2 += r.s2 / steps;
        }
    }
    return out;
}

// A medium of one retardation for every colour.
ColourResponse plate(const Jones& light, double retardation, double slow_axis,
                     double transmission) {
    const PolarizerResponse r =
        polarizer_response(through_retarder(light, slow_axis, retardation, transmission));
    return {r, r, r};
}

// The part of a pixel at distance `distance` from an edge that lies inside, for edges
// that fall across it (one pixel of soft edge).
double coverage(double distance_inside) {
    return std::clamp(distance_inside + 0.5, 0.0, 1.0);
}

class Empty : public Sample {
  public:
    explicit Empty(const Jones& light) : field_(plate(light, 0, 0, 1)) {}
    ColourResponse at(double, double) const override { return field_; }

  private:
    ColourResponse field_;
};

class Target : public Sample {
  public:
    Target(int width, int height, const Jones& light) : field_(plate(light, 0, 0, 0.9)) {
        const double centres[4][2] = {{0.25, 0.30}, {0.75, 0.30}, {0.25, 0.72}, {0.75, 0.72}};
        radius_ = 0.15 * height;
        for (size_t i = 0; i < 4; ++i) {
            discs_[i].x = centres[i][0] * width;
            discs_[i].y = centres[i][1] * height;
            discs_[i].look = plate(light, std::asin(0.2 * double(i + 1)), 45.0 * double(i), 0.7);
        }
    }
    ColourResponse at(double x, double y) const override {
        for (const Disc& d : discs_) {
            const double inside = coverage(radius_ - std::hypot(x - d.x, y - d.y));
            if (inside > 0) return mix(d.look, field_, inside);
        }
        return field_;
    }

  private:
    struct Disc {
        double x, y;
        ColourResponse look;
    };
    ColourResponse field_;
    std::array<Disc, 4> discs_;
    double radius_;
};

// A quartz wedge across the field: its path difference grows from 0 at the left edge to
// 1100 nm at the right, slow axis at 45 degrees; the colours of the interference orders.
class Wedge : public Sample {
  public:
    Wedge(int width, const Jones& light) : width_(width), light_(light) {}
    ColourResponse at(double x, double) const override {
        return crystal(light_, 1100 * x / width_, 45, 0.88);
    }

  private:
    int width_;
    Jones light_;
};

// A thin section of a crystalline rock: grains of random orientation and thickness, with
// dark grain boundaries. The same grains every time.
class Grains : public Sample {
  public:
    Grains(int width, int height, const Jones& light)
        : height_(height), boundary_(plate(light, 0, 0, 0.25)) {
        uint64_t state = 0x9e3779b97f4a7c15u;
        auto uniform = [&state] {
            state = state * 6364136223846793005u + 1442695040888963407u;
            return double(state >> 11) / double(uint64_t(1) << 53);
        };
        const double aspect = double(width) / height;
        for (int i = 0; i < 40; ++i) {
            Grain g;
            g.x = uniform() * aspect;
            g.y = uniform();
            const double path = 80 + 380 * uniform(), axis = 180 * uniform(),
                         transmission = 0.78 + 0.14 * uniform();
            g.look = crystal(light, path, axis, transmission);
            grains_.push_back(g);
        }
    }
    ColourResponse at(double x, double y) const override {
        const double u = x / height_, v = y / height_;
        auto squared = [&](const Grain& g) {
            return (u - g.x) * (u - g.x) + (v - g.y) * (v - g.y);
        };
        const Grain* nearest = &grains_.front();
        for (const Grain& g : grains_)
            if (squared(g) < squared(*nearest)) nearest = &g;
        // the distance to the nearest boundary: to the bisector between the nearest grain's
        // centre and another's
        double to_boundary = 1e9;
        for (const Grain& g : grains_) {
            if (&g == nearest) continue;
            const double apart = std::hypot(g.x - nearest->x, g.y - nearest->y);
            to_boundary = std::min(to_boundary, (squared(g) - squared(*nearest)) / (2 * apart));
        }
        return mix(nearest->look, boundary_, coverage(to_boundary * height_ - 1.0));
    }

  private:
    struct Grain {
        double x, y;
        ColourResponse look;
    };
    int height_;
    ColourResponse boundary_;
    std::vector<Grain> grains_;
};

} // namespace

const std::vector<SampleInfo>& samples() {
    static const std::vector<SampleInfo> list{
        {"target",
         "test slide: four discs of |sin(d)| 0.2, 0.4, 0.6, 0.8 with slow axes at 0, 45, 90, 135 "
         "degrees",
         [](int w, int h, const Jones& light) -> std::unique_ptr<Sample> {
             return std::make_unique<Target>(w, h, light);
         }},
        {"empty", "no sample: the empty field",
         [](int, int, const Jones& light) -> std::unique_ptr<Sample> {
             return std::make_unique<Empty>(light);
         }},
        {"grains", "thin section of a crystalline rock: grains of random orientation and thickness",
         [](int w, int h, const Jones& light) -> std::unique_ptr<Sample> {
             return std::make_unique<Grains>(w, h, light);
         }},
        {"wedge",
         "quartz wedge: retardation growing from 0 to 1100 nm across the field, slow axis at 45 "
         "degrees",
         [](int w, int, const Jones& light) -> std::unique_ptr<Sample> {
             return std::make_unique<Wedge>(w, light);
         }}};
    return list;
}

namespace {

const SampleInfo* find_sample(const std::string& name) {
    for (const SampleInfo& s : samples())
        if (s.name == name) return &s;
    return nullptr;
}

} // namespace

bool is_sample(const std::string& name) {
    return find_sample(name) != nullptr;
}

std::unique_ptr<Sample> make_sample(const std::string& name, int width, int height,
                                    const Jones& light) {
    const SampleInfo* s = find_sample(name);
    if (!s) throw std::invalid_argument("unknown sample \"" + name + "\"");
    return s->make(width, height, light);
}

namespace {

// A sample on a rotating stage. In its own frame it sees the light turned back by the
// stage's angle; what it passes is turned forward again (its Stokes parameters s1, s2 by
// twice the angle); and the pixel at (x, y) shows the sample's point that the turn brought
// there (y grows down the screen, so the turn is clockwise in pixel coordinates).
class Turned : public Sample {
  public:
    Turned(const std::string& name, int width, int height, const Jones& light, double degrees)
        : c_(std::cos(degrees * pi / 180)), s_(std::sin(degrees * pi / 180)),
          c2_(std::cos(2 * degrees * pi / 180)), s2_(std::sin(2 * degrees * pi / 180)),
          cx_(width / 2.0), cy_(height / 2.0),
          inner_(make_sample(name, width, height,
                             {light.x * c_ + light.y * s_, -light.x * s_ + light.y * c_})) {}
    ColourResponse at(double x, double y) const override {
        const double dx = x - cx_, up = cy_ - y;
        const double own_x = c_ * dx + s_ * up, own_up = -s_ * dx + c_ * up;
        ColourResponse r = inner_->at(cx_ + own_x, cy_ - own_up);
        for (PolarizerResponse& p : r) {
            const double s1 = p.s1, s2 = p.s2;
            p.s1 = s1 * c2_ - s2 * s2_;
            p.s2 = s1 * s2_ + s2 * c2_;
        }
        return r;
    }

  private:
    double c_, s_, c2_, s2_, cx_, cy_;
    std::unique_ptr<Sample> inner_;
};

} // namespace

std::unique_ptr<Sample> make_turned_sample(const std::string& name, int width, int height,
                                           const Jones& light, double degrees) {
    if (degrees == 0) return make_sample(name, width, height, light);
    return std::make_unique<Turned>(name, width, height, light, degrees);
}

} // namespace sim
