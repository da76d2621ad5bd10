#include "handlers.h"

#include "dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include <cstdio>
#include <utility>

namespace ui {

namespace {

Dialogs* error_box = nullptr;

// The setter that is running on the GUI thread, innermost first; null inside a fresh
// event loop. Everything here runs on the GUI thread only.
struct SetterFrame {
    std::exception_ptr raised;
};
SetterFrame* current_setter = nullptr;

// Sets a value through Qt and then raises what a handler raised meanwhile.
template <class Set> void through_setter(Set set) {
    SetterFrame frame;
    struct Restore {
        SetterFrame* outer;
        ~Restore() { current_setter = outer; }
    } restore{std::exchange(current_setter, &frame)};
    set();
    if (frame.raised) std::rethrow_exception(frame.raised);
}

QString error_text(std::exception_ptr error) {
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace

void set_error_box(Dialogs* box) {
    error_box = box;
}

void show_error(std::exception_ptr error) {
    const QString text = error_text(std::move(error));
    if (error_box)
        error_box->error(text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

void run_handler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        if (!current_setter)
            show_error(std::current_exception());
        else if (!current_setter->raised)
            current_setter->raised = std::current_exception();
    }
}

EventLoopScope::EventLoopScope() : outer_(std::exchange(current_setter, nullptr)) {}
EventLoopScope::~EventLoopScope() {
    current_setter = static_cast<SetterFrame*>(outer_);
}

void on_change(QSlider* control, QObject* context, std::function<void()> handler) {
    QObject::connect(control, &QSlider::valueChanged, context,
                     [h = std::move(handler)] { run_handler(h); });
}

void on_change(QLineEdit* control, QObject* context, std::function<void()> handler) {
    QObject::connect(control, &QLineEdit::textChanged, context,
                     [h = std::move(handler)] { run_handler(h); });
}

void on_toggle(QCheckBox* control, QObject* context, std::function<void()> handler) {
    QObject::connect(control, &QCheckBox::toggled, context,
                     [h = std::move(handler)] { run_handler(h); });
}

void on_checked(QRadioButton* control, QObject* context, std::function<void()> handler) {
    QObject::connect(control, &QRadioButton::toggled, context, [h = std::move(handler)](bool on) {
        if (on) run_handler(h);
    });
}

void on_click(QAbstractButton* control, QObject* context, std::function<void()> handler) {
    QObject::connect(control, &QAbstractButton::clicked, context,
                     [h = std::move(handler)] { run_handler(h); });
}

void on_pick(QComboBox* control, QObject* context, std::function<void()> change,
             std::function<void()> click) {
    QObject::connect(control, &QComboBox::activated, context, [click] { run_handler(click); });
    if (QLineEdit* field = control->lineEdit())
        QObject::connect(field, &QLineEdit::textEdited, context, [change] { run_handler(change); });
}

void set_position(QSlider* control, int position) {
    through_setter([&] { control->setValue(position); });
}

void set_range(QSlider* control, int minimum, int maximum) {
    through_setter([&] { control->setRange(minimum, maximum); });
}

void set_text(QLineEdit* control, const QString& text) {
    through_setter([&] { control->setText(text); });
}

void set_checked(QCheckBox* control, bool checked) {
    through_setter([&] { control->setChecked(checked); });
}

void set_checked(QRadioButton* control, bool checked) {
    through_setter([&] {
        if (checked || !control->isChecked()) {
            control->setChecked(checked);
            return;
        }
        if (QButtonGroup* group = control->group()) {
            group->setExclusive(false);
            control->setChecked(false);
            group->setExclusive(true);
            return;
        }
        control->setAutoExclusive(false);
        control->setChecked(false);
        control->setAutoExclusive(true);
    });
}

} // namespace ui
