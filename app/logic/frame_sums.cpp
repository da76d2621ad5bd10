#include "frame_sums.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace frames {

namespace {

QImage rgb32(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32); // shared when it is one already
}

void same_size(const QImage& p, const QImage& other) {
    if (other.size() == p.size()) return;
    throw std::runtime_error(
        QStringLiteral("The images to combine differ in size: %1 x %2 and %3 x %4.")
            .arg(p.width())
            .arg(p.height())
            .arg(other.width())
            .arg(other.height())
            .toStdString());
}

// Writes one combined pixel (channel values red, green, blue) under the channel rule.
QRgb kept(std::array<int, 3> c, Channels keep, QRgb old) {
    switch (keep) {
    case Channels::all:
        return qRgb(c[0], c[1], c[2]);
    case Channels::red:
        return qRgb(c[0], 0, 0);
    case Channels::green:
        return qRgb(0, c[1], 0);
    case Channels::blue:
        return qRgb(0, 0, c[2]);
    case Channels::none:
        break;
    }
    return old;
}

// Runs `combine(p, q, r)` on every pixel, each a colour value, and writes the result
// into p under the channel rule.
template <class Combine>
void combine_into(QImage& p, const QImage& q, const QImage* r, Channels keep, Combine combine) {
    p = rgb32(p);
    const QImage q32 = rgb32(q), r32 = r ? rgb32(*r) : QImage();
    for (int y = 0; y < p.height(); ++y) {
        auto* pl = reinterpret_cast<QRgb*>(p.scanLine(y));
        const auto* ql = reinterpret_cast<const QRgb*>(q32.constScanLine(y));
        const auto* rl = r ? reinterpret_cast<const QRgb*>(r32.constScanLine(y)) : nullptr;
        for (int x = 0; x < p.width(); ++x) {
            const QRgb a = pl[x], b = ql[x], c = rl ? rl[x] : 0;
            const std::array<int, 3> out{combine(qRed(a), qRed(b), qRed(c)),
                                         combine(qGreen(a), qGreen(b), qGreen(c)),
                                         combine(qBlue(a), qBlue(b), qBlue(c))};
            pl[x] = kept(out, keep, a);
        }
    }
}

// sum / n rounded to the nearest integer, a tie going to the even one; sum >= 0, n > 0.
int64_t rounded_quotient(int64_t sum, int64_t n) {
    const int64_t q = sum / n, twice_rest = 2 * (sum - q * n);
    if (twice_rest > n || (twice_rest == n && q % 2 != 0)) return q + 1;
    return q;
}

} // namespace

void Accumulator::store(const QImage& frame) {
    const QImage f = rgb32(frame);
    width_ = f.width();
    height_ = f.height();
    const size_t n = size_t(width_) * size_t(height_) * 4;
    sums_.assign(f.constBits(), f.constBits() + n);
    sums_.shrink_to_fit(); // the memory of a larger frame goes back
}

void Accumulator::add(const QImage& frame) {
    const QImage f = rgb32(frame);
    if (f.size() != size()) throw std::invalid_argument("a frame of another size than the sums");
    const size_t n = sums_.size();
    const uchar* bytes = f.constBits();
    int32_t* sums = sums_.data();
    for (size_t i = 0; i < n; ++i) sums[i] += bytes[i];
}

QImage Accumulator::mean(int frames) const {
    // every sum lies in 0..255 x frames: one table of the rounded quotients
    std::vector<uchar> quotient(size_t(255) * size_t(frames) + 1);
    for (size_t s = 0; s < quotient.size(); ++s)
        quotient[s] = uchar(rounded_quotient(int64_t(s), frames));
    QImage image(width_, height_, QImage::Format_RGB32);
    uchar* bytes = image.bits();
    const size_t n = sums_.size();
    for (size_t i = 0; i < n; i += 4) {
        bytes[i] = quotient[size_t(sums_[i])];
        bytes[i + 1] = quotient[size_t(sums_[i + 1])];
        bytes[i + 2] = quotient[size_t(sums_[i + 2])];
        bytes[i + 3] = 0xff;
    }
    return image;
}

void mean_into(QImage& p, const QImage& q, Channels keep) {
    same_size(p, q);
    if (keep == Channels::none) return;
    combine_into(p, q, nullptr, keep, [](int a, int b, int) { return std::min((a + b) / 2, 255); });
}

void normalized_mean_into(QImage& p, const QImage& q, const QImage& r, Channels keep) {
    same_size(p, q);
    same_size(p, r);
    if (keep == Channels::none) return;
    combine_into(p, q, &r, keep, [](int a, int b, int background) {
        if (background <= 0) return a;
        return int(std::min<int64_t>(rounded_quotient(int64_t(a + b) * 100, background), 255));
    });
}

} // namespace frames
