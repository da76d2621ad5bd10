#include "picture.h"

#include <QMouseEvent>
#include <QPainter>

namespace ui {

Picture::Picture(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void Picture::set_picture(const QImage& image) {
    picture_ = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    update();
}

void Picture::draw(const std::function<void(QPainter&)>& paint) {
    if (picture_.isNull()) return;
    {
        QPainter p(&picture_);
        paint(p);
    }
    update();
}

void Picture::xor_rectangle(const QRect& r) {
    draw([&](QPainter& p) {
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.normalized().adjusted(0, 0, -1, -1));
    });
}

void Picture::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    if (stretch_) p.drawImage(rect(), picture_);
    else p.drawImage(QPoint(0, 0), picture_);
}

void Picture::mousePressEvent(QMouseEvent* e) {
    pressed_ = true;
    const QPoint at = e->position().toPoint();
    if (on_mouse_down) on_mouse_down(e->button(), e->modifiers(), at.x(), at.y());
}

void Picture::mouseMoveEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (on_mouse_move) on_mouse_move(Qt::NoButton, e->modifiers(), at.x(), at.y());
}

void Picture::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    const bool was_pressed = pressed_;
    pressed_ = false;
    if (on_mouse_up) on_mouse_up(e->button(), e->modifiers(), at.x(), at.y());
    if (was_pressed && rect().contains(at) && on_click) on_click();
}

void Picture::mouseDoubleClickEvent(QMouseEvent* e) {
    pressed_ = true;
    const QPoint at = e->position().toPoint();
    if (on_mouse_down) on_mouse_down(e->button(), e->modifiers(), at.x(), at.y());
    if (on_double_click) on_double_click();
}

}  // namespace ui
