#include "picture.h"

#include "bitmap_file.h"
#include "handlers.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace ui {

namespace {

MouseEvent mouse_event(const QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    return {e->button(), e->buttons(), e->modifiers(), at.x(), at.y()};
}

void run(const Picture::MouseHandler& handler, const QMouseEvent* e) {
    if (handler) run_handler([&] { handler(mouse_event(e)); });
}

} // namespace

Picture::Picture(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
}

void Picture::set_picture(const QImage& image) {
    picture_ = image.convertToFormat(QImage::Format_RGB32); // shared when it is one already
    update();
}

bool Picture::load_file(const QString& path) {
    QImage image;
    if (read_bitmap(path, image) != bmp::Status::ok) return false;
    set_picture(image);
    return true;
}

bool Picture::save_file(const QString& path) const {
    return write_bitmap(path, picture_);
}

void Picture::draw(const std::function<void(QPainter&)>& paint) {
    if (picture_.isNull()) return;
    {
        QPainter p(&picture_);
        paint(p);
    }
    update();
}

void Picture::text_out(int x, int y, const QString& text, const QFont& font) {
    draw([&](QPainter& p) {
        const QFontMetrics metrics(font);
        p.fillRect(x, y, metrics.horizontalAdvance(text), metrics.height(), Qt::white);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(x, y + metrics.ascent(), text);
    });
}

void Picture::xor_rectangle(int left, int top, int right, int bottom) {
    // inside the one-pixel border; the border itself is xor'ed with black, a no-op
    const int x0 = std::max(std::min(left, right) + 1, 0);
    const int x1 = std::min(std::max(left, right) - 1, picture_.width());
    const int y0 = std::max(std::min(top, bottom) + 1, 0);
    const int y1 = std::min(std::max(top, bottom) - 1, picture_.height());
    for (int y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture_.scanLine(y));
        for (int x = x0; x < x1; ++x) row[x] ^= 0x00ffffffu;
    }
    update();
}

void Picture::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    if (stretch_)
        p.drawImage(rect(), picture_);
    else
        p.drawImage(QPoint(0, 0), picture_);
}

void Picture::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) pressed_ = true;
    run(on_mouse_down, e);
}

void Picture::mouseMoveEvent(QMouseEvent* e) {
    run(on_mouse_move, e);
}

void Picture::mouseReleaseEvent(QMouseEvent* e) {
    const bool click =
        e->button() == Qt::LeftButton && pressed_ && rect().contains(e->position().toPoint());
    if (e->button() == Qt::LeftButton) pressed_ = false;
    run(on_mouse_up, e);
    if (click && on_click) run_handler(on_click);
}

// Qt delivers the second press of a double click as this event alone. Clicks and double
// clicks are the left button's; for another button it is a press like the first.
void Picture::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        run(on_mouse_down, e);
        return;
    }
    pressed_ = false;
    if (on_double_click) run_handler(on_double_click);
}

} // namespace ui
