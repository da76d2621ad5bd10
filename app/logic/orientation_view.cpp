#include "orientation_view.h"

#include <QColor>
#include <QFont>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orientation_view {

namespace {

constexpr double degrees = 180 / std::numbers::pi;

// what clipped: a checker of 2 x 2 pixels
QRgb checker(int x, int y) {
    return ((x / 2 + y / 2) % 2) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
}

QFont legend_font() {
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    return f;
}

} // namespace

double top_nm(double wavelength_nm) {
    return wavelength_nm / (2 * std::numbers::pi) * std::asin(0.9);
}

QRgb colour(double phi_degrees, double r_nm, double top) {
    double phi = std::fmod(phi_degrees, 180);
    if (phi < 0) phi += 180;
    const double value = top > 0 ? std::clamp(r_nm / top, 0.0, 1.0) : 0;
    return QColor::fromHsvF(float(std::min(phi / 180, 1.0 - 1e-9)), 1.f, float(value)).rgb();
}

QImage picture(const precise_maps::Maps& maps, double wavelength_nm) {
    using namespace precise_maps;
    QImage out(maps.width, maps.height, QImage::Format_RGB32);
    const double top = top_nm(wavelength_nm);
    for (int y = 0; y < maps.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < maps.width; ++x) {
            const size_t i = size_t(y) * size_t(maps.width) + size_t(x);
            const float r = maps.page[retardance][i];
            if (maps.page[clipped_mask][i] != 0)
                line[x] = checker(x, y);
            else if (maps.page[orientation_mask][i] == 0 || std::isnan(r))
                line[x] = qRgb(0, 0, 0);
            else
                line[x] = colour(maps.page[slow_axis][i], r, top);
        }
    }
    return out;
}

QImage legend(double wavelength_nm, int height) {
    QImage out(legend_width, std::max(height, 240), QImage::Format_RGB32);
    out.fill(qRgb(240, 240, 240));
    const double top = top_nm(wavelength_nm);
    const Wheel w = wheel;
    for (int v = w.y - w.radius; v <= w.y + w.radius; ++v) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(v));
        for (int u = w.x - w.radius; u <= w.x + w.radius; ++u) {
            const double dx = u - w.x, dy = w.y - v; // up on the screen
            const double distance = std::hypot(dx, dy);
            if (distance > w.radius) continue;
            line[u] = colour(std::atan2(dy, dx) * degrees, top * distance / w.radius, top);
        }
    }
    // the brightness scale: a ramp of grey from 0 nm to the top
    const int ramp_left = 12, ramp_right = legend_width - 12, ramp_top = 186, ramp_height = 10;
    for (int v = ramp_top; v < ramp_top + ramp_height; ++v)
        for (int u = ramp_left; u < ramp_right; ++u) {
            const int g = int(std::lround(255.0 * (u - ramp_left) / (ramp_right - 1 - ramp_left)));
            out.setPixel(u, v, qRgb(g, g, g));
        }
    // the swatches
    for (int v = 0; v < 12; ++v)
        for (int u = 0; u < 12; ++u) {
            out.setPixel(12 + u, 214 + v, qRgb(0, 0, 0));
            out.setPixel(84 + u, 214 + v, checker(u, v));
        }
    QPainter p(&out);
    p.setFont(legend_font());
    p.setPen(Qt::black);
    p.drawText(QRect(0, 2, legend_width, 14), Qt::AlignHCenter, QStringLiteral("slow axis phi"));
    p.drawText(QRect(0, w.y - w.radius - 24, legend_width, 14), Qt::AlignHCenter,
               QStringLiteral("90"));
    p.drawText(QRect(w.x + w.radius + 2, w.y - 7, 30, 14), Qt::AlignLeft, QStringLiteral("0"));
    p.drawText(QRect(0, w.y - 7, w.x - w.radius - 2, 14), Qt::AlignRight, QStringLiteral("180"));
    const int diagonal = int(std::lround(w.radius * std::numbers::sqrt2 / 2)) + 2;
    p.drawText(QRect(w.x + diagonal, w.y - diagonal - 12, 30, 14), Qt::AlignLeft,
               QStringLiteral("45"));
    p.drawText(QRect(0, w.y - diagonal - 12, w.x - diagonal, 14), Qt::AlignRight,
               QStringLiteral("135"));
    p.drawText(QRect(0, 170, legend_width, 14), Qt::AlignHCenter,
               QStringLiteral("R (brightness), nm"));
    p.drawText(QRect(ramp_left, 196, 40, 14), Qt::AlignLeft, QStringLiteral("0"));
    p.drawText(QRect(ramp_right - 60, 196, 60, 14), Qt::AlignRight, QString::number(top, 'f', 1));
    p.drawText(QRect(28, 213, 56, 14), Qt::AlignLeft, QStringLiteral("none"));
    p.drawText(QRect(100, 213, 60, 14), Qt::AlignLeft, QStringLiteral("clipped"));
    p.end();
    return out;
}

QImage with_legend(const QImage& picture, const QImage& legend) {
    QImage out(picture.width() + legend.width(), std::max(picture.height(), legend.height()),
               QImage::Format_RGB32);
    out.fill(qRgb(240, 240, 240));
    QPainter p(&out);
    p.drawImage(0, 0, picture);
    p.drawImage(picture.width(), 0, legend);
    p.end();
    return out;
}

} // namespace orientation_view
