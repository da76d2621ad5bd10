#include "pass_check.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace pass_check {

namespace {

// Sums of the least squares fit at one angle.
struct Sums {
    double aa = 0, ag = 0, gg = 0, da = 0, dg = 0, dd = 0;
    double n = 0;
};

AtAngle solved(const Sums& s) {
    AtAngle out;
    if (s.aa <= 0 || s.n < 3) return out;
    const double det = s.aa * s.gg - s.ag * s.ag;
    if (!(s.gg > 0 && det > 1e-9 * s.aa * s.gg)) { // no linear light anywhere
        const double drift = s.da / s.aa;
        const double rest = std::max(0.0, s.dd - drift * s.da) / (s.n - 1);
        out.drift_percent = 100 * drift;
        out.drift_known = 3 * 100 * std::sqrt(rest / s.aa) < drift_limit_percent;
        return out;
    }
    const double drift = (s.da * s.gg - s.dg * s.ag) / det;
    const double angle = (s.aa * s.dg - s.ag * s.da) / det; // radians
    // the noise of the differences, from what the fit leaves, and so that of the angle: where
    // the light behind the sample is nearly circular (an empty field under good light) the
    // images cannot tell the polarizer's angle to within the limit
    const double rest = std::max(0.0, s.dd - drift * s.da - angle * s.dg) / (s.n - 2);
    const double angle_sigma = std::sqrt(rest * s.aa / det) * 180 / std::numbers::pi;
    // and that of the lamp's change: a few samples (a field nearly all dark or clipped) tell
    // nothing
    const double drift_sigma = 100 * std::sqrt(rest * s.gg / det);
    out.drift_percent = 100 * drift;
    out.drift_known = 3 * drift_sigma < drift_limit_percent;
    out.angle_degrees = angle * 180 / std::numbers::pi;
    out.angle_known = 3 * angle_sigma < angle_limit_degrees;
    return out;
}

} // namespace

double Findings::worst_drift_percent() const {
    double worst = 0;
    for (const AtAngle& a : at)
        if (a.drift_known) worst = std::max(worst, std::fabs(a.drift_percent));
    return worst;
}

double Findings::worst_angle_degrees() const {
    double worst = 0;
    for (const AtAngle& a : at)
        if (a.angle_known) worst = std::max(worst, std::fabs(a.angle_degrees));
    return worst;
}

void Passes::set_forward(int index, const QImage& image) {
    forward_.at(size_t(index)) = image.convertToFormat(QImage::Format_RGB32);
}

void Passes::set_backward(int index, const QImage& image) {
    backward_.at(size_t(index)) = image.convertToFormat(QImage::Format_RGB32);
}

void Passes::clear() {
    forward_ = {};
    backward_ = {};
}

bool Passes::complete() const {
    const QSize size = forward_[0].size();
    if (size.isEmpty()) return false;
    for (size_t i = 0; i < 4; ++i)
        if (forward_[i].size() != size || backward_[i].size() != size) return false;
    return true;
}

namespace {

// Every sample that clipped in none of the eight integrations, with its angle images A, the
// differences D and the slopes g at the four angles.
template <typename Visit>
void each_sample(const std::array<QImage, 4>& forward, const std::array<QImage, 4>& backward,
                 const Visit& visit) {
    const int width = forward[0].width(), height = forward[0].height();
    // a grey camera's frames have one sample a pixel, not three: counted once, as its noise is
    const bool grey = forward[0].isGrayscale();
    // of a large frame every few rows: a million pixels tell the passes apart well enough
    const int row_step = int(std::max<qint64>(1, qint64(width) * height / 1'000'000));
    for (int y = 0; y < height; y += row_step) {
        std::array<const uchar*, 4> f, b;
        for (size_t i = 0; i < 4; ++i) {
            f[i] = forward[i].constScanLine(y);
            b[i] = backward[i].constScanLine(y);
        }
        for (size_t k = 0; k < size_t(width) * 4; ++k) {
            if (k % 4 == 3 || (grey && k % 4 != 0)) continue; // the spare byte, or grey twins
            std::array<double, 4> mean, diff;
            bool clipped = false;
            for (size_t i = 0; i < 4; ++i) {
                const int fi = f[i][k], bi = b[i][k];
                clipped = clipped || fi == 0 || fi == 255 || bi == 0 || bi == 255;
                mean[i] = (fi + bi) / 2.0;
                diff[i] = fi - bi;
            }
            if (clipped) continue;
            const double a = (mean[2] - mean[0]) / 2, bb = (mean[3] - mean[1]) / 2;
            // g at 0, 45, 90 and 135 degrees: 2a sin 2p - 2b cos 2p
            const std::array<double, 4> g{-2 * bb, 2 * a, 2 * bb, -2 * a};
            visit(mean, diff, g);
        }
    }
}

} // namespace

Findings Passes::findings() const {
    std::array<Sums, 4> sums;
    each_sample(forward_, backward_, [&](const auto& mean, const auto& diff, const auto& g) {
        for (size_t i = 0; i < 4; ++i) {
            Sums& s = sums[i];
            s.aa += mean[i] * mean[i];
            s.ag += mean[i] * g[i];
            s.gg += g[i] * g[i];
            s.da += diff[i] * mean[i];
            s.dg += diff[i] * g[i];
            s.dd += diff[i] * diff[i];
            s.n += 1;
        }
    });
    Findings out;
    for (size_t i = 0; i < 4; ++i) out.at[i] = solved(sums[i]);

    // What the lamp and the polarizer leave of the differences is the camera's noise, the
    // same everywhere, unless something in the picture changed between the passes: a
    // sample that moved leaves differences far beyond the noise along its edges. The noise
    // from the median of what is left (robust against those few), and the share beyond
    // six times it.
    std::array<double, 4> drift{}, angle{};
    for (size_t i = 0; i < 4; ++i) {
        drift[i] = out.at[i].drift_percent / 100;
        angle[i] = out.at[i].angle_degrees * std::numbers::pi / 180;
    }
    constexpr double bin = 1.0 / 32;
    std::vector<long> histogram(size_t(64 / bin) + 1);
    long samples = 0;
    each_sample(forward_, backward_, [&](const auto& mean, const auto& diff, const auto& g) {
        for (size_t i = 0; i < 4; ++i) {
            const double rest = std::fabs(diff[i] - drift[i] * mean[i] - angle[i] * g[i]);
            ++histogram[std::min(histogram.size() - 1, size_t(rest / bin))];
            ++samples;
        }
    });
    if (samples > 0) {
        long seen = 0;
        size_t median = 0;
        while (median + 1 < histogram.size() && (seen += histogram[median]) * 2 < samples) ++median;
        // 8-bit integrations are rounded, so their differences are whole numbers: with little
        // noise most are 0 and the median says nothing. The noise is never taken below half a
        // level, so that a difference of two levels is never counted beyond it.
        const double sigma = std::max(0.5, (double(median) + 0.5) * bin / 0.6745);
        long beyond = 0;
        for (size_t b = size_t(6 * sigma / bin) + 1; b < histogram.size(); ++b)
            beyond += histogram[b];
        out.changed_percent = 100.0 * double(beyond) / double(samples);
    }
    // the lamp's change is that of the backward integration against the forward one
    for (AtAngle& a : out.at) a.drift_percent = -a.drift_percent;
    return out;
}

QStringList notes(const Findings& findings) {
    QStringList out;
    if (const double angle = findings.worst_angle_degrees(); angle > angle_limit_degrees)
        out << QStringLiteral("polarizer backlash %1°").arg(angle, 0, 'f', 1);
    if (const double drift = findings.worst_drift_percent(); drift > drift_limit_percent)
        out << QStringLiteral("lamp drift %1%").arg(drift, 0, 'f', 1);
    if (findings.changed_percent > changed_limit_percent) out << QStringLiteral("sample moved");
    return out;
}

QStringList warnings(const Findings& findings) {
    QStringList out;
    if (const double angle = findings.worst_angle_degrees(); angle > angle_limit_degrees)
        out << QStringLiteral("the forward and backward passes saw the polarizer up to %1° apart "
                              "(play in its drive, or lost motor steps): the angle images mix "
                              "two polarizer angles")
                   .arg(angle, 0, 'f', 1);
    if (const double drift = findings.worst_drift_percent(); drift > drift_limit_percent)
        out << QStringLiteral("the lamp's light changed by up to %1% between the forward and "
                              "backward passes: let the lamp settle, and collect the background "
                              "images again")
                   .arg(drift, 0, 'f', 1);
    if (findings.changed_percent > changed_limit_percent)
        out << QStringLiteral("%1% of the samples differ between the forward and backward "
                              "passes far beyond the camera's noise: the sample, or the camera, "
                              "moved, or the scene changed")
                   .arg(findings.changed_percent, 0, 'f', 1);
    return out;
}

} // namespace pass_check
