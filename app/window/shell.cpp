// The life of the main window: creation, activation and closing.
#include "VexolanUpdate/update_form.h"
#include "form.h"
#include "logic/numbers.h"
#include "logic/settings_file.h"
#include "logic/version.h"
#include "ui/handlers.h"
#include "ui/wait.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>

#include <utility>

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

bool TForm1::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) ui::run_handler([this] { FormActivate(); });
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
    if (QFile::exists(shell.program_folder + settings_file::name))
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

// ---- activation ----

// The start-up work runs at the first activation only. Repeated at a later one (the return
// from a box, from another program, or an activation nested in its own waits) it would
// declare the polarizer's position 0 a second later while a measurement turns it, and
// reopen the camera under a running integration.
void TForm1::FormActivate() {
    if (shell.started_up) return;
    shell.started_up = true;

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
        if (wait_for_controller()) motor_setup_at_activation();
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
    // a controller that has gone cannot drive the polarizer home: the window closes
    if (motor.controls && motor.present && motor.position_sum > 2) {
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
