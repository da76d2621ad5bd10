// Readings over a dragged rectangle of the result images, the objectives and their
// image scales.
#include "form.h"
#include "logic/numbers.h"
#include "logic/objectives.h"
#include "logic/reading_values.h"
#include "ui/wait.h"

#include <QRect>

namespace {

// The selection's columns and rows, both ends included, whichever way it was dragged.
QRect area(const TForm1::Readings::Rectangle& r) {
    return QRect(QPoint(std::min(r.left, r.right), std::min(r.top, r.bottom)),
                 QPoint(std::max(r.left, r.right), std::max(r.top, r.bottom)));
}

} // namespace

void TForm1::Image1MouseDown(const ui::MouseEvent& e) {
    result_mouse_down(result_kinds::transmission, e);
}
void TForm1::Image1MouseMove(const ui::MouseEvent& e) {
    result_mouse_move(result_kinds::transmission, e);
}
void TForm1::Image1MouseUp(const ui::MouseEvent&) {
    readings.tracking = false;
}
void TForm1::Image1DblClick() {
    readings.tracking = false;
}
void TForm1::Image2MouseDown(const ui::MouseEvent& e) {
    result_mouse_down(result_kinds::retardation, e);
}
void TForm1::Image2MouseMove(const ui::MouseEvent& e) {
    result_mouse_move(result_kinds::retardation, e);
}
void TForm1::Image2MouseUp(const ui::MouseEvent&) {
    readings.tracking = false;
}
void TForm1::Image2DblClick() {
    readings.tracking = false;
}
void TForm1::Image3MouseDown(const ui::MouseEvent& e) {
    result_mouse_down(result_kinds::angle, e);
}
void TForm1::Image3MouseMove(const ui::MouseEvent& e) {
    result_mouse_move(result_kinds::angle, e);
}
void TForm1::Image3MouseUp(const ui::MouseEvent&) {
    readings.tracking = false;
}
void TForm1::Image3DblClick() {
    readings.tracking = false;
}

// A press starts from clean copies of the result images; the right button does nothing
// more. Mouse handlers stay silent on every failure.
void TForm1::result_mouse_down(result_kinds::Kind pressed, const ui::MouseEvent& e) {
    try {
        reloadimages();
        if (pressed == result_kinds::transmission) {
            ui::process_messages();
            ui::pause(100);
        }
        if (e.buttons & Qt::RightButton) return;
        readings.tracking = true;
        ui::Picture* control = result_view(pressed).image;
        if (e.buttons & Qt::LeftButton) {
            int x = e.x, y = e.y;
            reading::transformx(control->width(), 240, x, y, display.result_width,
                                display.result_height);
            readings.selection = readings.drawn = {x, y, x, y};
        }
        Image10->set_picture(control->picture()); // before any rectangle is drawn on it
    } catch (...) {
    }
}

// Moves the drawn rectangle with the pointer, and computes the readings at most once per
// 500 ms (Timer10): the pressed image's own at once, the other two from their timers.
void TForm1::result_mouse_move(result_kinds::Kind pressed, const ui::MouseEvent& e) {
    try {
        ui::Picture* control = result_view(pressed).image;
        if ((e.buttons & Qt::LeftButton) && readings.tracking) {
            for (ui::Label* l : {Label34, Label35, Label36}) l->setVisible(true);
            const auto& d = readings.drawn;
            control->xor_rectangle(d.left, d.top, d.right, d.bottom); // erases the last one
            int x = e.x, y = e.y;
            reading::transformx(control->width(), 240, x, y, display.result_width,
                                display.result_height);
            auto& s = readings.selection;
            s.right = x;
            s.bottom = y;
            control->xor_rectangle(s.left, s.top, s.right, s.bottom);
            readings.drawn = s;
        }
        if (!readings.tracking || Timer10->enabled()) return;
        if (pressed != result_kinds::retardation) ui::process_messages();
        Image6->set_picture(Image10->picture());
        write_reading(pressed);
        // the other two images are read by their timers
        for (int other = 0; other < result_kinds::count; ++other)
            if (other != pressed)
                result_view(result_kinds::Kind(other)).reading_timer->setEnabled(true);
        Timer10->setEnabled(true);
    } catch (...) {
    }
}

// The reading of a result kind over the selection of the reading buffer, into its label. A
// selection wholly outside the bitmap leaves the label as it was.
void TForm1::write_reading(result_kinds::Kind kind) {
    const QImage& buffer = Image6->picture();
    const QRect selected = area(readings.selection);
    ui::Label* label = result_view(kind).reading;
    switch (kind) {
    case result_kinds::transmission:
        if (const auto mean = reading::arithmetic_mean(buffer, selected); mean.value)
            label->set_caption(reading::transmission_text(*mean.value, display.shown_calibrated));
        break;
    case result_kinds::retardation:
        if (const auto mean = reading::arithmetic_mean(buffer, selected); mean.value)
            label->set_caption(reading::sind_text(*mean.value, shown_maximum(), mean.at_top > 0));
        break;
    case result_kinds::angle:
        if (const auto mean = reading::axial_mean(buffer, selected); mean.pixels > 0)
            label->set_caption(reading::phi_text(mean.value));
        break;
    }
}

// Each reading timer reads its own image's current picture.
void TForm1::reading_timer(result_kinds::Kind kind) {
    const ResultView view = result_view(kind);
    view.reading_timer->setEnabled(false);
    Image6->set_picture(view.image->picture());
    ui::process_messages();
    write_reading(kind);
}

void TForm1::Timer7Timer() {
    reading_timer(result_kinds::angle);
}
void TForm1::Timer8Timer() {
    reading_timer(result_kinds::transmission);
}
void TForm1::Timer9Timer() {
    reading_timer(result_kinds::retardation);
}
void TForm1::Timer10Timer() {
    Timer10->setEnabled(false);
}

void TForm1::ob04Click() {
    Legend();
}
void TForm1::Ob10Click() {
    Legend();
}
void TForm1::Ob20Click() {
    Legend();
}
void TForm1::Ob40Click() {
    Legend();
}

void TForm1::Edit2Change() {
    image_scale_changed(0);
}
void TForm1::Edit3Change() {
    image_scale_changed(1);
}
void TForm1::Edit4Change() {
    image_scale_changed(2);
}
void TForm1::Edit5Change() {
    image_scale_changed(3);
}

// A number from 0 to 1000 mm becomes the objective's image scale; anything else (an empty
// field while the operator types, a scale no field of view has) leaves it as it was.
void TForm1::image_scale_changed(size_t objective) {
    const auto scale = numbers::parse_decimal(objective_controls()[objective].scale->text());
    if (scale && objectives::is_image_scale(*scale)) readings.image_scale[objective] = *scale;
}
