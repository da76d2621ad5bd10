// Each handler runs for the signal that fires whenever its control's value changes, from
// code or by hand; the layer's connection deals with what it raises (ui/handlers.h).
#include "form.h"
#include "ui/handlers.h"

#include <utility>

namespace {

using Handler = void (TForm1::*)();

std::function<void()> handler(TForm1* form, Handler h) {
    return [form, h] { (form->*h)(); };
}

} // namespace

void TForm1::connect_handlers() {
    connect_value_controls();
    connect_buttons();
    connect_result_images();
}

// Track bars, the check box, radio buttons and edits.
void TForm1::connect_value_controls() {
    const std::pair<QSlider*, Handler> sliders[] = {
        {TrackBar1, &TForm1::TrackBar1Change},
        {TrackBar2, &TForm1::TrackBar2Change},
        {TrackBar3, &TForm1::TrackBar3Change},
        {TrackBar4, &TForm1::sindthreshhold1Change},
        {sindthreshhold1, &TForm1::sindthreshhold1Change},
        {Integrations, &TForm1::IntegrationsChange}};
    for (auto [slider, h] : sliders) ui::on_change(slider, this, handler(this, h));
    ui::on_toggle(CheckBox1, this, handler(this, &TForm1::CheckBox1Click));

    const std::pair<QRadioButton*, Handler> radio[] = {{RadioButton1, &TForm1::RadioButton1Click},
                                                       {RadioButton2, &TForm1::RadioButton2Click},
                                                       {RadioButton6, &TForm1::RadioButton6Click},
                                                       {RadioButton7, &TForm1::RadioButton6Click},
                                                       {red, &TForm1::redClick},
                                                       {green, &TForm1::redClick},
                                                       {blue, &TForm1::redClick},
                                                       {monochrome, &TForm1::redClick},
                                                       {ob04, &TForm1::ob04Click},
                                                       {Ob10, &TForm1::Ob10Click},
                                                       {Ob20, &TForm1::Ob20Click},
                                                       {Ob40, &TForm1::Ob40Click}};
    for (auto [button, h] : radio) ui::on_checked(button, this, handler(this, h));

    const std::pair<QLineEdit*, Handler> edits[] = {
        {Edit6, &TForm1::Edit6Change}, {Edit2, &TForm1::Edit2Change}, {Edit3, &TForm1::Edit3Change},
        {Edit4, &TForm1::Edit4Change}, {Edit5, &TForm1::Edit5Change}, {nm, &TForm1::nmChange}};
    for (auto [edit, h] : edits) ui::on_change(edit, this, handler(this, h));
}

void TForm1::connect_buttons() {
    const std::pair<QAbstractButton*, Handler> buttons[] = {
        {Start_Sequence, &TForm1::Start_SequenceClick},
        {SpeedButton1, &TForm1::Save_all_imagesClick},
        {Openimages, &TForm1::OpenimagesClick},
        {CapturePIN, &TForm1::CapturePINClick},
        {Capture, &TForm1::CaptureClick},
        {Button2, &TForm1::Button2Click},
        {Button3, &TForm1::Button3Click},
        {Button4, &TForm1::Button4Click},
        {Button5, &TForm1::Button5Click},
        {Button6, &TForm1::Button6Click},
        {Collectbackgroundimages, &TForm1::CollectbackgroundimagesClick}};
    for (auto [button, h] : buttons) ui::on_click(button, this, handler(this, h));
    ui::on_pick(combobox1, this, handler(this, &TForm1::combobox1Change),
                handler(this, &TForm1::combobox1Click));
}

// The result images: a single click runs "...DblClick", a double click reloadimages.
void TForm1::connect_result_images() {
    using MouseHandler = void (TForm1::*)(const ui::MouseEvent&);
    const struct {
        ui::Picture* image;
        MouseHandler down, move, up;
        Handler click;
    } images[] = {{Image1, &TForm1::Image1MouseDown, &TForm1::Image1MouseMove,
                   &TForm1::Image1MouseUp, &TForm1::Image1DblClick},
                  {Image2, &TForm1::Image2MouseDown, &TForm1::Image2MouseMove,
                   &TForm1::Image2MouseUp, &TForm1::Image2DblClick},
                  {Image3, &TForm1::Image3MouseDown, &TForm1::Image3MouseMove,
                   &TForm1::Image3MouseUp, &TForm1::Image3DblClick}};
    auto mouse = [this](MouseHandler h) {
        return [this, h](const ui::MouseEvent& e) { (this->*h)(e); };
    };
    for (const auto& i : images) {
        i.image->on_mouse_down = mouse(i.down);
        i.image->on_mouse_move = mouse(i.move);
        i.image->on_mouse_up = mouse(i.up);
        i.image->on_click = handler(this, i.click);
        i.image->on_double_click = handler(this, &TForm1::reloadimages);
    }
}
