#include "artwork.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace artwork {

namespace {

const QColor grey(128, 128, 128), light_grey(197, 197, 197);

void hline(QImage& img, int x0, int x1, int y, const QColor& c) {
    for (int x = x0; x <= x1; ++x) img.setPixelColor(x, y, c);
}
void vline(QImage& img, int x, int y0, int y1, const QColor& c) {
    for (int y = y0; y <= y1; ++y) img.setPixelColor(x, y, c);
}

QFont serif(int pixels, bool italic = false) {
    QFont f;
    f.setFamilies({QStringLiteral("Times"), QStringLiteral("Liberation Serif"),
                   QStringLiteral("DejaVu Serif")});
    f.setPixelSize(pixels);
    f.setItalic(italic);
    return f;
}

// Text whose glyphs fill the rows from `top` to `bottom`, centred in the legend.
void title_text(QPainter& p, const QString& text, int top, int bottom, int pixels,
                bool italic = true) {
    p.setFont(serif(pixels, italic));
    p.drawText(QRect(2, top, 46, bottom - top + 1), Qt::AlignCenter, text);
}

void draw_title(QPainter& p, LegendTitle title) {
    p.setPen(Qt::black);
    switch (title) {
    case LegendTitle::retardation:
        title_text(p, QStringLiteral("|sin \u03b4|"), 15, 24, 13, false);
        break;
    case LegendTitle::angle:
        // an angle opening from a horizontal line, phi at its right, n-gamma beneath
        p.drawLine(8, 24, 28, 24);
        p.drawLine(8, 24, 25, 9);
        p.drawArc(QRect(2, 12, 24, 24), 0, 40 * 16);
        p.setFont(serif(13, true));
        p.drawText(QRect(30, 8, 16, 17), Qt::AlignCenter, QStringLiteral("\u03c6"));
        title_text(p, QStringLiteral("n\u03b3"), 30, 39, 11);
        break;
    case LegendTitle::transmission: {
        p.setFont(serif(13, true));
        p.drawText(QRect(8, 13, 28, 13), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("I/I"));
        p.setFont(serif(9, true));
        p.drawText(QRect(36, 19, 8, 9), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("0"));
        break;
    }
    case LegendTitle::live:
        title_text(p, QStringLiteral("life"), 14, 24, 12);
        break;
    }
}

QIcon icon_from(const QImage& img) {
    return QIcon(QPixmap::fromImage(img));
}

} // namespace

QImage legend_background(LegendTitle title) {
    QImage img(50, 240, QImage::Format_RGB32);
    img.fill(Qt::white);
    // frame: outer line grey, inner line light grey
    hline(img, 0, 49, 0, grey), hline(img, 0, 49, 239, grey);
    vline(img, 0, 0, 239, grey), vline(img, 49, 0, 239, grey);
    hline(img, 1, 48, 1, light_grey), hline(img, 1, 48, 238, light_grey);
    vline(img, 1, 1, 238, light_grey), vline(img, 48, 1, 238, light_grey);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        draw_title(p, title);
    }
    // the bar frame around the white interior, and its tick
    hline(img, 11, 23, 46, grey);
    hline(img, 11, 23, 137, grey);
    vline(img, 11, 46, 137, grey);
    vline(img, 23, 46, 137, grey);
    hline(img, 24, 29, 92, Qt::black);
    // the scale bar
    for (int x : {7, 8, 39, 40}) vline(img, x, 156, 168, Qt::black);
    hline(img, 7, 40, 162, Qt::black);
    hline(img, 7, 40, 163, Qt::black);
    hline(img, 9, 38, 161, grey);
    return img;
}

QIcon diskette_icon() {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(Qt::black);
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(1, 1, 13, 13); // the case
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 7, 5); // the label
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(4, 9, 7, 5); // the shutter
    p.fillRect(8, 10, 2, 3, QColor(0, 0, 128));
    return icon_from(img);
}

QIcon open_folder_icon() {
    QImage img(21, 20, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(96, 64, 0));
    p.setBrush(QColor(224, 176, 64));
    p.drawPolygon(QPolygon({{1, 4}, {7, 4}, {9, 6}, {16, 6}, {16, 17}, {1, 17}})); // back
    p.setBrush(QColor(255, 216, 96));
    p.drawPolygon(QPolygon({{4, 9}, {20, 9}, {16, 17}, {1, 17}})); // open flap
    p.setPen(QPen(QColor(0, 96, 0), 1.5));
    p.drawLine(13, 4, 17, 1); // arrow out
    p.drawLine(17, 1, 17, 4);
    return icon_from(img);
}

QIcon program_icon() {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // a sample under crossed polarizers: a disc in false colour with an extinction cross
    QConicalGradient g(16, 16, 90);
    g.setColorAt(0.0, QColor(255, 0, 249));
    g.setColorAt(0.25, QColor(64, 128, 209));
    g.setColorAt(0.5, QColor(128, 255, 151));
    g.setColorAt(0.75, QColor(200, 100, 0));
    g.setColorAt(1.0, QColor(255, 0, 249));
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(g);
    p.drawEllipse(2, 2, 28, 28);
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(16, 3, 16, 29);
    p.drawLine(3, 16, 29, 16);
    return icon_from(img);
}

} // namespace artwork
