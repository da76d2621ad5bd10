#include "picture.h"

#include "handlers.h"
#include "logic/bitmap_file.h"
#include "logic/canvas.h"

#include <QMouseEvent>
#include <QPainter>

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
    show_changes();
}

// A picture nobody can see is not drawn: a hidden control is drawn whole when it shows
// again, one of a minimized window when the window is restored.
void Picture::show_changes() {
    if (!window()->isMinimized()) {
        if (isVisible()) update();
        return;
    }
    if (!stale_) window()->installEventFilter(this);
    stale_ = true;
}

bool Picture::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::WindowStateChange && stale_ && !window()->isMinimized()) {
        watched->removeEventFilter(this);
        stale_ = false;
        update();
    }
    return QWidget::eventFilter(watched, e);
}

bool Picture::load_file(const QString& path) {
    QImage image;
    if (bitmap_file::read(path, image) != bmp::Status::ok) return false;
    set_picture(image);
    return true;
}

void Picture::draw(const std::function<void(QPainter&)>& paint) {
    if (picture_.isNull()) return;
    {
        QPainter p(&picture_);
        paint(p);
    }
    show_changes();
}

void Picture::text_out(int x, int y, const QString& text, const QFont& font) {
    canvas::text_out(picture_, x, y, text, font);
    show_changes();
}

void Picture::xor_rectangle(int left, int top, int right, int bottom) {
    canvas::xor_rectangle(picture_, left, top, right, bottom);
    show_changes();
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
