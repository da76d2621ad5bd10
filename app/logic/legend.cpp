#include "legend.h"

#include "canvas.h"
#include "numbers.h"
#include "palette.h"

#include <QPainter>

namespace legend {

namespace {

// Positions of the 50 x 240 legend picture, x to the right, y downwards.
constexpr int bar_first_row = 47, bar_last_row = 137, bar_left = 12, bar_right = 22;
constexpr int label_x = 30, top_y = 46, middle_y = 87, bottom_y = 129;
constexpr int scale_x = 8, scale_y = 175, wavelength_x = 10, wavelength_y = 205;
constexpr int title_points = 10, text_points = 7;

QRgb bar_colour(Bar bar, int index) {
    if (bar == Bar::grey) return qRgb(index, index, index);
    const palette::Colour& c = palette::false_colour()[static_cast<size_t>(index)];
    return qRgb(c.red, c.green, c.blue);
}

// The palette index of bar row `row` (47 to 137): only its low eight bits count, so the
// rows just outside the scale, 47 and 137, come out near black (2 and 3).
int bar_index(int row) {
    return numbers::rounded(255 - (row - 48) * 255 / 90.0L) & 0xff;
}

} // namespace

QFont font(int points) {
    QFont f;
    f.setFamilies({QStringLiteral("Times"), QStringLiteral("Liberation Serif"),
                   QStringLiteral("DejaVu Serif")});
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(numbers::rounded(points * 96 / 72.0L));
    return f;
}

void draw(QImage& image, const Content& content) {
    if (image.isNull()) return;
    const QFont title = font(title_points), text = font(text_points);
    if (content.retardation) {
        canvas::text_out(image, 5, 12, QStringLiteral("|sin(   )| "), title);
        canvas::text_out(image, 29, 12, QStringLiteral("\u03b4"), title);
    }
    {
        QPainter p(&image);
        for (int y = bar_first_row; y <= bar_last_row; ++y)
            p.fillRect(bar_left, y, bar_right - bar_left + 1, 1,
                       QColor::fromRgb(bar_colour(content.bar, bar_index(y))));
    }
    if (content.retardation) {
        canvas::text_out(image, label_x, top_y, QStringLiteral("0.0  "), text);
        canvas::text_out(image, label_x, middle_y, QStringLiteral("0.0  "), text);
    }
    canvas::text_out(image, label_x, top_y, content.top, text);
    canvas::text_out(image, label_x, middle_y, content.middle, text);
    canvas::text_out(image, label_x, bottom_y, content.bottom, text);
    canvas::text_out(image, scale_x, scale_y, QString(17, QLatin1Char(' ')), text);
    canvas::text_out(image, scale_x, scale_y, content.scale, text);
    canvas::text_out(image, wavelength_x, wavelength_y,
                     content.wavelength + QString(9, QLatin1Char(' ')), text);
    canvas::text_out(image, wavelength_x, wavelength_y, content.wavelength + QStringLiteral("nm"),
                     text);
}

} // namespace legend
