// A picture control: it holds an image, shows it stretched to its own size (or at its
// natural size at the top left), and is drawn on through its canvas. Mouse presses,
// moves, releases, clicks and double clicks reach the handlers set on it, in picture
// control coordinates.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

class QPainter;

namespace ui {

class Picture : public QWidget {
public:
    explicit Picture(QWidget* parent = nullptr);

    const QImage& picture() const { return picture_; }
    void set_picture(const QImage& image);
    void set_stretch(bool stretch) { stretch_ = stretch; update(); }
    bool stretch() const { return stretch_; }

    // Draws on the picture itself (its pixels change) and shows the result.
    void draw(const std::function<void(QPainter&)>& paint);
    // An exclusive-or rectangle outline in picture coordinates; drawn twice it vanishes.
    void xor_rectangle(const QRect& r);

    using MouseHandler = std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)>;
    MouseHandler on_mouse_down, on_mouse_move, on_mouse_up;
    std::function<void()> on_click, on_double_click;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    QImage picture_;
    bool stretch_ = false;
    bool pressed_ = false;
};

}  // namespace ui
