// The life of the main window: creation, activation, closing, and the settings file.
#include "VexolanUpdate/update_form.h"
#include "file_replace.h"
#include "form.h"
#include "main/version.h"
#include "numbers.h"
#include "settings_file.h"
#include "ui/handlers.h"
#include "ui/wait.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>

#include <utility>

namespace {

const char* const settings_name = "vexolan.ini";

} // namespace

// Controller events reach the window's handlers through this sink.
class TForm1::StepperEvents : public stepper::Events {
  public:
    explicit StepperEvents(TForm1& form) : form_(form) {}
    void attached() override {
        form_.motor.present = true;
        form_.Phidget21COMIPhidgetStepperEvents1Attach();
    }
    void detached() override {
        form_.motor.present = false;
        form_.Phidget21COMIPhidgetStepperEvents1Detach();
    }
    void position_changed(int index, int steps) override {
        form_.Phidget21COMIPhidgetStepperEvents1PositionChange(index, steps);
    }

  private:
    TForm1& form_;
};

TForm1::TForm1(Environment env, TFormupdate* update_window)
    : Formupdate(update_window), env_(std::move(env)) {
    // the start-up values of the window's state
    shell.program_folder = shell.measurement_folder = env_.program_folder;
    build_window();
    build_timers();
    try {
        if (env_.camera_factory) VLDSCapture1 = env_.camera_factory();
    } catch (const capture::Error&) {
        // without a capture component every camera operation fails, as capture() says
    }
    if (VLDSCapture1)
        VLDSCapture1->on_frame = [this](const QImage& frame) {
            ui::run_handler([&] { VLGenericFilter1ProcessData(frame); });
        };
    connect_handlers();
    FormCreate();
}

TForm1::~TForm1() {
    // devices must not call back into a window that is going away
    if (motor.controller) motor.controller->connect_events(nullptr);
    if (VLDSCapture1) VLDSCapture1->on_frame = nullptr;
}

void TForm1::connect_handlers() {
    // each handler runs for the signal that fires whenever the value changes, from code
    // or by hand; the layer's connection deals with what it raises
    auto handler = [this](void (TForm1::*h)()) { return [this, h] { (this->*h)(); }; };
    ui::on_change(TrackBar1, this, handler(&TForm1::TrackBar1Change));
    ui::on_change(TrackBar2, this, handler(&TForm1::TrackBar2Change));
    ui::on_change(TrackBar3, this, handler(&TForm1::TrackBar3Change));
    ui::on_change(TrackBar4, this, handler(&TForm1::sindthreshhold1Change));
    ui::on_change(sindthreshhold1, this, handler(&TForm1::sindthreshhold1Change));
    ui::on_change(Integrations, this, handler(&TForm1::IntegrationsChange));
    ui::on_toggle(CheckBox1, this, handler(&TForm1::CheckBox1Click));

    const std::pair<QRadioButton*, void (TForm1::*)()> radio[] = {
        {RadioButton1, &TForm1::RadioButton1Click},
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
    for (auto [button, h] : radio) ui::on_checked(button, this, handler(h));

    const std::pair<QLineEdit*, void (TForm1::*)()> edits[] = {
        {Edit6, &TForm1::Edit6Change}, {Edit2, &TForm1::Edit2Change}, {Edit3, &TForm1::Edit3Change},
        {Edit4, &TForm1::Edit4Change}, {Edit5, &TForm1::Edit5Change}, {nm, &TForm1::nmChange}};
    for (auto [edit, h] : edits) ui::on_change(edit, this, handler(h));

    const std::pair<QAbstractButton*, void (TForm1::*)()> buttons[] = {
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
    for (auto [button, h] : buttons) ui::on_click(button, this, handler(h));
    ui::on_pick(combobox1, this, handler(&TForm1::combobox1Change),
                handler(&TForm1::combobox1Click));

    // the result images: a single click runs "...DblClick", a double click reloadimages
    using MouseHandler = void (TForm1::*)(const ui::MouseEvent&);
    const struct {
        ui::Picture* image;
        MouseHandler down, move, up;
        void (TForm1::*click)();
    } images[] = {{Image1, &TForm1::Image1MouseDown, &TForm1::Image1MouseMove,
                   &TForm1::Image1MouseUp, &TForm1::Image1DblClick},
                  {Image2, &TForm1::Image2MouseDown, &TForm1::Image2MouseMove,
                   &TForm1::Image2MouseUp, &TForm1::Image2DblClick},
                  {Image3, &TForm1::Image3MouseDown, &TForm1::Image3MouseMove,
                   &TForm1::Image3MouseUp, &TForm1::Image3DblClick}};
    for (const auto& i : images) {
        auto mouse = [this](MouseHandler h) {
            return [this, h](const ui::MouseEvent& e) { (this->*h)(e); };
        };
        i.image->on_mouse_down = mouse(i.down);
        i.image->on_mouse_move = mouse(i.move);
        i.image->on_mouse_up = mouse(i.up);
        i.image->on_click = handler(i.click);
        i.image->on_double_click = handler(&TForm1::reloadimages);
    }
}

bool TForm1::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::WindowDeactivate:
        // The start-up work runs again when the window comes back from the program's own
        // boxes and windows, but not when the operator comes back from another program (no
        // window of this one is active now), nor when a box that the start-up work itself
        // showed closes, however late that activation arrives.
        shell.skip_next_activation = QApplication::activeWindow() == nullptr || shell.activating;
        break;
    case QEvent::WindowActivate:
        if (!std::exchange(shell.skip_next_activation, false))
            ui::run_handler([this] { FormActivate(); });
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

void TForm1::closeEvent(QCloseEvent* e) {
    bool closes = false;
    ui::run_handler([&] { closes = FormClose(); }); // a failure is shown; the window stays open
    e->setAccepted(closes);
}

void TForm1::resizeEvent(QResizeEvent* e) {
    // only the page control follows the window's size
    PageControl1->setGeometry(rect());
    QWidget::resizeEvent(e);
}

stepper::Controller& TForm1::controller() {
    // without a controller object every controller operation fails, as it would on a
    // system without the controller's software
    if (!motor.controller) throw stepper::Error("The stepper controller is not available.");
    return *motor.controller;
}

capture::Camera& TForm1::capture() {
    if (!VLDSCapture1) throw capture::Error("The video capture component is not available.");
    return *VLDSCapture1;
}

// ---- creation ----

void TForm1::FormCreate() {
    shell.program_folder = env_.program_folder;
    if (QFile::exists(shell.program_folder + settings_name))
        read_settings_file();
    else if (env_.first_start)
        apply_first_start(*env_.first_start);
    motor.selected = 0;
    motor.attached = false;
    motor.controls = false;
    try {
        motor.controller = env_.stepper_factory();
        stepper_events_ = std::make_unique<StepperEvents>(*this);
        motor.controller->connect_events(stepper_events_.get());
        Label1->set_caption(QString());
        TrackBar1->setEnabled(false);
        TrackBar2->setEnabled(false);
        TrackBar3->setEnabled(false);
        Memo1->clear();
        motor.controller->open(-1);
        for (int i = 0; i < motor.count; ++i)
            motor.controller->set_current_position(motor.selected, 0);
        PageControl1->setCurrentWidget(TabSheet2);
    } catch (const std::exception&) {
        // the controller object is missing or failed: the rest of the creation is skipped
        ui::show_error(std::current_exception());
    }
}

// The groups of the file in their order. A group is read only when the file has not
// ended before it; a word where a number belongs stops the reading, and everything read
// before it stands.
void TForm1::read_settings_file() {
    QFile file(shell.program_folder + settings_name);
    if (!file.open(QIODevice::ReadOnly)) return;
    settings::Reader in(file.readAll());
    auto four = [&](std::array<int32_t, 4>& values) {
        if (in.eof()) return;
        for (int32_t& v : values) {
            v = in.integer();
            in.next_line();
        }
    };
    try {
        if (!in.eof()) camera.video_driver_name = in.line();
        four(motor.steps_per_turn);
        four(motor.acceleration);
        four(motor.speed);
        if (!in.eof()) {
            camera.resolution = in.integer();
            in.next_line();
        }
        if (!in.eof()) {
            for (long double& s : readings.image_scale) s = in.real();
            in.next_line();
            QLineEdit* edits[4] = {Edit2, Edit3, Edit4, Edit5};
            for (int i = 0; i < 4; ++i)
                ui::set_text(edits[i], numbers::shortest_local(readings.image_scale[i]));
        }
        if (!in.eof()) {
            int32_t flags[14];
            for (int32_t& f : flags) f = in.integer();
            in.next_line();
            // positions 5, 6, 11 and 12 are read and ignored
            const std::pair<QRadioButton*, int> buttons[] = {
                {red, 0},  {green, 1}, {blue, 2}, {monochrome, 3},   {ob04, 6},
                {Ob10, 7}, {Ob20, 8},  {Ob40, 9}, {orthoscopic, 12}, {conoscopic, 13}};
            for (auto [button, at] : buttons) ui::set_checked(button, flags[at] == 1);
        }
        if (!in.eof()) ui::set_text(darklevel, in.line());
        if (!in.eof()) {
            integration.count = in.integer();
            in.next_line();
            ui::set_position(Integrations, integration.count);
        }
        if (!in.eof()) {
            for (int32_t& s : motor.sense) s = in.integer();
            in.next_line();
        }
        ui::set_checked(motor.sense[0] == 1 ? RadioButton6 : RadioButton7, true);
        if (!in.eof()) camera.software_path = in.line();
    } catch (const settings::BadItem&) {
        // a file the program did not write: the rest keeps its start-up values
    }
}

// A first start on known devices: the camera, and motor 1 as its stage needs it.
void TForm1::apply_first_start(const FirstStart& settings) {
    camera.video_driver_name = settings.camera;
    motor.steps_per_turn[0] = settings.steps_per_turn;
    motor.sense[0] = settings.sense;
    motor.speed[0] = settings.speed;
    motor.acceleration[0] = settings.acceleration;
    ui::set_checked(settings.sense == 1 ? RadioButton6 : RadioButton7, true);
}

void TForm1::write_settings_file() {
    settings::Writer out;
    auto flag = [](const QRadioButton* b) { return b->isChecked() ? 1 : 0; };
    const auto& m = motor;
    QString device = QStringLiteral("None");
    try {
        device = capture().device_name();
    } catch (const capture::Error&) {
        // no capture component: no device
    }
    out.line(device);
    for (const auto* values : {&m.steps_per_turn, &m.acceleration, &m.speed})
        for (int32_t v : *values) out.integers({v});
    out.integers({camera.resolution});
    const auto& scale = readings.image_scale;
    out.reals({scale[0], scale[1], scale[2], scale[3]});
    out.integers({flag(red), flag(green), flag(blue), flag(monochrome), 0, 0, flag(ob04),
                  flag(Ob10), flag(Ob20), flag(Ob40), 0, 0, flag(orthoscopic), flag(conoscopic)});
    out.line(darklevel->text());
    out.integers({integration.count});
    out.integers({m.sense[0], m.sense[1], m.sense[2], m.sense[3]});
    out.line(camera.software_path);
    const QByteArray path = QFile::encodeName(shell.program_folder + settings_name);
    // a failed write is not reported; the old file then stays as it was
    fileio::replace_file(path.toStdString(), out.text().constData(),
                         static_cast<size_t>(out.text().size()), true);
}

// ---- activation ----

void TForm1::FormActivate() {
    if (camera.chosen || shell.activating) return;
    // a message box closing inside this work activates the window again: that nested
    // activation does nothing
    shell.activating = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{shell.activating};

    if (Formupdate && Formupdate->Checkforupdates1Click()) return;
    if (integration.window_closed) return; // the window was closed while the check ran
    setWindowTitle(QStringLiteral("Vexolan  Version ") + numbers::shortest(program_version));

    // the capture layer lists the devices; selecting the first one runs no handler
    combobox1->clear();
    try {
        combobox1->addItems(capture().devices());
    } catch (const capture::Error&) {
        // no capture component: an empty list
    }
    if (combobox1->count() > 0) combobox1->setCurrentIndex(0);
    if (!camera.video_driver_name.isEmpty()) open_saved_camera();
    try {
        switch (camera.resolution) {
        case 1:
            Button4Click();
            break;
        case 2:
            Button2Click();
            break;
        case 3:
            Button3Click();
            break;
        default:
            break;
        }
    } catch (...) {
        // applying the saved resolution may fail; that is ignored
    }
    Edit2Change();
    Edit3Change();
    Edit4Change();
    Edit5Change();
    Legend();
    sindthreshhold1Change();
    try {
        motor_setup_at_activation();
    } catch (const stepper::Error&) {
        ui::show_error(std::current_exception());
        return; // the zeroing and the start-up check do not run
    }
    Timer1->setEnabled(true);
    Timer2->setEnabled(true);
}

// The device of the settings file, opened and started. When that fails the device is
// "None" and the list shows no text: the operator chooses the camera again.
void TForm1::open_saved_camera() {
    try {
        capture::Camera& c = capture();
        c.set_device_name(camera.video_driver_name);
        c.set_enabled(true);
        c.open();
        c.start();
        c.set_frames_enabled(true);
        combobox1->setEditText(camera.video_driver_name);
        camera.dialog_set = c.available_dialogs();
    } catch (const capture::Error&) {
        if (VLDSCapture1) VLDSCapture1->set_device_name(QStringLiteral("None"));
        combobox1->setEditText(QString());
    }
}

namespace {

int checked_index(std::initializer_list<const QRadioButton*> buttons) {
    int index = 0;
    for (const QRadioButton* button : buttons) {
        if (button->isChecked()) return index;
        ++index;
    }
    return -1;
}

} // namespace

int TForm1::checked_channel() const {
    return checked_index({red, green, blue, monochrome});
}

int TForm1::checked_objective() const {
    return checked_index({ob04, Ob10, Ob20, Ob40});
}

// ---- closing ----

// "Motor 1", and "Motor 2" when the controller has two motors.
std::vector<QRadioButton*> TForm1::motor_buttons() const {
    if (motor.count > 1) return {RadioButton1, RadioButton2};
    return {RadioButton1};
}

bool TForm1::FormClose() {
    Timer3->setEnabled(false);
    if (sequence.running) sequence.stopping = true; // a running measurement ends here
    if (motor.controls) {
        try {
            motor.position_sum = 0;
            for (int i = 0; i < motor.count; ++i)
                motor.position_sum += std::abs(controller().current_position(i));
        } catch (...) {
            // the test below uses the sum gathered so far
        }
        ui::process_messages();
        ui::pause(100);
    }
    if (motor.controls && motor.position_sum > 2) {
        // the polarizer is not home: drive it there and try again in 500 ms
        for (QRadioButton* button : motor_buttons()) {
            ui::set_checked(button, true);
            ui::pause(100);
            ui::set_position(TrackBar1, 0);
            TrackBar1Change();
            Label1->set_caption(
                QString::number(Targetangle(controller().current_position(motor.selected))));
        }
        Timer3->setEnabled(true);
        return false;
    }
    park_motors_and_end();
    return true;
}

void TForm1::park_motors_and_end() {
    // a controller that never came, or has gone, has no motor to park: the window closes
    if (motor.present) {
        for (QRadioButton* button : motor_buttons()) {
            ui::set_checked(button, true);
            ui::pause(100);
            ui::set_checked(CheckBox1, true); // engaged, then released
            ui::pause(100);
            ui::set_checked(CheckBox1, false);
        }
    }
    ui::pause(100);
    if (motor.present) Phidget21COMIPhidgetStepperEvents1Detach(); // as if the controller had gone
    try {
        write_settings_file();
    } catch (...) {
        // not reported: the program still ends
    }
    try {
        capture().set_enabled(false); // the camera is released
    } catch (const capture::Error&) {
        // nothing to release
    }
    integration.window_closed = true;     // an integration waiting for a frame gives up
    if (Formupdate) Formupdate->cancel(); // and an update check in progress
    motor.controls = false;
    ui::pause(100);
    if (env_.end_program) env_.end_program();
}

void TForm1::Timer3Timer() {
    Timer3->setEnabled(false);
    close();
}
