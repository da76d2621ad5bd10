// A picture control: it holds an image, shows it stretched to its own size (or at its
// natural size at the top left), and is drawn on through its canvas. Mouse presses,
// moves, releases, clicks and double clicks reach the handlers set on it, in control
// coordinates, through the layer's connection (handlers.h).
//
// A click is a press and a release of the left button over the control. A double click
// of the left button runs, in this order: press, release, click, double click, release;
// the second press of the pair is the double click itself, so it runs no press handler
// and its release no click. Other buttons run press and release only.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

class QFont;
class QPainter;

namespace ui {

struct MouseEvent {
    Qt::MouseButton button;   // the button that went down or up; none for a move
    Qt::MouseButtons buttons; // the buttons held after the event
    Qt::KeyboardModifiers modifiers;
    int x, y;
};

class Picture : public QWidget {
  public:
    explicit Picture(QWidget* parent = nullptr);

    const QImage& picture() const { return picture_; }
    // The image becomes 32 bits per pixel (Format_RGB32).
    void set_picture(const QImage& image);
    void set_stretch(bool stretch) {
        stretch_ = stretch;
        update();
    }
    bool stretch() const { return stretch_; }

    // A bitmap file through the project's codec, every variant it reads. The old picture
    // stays when the file cannot be read; false then.
    bool load_file(const QString& path);

    // Draws on the picture itself (its pixels change) and shows the result.
    void draw(const std::function<void(QPainter&)>& paint);
    // The selection rectangle and a text drawn on the picture as canvas.h describes them.
    void xor_rectangle(int left, int top, int right, int bottom);
    void text_out(int x, int y, const QString& text, const QFont& font);

    using MouseHandler = std::function<void(const MouseEvent&)>;
    MouseHandler on_mouse_down, on_mouse_move, on_mouse_up;
    std::function<void()> on_click, on_double_click;

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

  private:
    void show_changes();

    QImage picture_;
    bool stale_ = false; // changed while its window was minimized
    bool stretch_ = false;
    bool pressed_ = false; // a press over the control that a release makes a click
};

} // namespace ui
