// The life of the main window: creation, activation, closing, and the settings file.
#include "VexolanUpdate/update_form.h"
#include "form.h"
#include "numbers.h"
#include "palette.h"
#include "file_replace.h"
#include "settings_file.h"
#include "ui/wait.h"

#include <QCloseEvent>
#include <QFile>

namespace {

const char* const settings_name = "vexolan.ini";

}  // namespace

// Controller events reach the window's handlers through this sink.
class TForm1::StepperEvents : public stepper::Events {
public:
    explicit StepperEvents(TForm1& form) : form_(form) {}
    void attached() override { form_.Phidget21COMIPhidgetStepperEvents1Attach(); }
    void detached() override { form_.Phidget21COMIPhidgetStepperEvents1Detach(); }
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
    connect_handlers();
    FormCreate();
}

TForm1::~TForm1() {
    // the controller must not call back into a window that is going away
    if (motor.controller) motor.controller->connect_events(nullptr);
}

void TForm1::connect_handlers() {
    auto on_change = [this](QSlider* s, void (TForm1::*h)()) {
        connect(s, &QSlider::valueChanged, this, [this, h] { (this->*h)(); });
    };
    on_change(TrackBar1, &TForm1::TrackBar1Change);
    on_change(TrackBar2, &TForm1::TrackBar2Change);
    on_change(TrackBar3, &TForm1::TrackBar3Change);
    on_change(TrackBar4, &TForm1::sindthreshhold1Change);
    on_change(sindthreshhold1, &TForm1::sindthreshhold1Change);
    on_change(Integrations, &TForm1::IntegrationsChange);
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });

    // a radio button's click handler runs when it becomes checked, by code or by hand
    auto on_checked = [this](QRadioButton* b, void (TForm1::*h)()) {
        connect(b, &QRadioButton::toggled, this, [this, h](bool on) {
            if (on) (this->*h)();
        });
    };
    on_checked(RadioButton1, &TForm1::RadioButton1Click);
    on_checked(RadioButton2, &TForm1::RadioButton2Click);
    on_checked(RadioButton6, &TForm1::RadioButton6Click);
    on_checked(RadioButton7, &TForm1::RadioButton6Click);
    for (QRadioButton* b : {red, green, blue, monochrome}) on_checked(b, &TForm1::redClick);
    on_checked(ob04, &TForm1::ob04Click);
    on_checked(Ob10, &TForm1::Ob10Click);
    on_checked(Ob20, &TForm1::Ob20Click);
    on_checked(Ob40, &TForm1::Ob40Click);

    auto on_text = [this](QLineEdit* e, void (TForm1::*h)()) {
        connect(e, &QLineEdit::textChanged, this, [this, h] { (this->*h)(); });
    };
    on_text(Edit6, &TForm1::Edit6Change);
    on_text(Edit2, &TForm1::Edit2Change);
    on_text(Edit3, &TForm1::Edit3Change);
    on_text(Edit4, &TForm1::Edit4Change);
    on_text(Edit5, &TForm1::Edit5Change);
    on_text(nm, &TForm1::nmChange);

    auto on_click = [this](QAbstractButton* b, void (TForm1::*h)()) {
        connect(b, &QAbstractButton::clicked, this, [this, h] { (this->*h)(); });
    };
    on_click(Start_Sequence, &TForm1::Start_SequenceClick);
    on_click(SpeedButton1, &TForm1::Save_all_imagesClick);
    on_click(Openimages, &TForm1::OpenimagesClick);
    on_click(CapturePIN, &TForm1::CapturePINClick);
    on_click(Capture, &TForm1::CaptureClick);
    on_click(Button2, &TForm1::Button2Click);
    on_click(Button3, &TForm1::Button3Click);
    on_click(Button4, &TForm1::Button4Click);
    on_click(Button5, &TForm1::Button5Click);
    on_click(Button6, &TForm1::Button6Click);
    on_click(Collectbackgroundimages, &TForm1::CollectbackgroundimagesClick);
    connect(combobox1, &QComboBox::editTextChanged, this, [this] { combobox1Change(); });
    connect(combobox1, &QComboBox::activated, this, [this] { combobox1Click(); });
}

bool TForm1::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) FormActivate();
    return QWidget::event(e);
}

void TForm1::closeEvent(QCloseEvent* e) {
    bool closes = false;
    try {
        closes = FormClose();
    } catch (const std::exception& error) {
        dialogs().error(QString::fromLocal8Bit(error.what()));   // the window stays open
    }
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

// A valid number becomes the objective's image scale; anything else is left alone.
void TForm1::image_scale_changed(int objective, const QLineEdit* edit) {
    if (const auto scale = numbers::parse_decimal(edit->text())) display.image_scale[objective] = *scale;
}

void TForm1::IntegrationsChange() { sequence.integration_count = Integrations->value(); }

// ---- creation ----

void TForm1::FormCreate() {
    shell.program_folder = env_.program_folder;
    if (QFile::exists(shell.program_folder + settings_name)) read_settings_file();
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
        for (int i = 0; i < motor.count; ++i) motor.controller->set_current_position(motor.selected, 0);
        PageControl1->setCurrentWidget(TabSheet2);
    } catch (const std::exception& e) {
        dialogs().error(QString::fromLocal8Bit(e.what()));
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
            for (long double& s : display.image_scale) s = in.real();
            in.next_line();
            QLineEdit* edits[4] = {Edit2, Edit3, Edit4, Edit5};
            for (int i = 0; i < 4; ++i) edits[i]->setText(numbers::shortest_local(display.image_scale[i]));
        }
        if (!in.eof()) {
            int32_t flags[14];
            for (int32_t& f : flags) f = in.integer();
            in.next_line();
            // positions 5, 6, 11 and 12 are read and ignored
            const std::pair<QRadioButton*, int> buttons[] = {
                {red, 0}, {green, 1}, {blue, 2}, {monochrome, 3}, {ob04, 6},
                {Ob10, 7}, {Ob20, 8}, {Ob40, 9}, {orthoscopic, 12}, {conoscopic, 13}};
            for (auto [button, at] : buttons) ui::set_checked(button, flags[at] == 1);
        }
        if (!in.eof()) darklevel->setText(in.line());
        if (!in.eof()) {
            sequence.integration_count = in.integer();
            in.next_line();
            Integrations->setValue(sequence.integration_count);
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

void TForm1::write_settings_file() {
    settings::Writer out;
    auto flag = [](const QRadioButton* b) { return b->isChecked() ? 1 : 0; };
    const auto& m = motor;
    out.line(capture_device_name());
    for (const auto* values : {&m.steps_per_turn, &m.acceleration, &m.speed})
        for (int32_t v : *values) out.integers({v});
    out.integers({camera.resolution});
    out.reals({display.image_scale[0], display.image_scale[1], display.image_scale[2],
               display.image_scale[3]});
    out.integers({flag(red), flag(green), flag(blue), flag(monochrome), 0, 0, flag(ob04), flag(Ob10),
                  flag(Ob20), flag(Ob40), 0, 0, flag(orthoscopic), flag(conoscopic)});
    out.line(darklevel->text());
    out.integers({sequence.integration_count});
    out.integers({m.sense[0], m.sense[1], m.sense[2], m.sense[3]});
    out.line(camera.software_path);
    const QByteArray path = QFile::encodeName(shell.program_folder + settings_name);
    // a failed write is not reported; the old file then stays as it was
    fileio::replace_file(path.toStdString(), out.text().constData(), static_cast<size_t>(out.text().size()), true);
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
    setWindowTitle(QStringLiteral("Vexolan  Version ") +
                   numbers::shortest(Formupdate ? Formupdate->program_version : 1.07L));

    combobox1->clear();   // the capture layer adds the devices it finds
    if (!camera.video_driver_name.isEmpty()) {
        // the saved device cannot be opened: the device stays "None", the box empty
        combobox1->setEditText(QString());
    }
    try {
        switch (camera.resolution) {
        case 1: Button4Click(); break;
        case 2: Button2Click(); break;
        case 3: Button3Click(); break;
        default: break;
        }
    } catch (...) {
        // applying the saved resolution may fail; that is ignored
    }
    palette::false_colour();
    Edit2Change();
    Edit3Change();
    Edit4Change();
    Edit5Change();
    Legend();
    sindthreshhold1Change();
    try {
        motor_setup_at_activation();
    } catch (const std::exception& e) {
        dialogs().error(QString::fromLocal8Bit(e.what()));
        return;   // the zeroing and the start-up check do not run
    }
    Timer1->setEnabled(true);
    Timer2->setEnabled(true);
}

// ---- closing ----

// "Motor 1", and "Motor 2" when the controller has two motors.
std::vector<QRadioButton*> TForm1::motor_buttons() const {
    if (motor.count > 1) return {RadioButton1, RadioButton2};
    return {RadioButton1};
}

bool TForm1::FormClose() {
    Timer3->setEnabled(false);
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
            TrackBar1->setValue(0);
            TrackBar1Change();
            Label1->set_caption(QString::number(Targetangle(controller().current_position(motor.selected))));
        }
        Timer3->setEnabled(true);
        return false;
    }
    park_motors_and_end();
    return true;
}

void TForm1::park_motors_and_end() {
    for (QRadioButton* button : motor_buttons()) {
        ui::set_checked(button, true);
        ui::pause(100);
        CheckBox1->setChecked(true);   // engaged, then released
        ui::pause(100);
        CheckBox1->setChecked(false);
    }
    ui::pause(100);
    if (motor.controller) Phidget21COMIPhidgetStepperEvents1Detach();
    try {
        write_settings_file();
    } catch (...) {
        // not reported: the program still ends
    }
    motor.controls = false;
    ui::pause(100);
    shell.ended = true;
    if (env_.end_program) env_.end_program();
}

void TForm1::Timer3Timer() {
    Timer3->setEnabled(false);
    close();
}
