#include "canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace canvas {

void text_out(QImage& image, int x, int y, const QString& text, const QFont& font) {
    if (image.isNull()) return;
    QPainter p(&image);
    const QFontMetrics metrics(font);
    p.fillRect(x, y, metrics.horizontalAdvance(text), metrics.height(), Qt::white);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(x, y + metrics.ascent(), text);
}

void xor_rectangle(QImage& image, int left, int top, int right, int bottom) {
    // inside the one-pixel border; the border itself is xor'ed with black, a no-op
    const int x0 = std::max(std::min(left, right) + 1, 0);
    const int x1 = std::min(std::max(left, right) - 1, image.width());
    const int y0 = std::max(std::min(top, bottom) + 1, 0);
    const int y1 = std::min(std::max(top, bottom) - 1, image.height());
    for (int y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = x0; x < x1; ++x) row[x] ^= 0x00ffffffu;
    }
}

} // namespace canvas
