// How the window's handlers run. A handler runs for a Qt signal or event (a value that
// changed, a button, a timer, a mouse event) and may raise; its exception never unwinds
// through Qt's own frames, which leave that undefined. The one connection below catches
// it where Qt called the handler, and:
// - when the signal was emitted by one of the layer's setters, called by the program's own
//   code, keeps it; the setter raises it again once the value is set, so it ends the code
//   that set the value, as a direct call of the handler would;
// - otherwise (the operator's action, a timer, a device event) shows it in the
//   application's standard error box, and the program goes on.
// Event loops run by the layer (waits, modal boxes) start afresh: a handler that raises
// inside them reports to the error box, not to a setter further out.
#pragma once

#include <QString>

#include <exception>
#include <functional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QObject;
class QRadioButton;
class QSlider;

namespace ui {

class Dialogs;

// The application's standard error box; without one the text goes to standard error.
void set_error_box(Dialogs* box);
// Shows an exception in the standard error box with its own text.
void show_error(std::exception_ptr error);

// Runs `handler` as the connection does: see above.
void run_handler(const std::function<void()>& handler);

// The connections, each for the signal that runs the handler whenever the value changes,
// from code or by the operator. `context` ends the connection when it goes away.
void on_change(QSlider* control, QObject* context, std::function<void()> handler);
void on_change(QLineEdit* control, QObject* context, std::function<void()> handler);
void on_toggle(QCheckBox* control, QObject* context, std::function<void()> handler);
// A radio button's click handler runs when it becomes checked, by code or by hand.
void on_checked(QRadioButton* control, QObject* context, std::function<void()> handler);
void on_click(QAbstractButton* control, QObject* context, std::function<void()> handler);
// An editable combo box: `click` when the operator picks an item from the list, `change`
// when the operator types in its field. Filling the list or setting its text from code
// runs neither.
void on_pick(QComboBox* control, QObject* context, std::function<void()> change,
             std::function<void()> click);

// The setters for the program's own code. Each sets the value, which runs the control's
// handler when the value changes, and then raises what that handler raised.
void set_position(QSlider* control, int position);
// A new range moves a position that falls outside it, which runs the handler too.
void set_range(QSlider* control, int minimum, int maximum);
void set_text(QLineEdit* control, const QString& text);
void set_checked(QCheckBox* control, bool checked);
// Checking runs the button's click handler; unchecking runs nothing. The checked button
// of a group can be unchecked too (Qt alone refuses that).
void set_checked(QRadioButton* control, bool checked);

// While it lives, handlers report to the error box, not to a setter further out. Every
// nested event loop of the layer runs inside one.
class EventLoopScope {
  public:
    EventLoopScope();
    ~EventLoopScope();
    EventLoopScope(const EventLoopScope&) = delete;
    EventLoopScope& operator=(const EventLoopScope&) = delete;

  private:
    void* outer_;
};

} // namespace ui
