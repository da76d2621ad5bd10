// The polarizer motor: conversions between degrees and steps, the motor controls of the
// Set-up page, the controller's events, the start-up zeroing and check.
#include "form.h"
#include "logic/numbers.h"
#include "ui/handlers.h"
#include "ui/wait.h"

#include <stdexcept>

namespace {

using numbers::rounded;

// How long the activation waits for the controller to attach: a board on USB takes some
// 100 ms after it was opened; the start-up check comes a second later than this.
constexpr int attach_wait_ms = 2000;
const QString not_connected = QStringLiteral("Rotating Polarizer Not Connected");

// round((position - min) * 100 / (max - min)), or the position itself for an empty range
int32_t percent_of_range(const QSlider* s) {
    if (s->maximum() == s->minimum()) return s->value();
    return rounded(static_cast<long double>(s->value() - s->minimum()) * 100 /
                   (s->maximum() - s->minimum()));
}

} // namespace

int32_t TForm1::Targetsteps(int32_t angle) {
    if (!RadioButton1->isChecked()) return angle; // Motor 2 is driven in raw steps
    const int s = motor.selected;
    return rounded(static_cast<long double>(angle) / 360 * motor.steps_per_turn[s] *
                   motor.sense[s]);
}

int32_t TForm1::Targetangle(int32_t steps) {
    if (!RadioButton1->isChecked()) return steps;
    const int s = motor.selected;
    if (motor.steps_per_turn[s] == 0)
        throw std::runtime_error(
            "Motor steps/360 degrees is 0: enter the steps of one turn of the polarizer "
            "motor on the Set-up page.");
    // steps * 360 in 32-bit arithmetic first, as the controller's counts wrap
    const int32_t times360 = static_cast<int32_t>(static_cast<uint32_t>(steps) * 360u);
    return rounded(static_cast<long double>(times360) / motor.steps_per_turn[s] * motor.sense[s]);
}

void TForm1::TrackBar1Change() {
    if (!motor.attached || motor.selected >= motor.count) return;
    const int s = motor.selected;
    ui::set_checked(CheckBox1, Targetsteps(TrackBar1->value()) != controller().current_position(s));
    controller().set_target_position(s, Targetsteps(TrackBar1->value()));
    Label6->set_caption(QString::number(TrackBar1->value()));
}

void TForm1::CheckBox1Click() {
    if (motor.selected >= motor.count || !motor.attached) return;
    const int s = motor.selected;
    controller().set_engaged(s, CheckBox1->isChecked());
    ui::set_position(TrackBar2, motor.acceleration[s]);
    ui::set_position(TrackBar3, motor.speed[s]);
    TrackBar3Change();
    TrackBar2Change();
    TrackBar1Change();
}

void TForm1::TrackBar2Change() {
    if (!motor.controls) return;
    const int s = motor.selected;
    motor.acceleration[s] = TrackBar2->value();
    Label5->set_caption(QString::number(percent_of_range(TrackBar2)));
    controller().set_acceleration(s, TrackBar2->value());
}

void TForm1::TrackBar3Change() {
    if (!motor.controls) return;
    const int s = motor.selected;
    Label4->set_caption(QString::number(percent_of_range(TrackBar3)));
    motor.speed[s] = TrackBar3->value();
    controller().set_velocity_limit(s, TrackBar3->value());
}

void TForm1::Phidget21COMIPhidgetStepperEvents1PositionChange(int, int) {
    const int s = motor.selected;
    Label1->set_caption(QString::number(Targetangle(controller().current_position(s))));
    // the motor is released once it stands at its target
    ui::set_checked(CheckBox1, controller().current_position(s) != Targetsteps(TrackBar1->value()));
}

void TForm1::RadioButton1Click() {
    select_motor(0);
}
void TForm1::RadioButton2Click() {
    select_motor(1);
}

// The controls take the selected motor's target, settings and rotation sense.
void TForm1::select_motor(int index) {
    motor.selected = index;
    ui::set_position(TrackBar1, Targetangle(controller().target_position(index)));
    Label1->set_caption(Label6->caption());
    ui::set_position(TrackBar2, motor.acceleration[index]);
    ui::set_position(TrackBar3, motor.speed[index]);
    ui::set_text(Edit6, QString::number(motor.steps_per_turn[index]));
    ui::set_checked(motor.sense[index] == 1 ? RadioButton6 : RadioButton7, true);
    CheckBox1Click();
}

void TForm1::RadioButton6Click() {
    motor.sense[motor.selected] = RadioButton6->isChecked() ? 1 : -1;
}

// The text as an integer: blanks skipped, a sign, "$", "x" or "0x" for hexadecimal; the
// reading stops at the first character that does not belong to the number and keeps
// what it has. An empty text is 0.
void TForm1::Edit6Change() {
    const QByteArray t = Edit6->text().toLatin1();
    qsizetype i = 0;
    while (i < t.size() && t[i] == ' ') ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    int base = 10;
    if (i < t.size() && (t[i] == '$' || t[i] == 'x' || t[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    int64_t value = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : -1;
        if (base == 16 && digit < 0 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            digit = (c | 0x20) - 'a' + 10;
        if (digit < 0 || value * base + digit > INT32_MAX) break;
        value = value * base + digit;
    }
    motor.steps_per_turn[motor.selected] = static_cast<int32_t>(negative ? -value : value);
}

void TForm1::Phidget21COMIPhidgetStepperEvents1Attach() {
    auto& c = controller();
    const QString line = QString::fromStdString(c.device_name()) + " Connected. Serial #" +
                         QString::number(c.serial_number());
    Memo1->appendPlainText(line);
    motor.count =
        line.contains(QStringLiteral("Phidget Unipolar Stepper Controller 4-motor Connected")) ? 2
                                                                                               : 1;
    RadioButton2->setEnabled(motor.count == 2);
    RadioButton2->setVisible(motor.count == 2);
    if (!line.isEmpty()) motor.attached = true;
}

// A measurement needs the polarizer's controller: without it the polarizer may stand
// anywhere. Raises, with the status line saying so and the box what follows, when the
// controller is not there.
void TForm1::require_polarizer(const char* consequence) {
    if (motor.present) return;
    Label13->set_caption(not_connected);
    throw std::runtime_error((not_connected + QStringLiteral(": ") + consequence).toStdString());
}

void TForm1::Phidget21COMIPhidgetStepperEvents1Detach() {
    auto& c = controller();
    Memo1->appendPlainText(QString::fromStdString(c.device_name()) + " Disconnected. Serial #" +
                           QString::number(c.serial_number()));
    TrackBar1->setEnabled(false);
    TrackBar2->setEnabled(false);
    TrackBar3->setEnabled(false);
}

// The controller attaches a while after it was opened, and the motor set-up reads its
// limits: the activation waits for it as long as one can come, and leaves the set-up out
// when none came (the start-up check then says so). True when it is there.
bool TForm1::wait_for_controller() {
    if (!motor.present && motor.controller && motor.controller->can_attach())
        ui::wait_until([&] { return motor.present || !motor.controller->can_attach(); },
                       attach_wait_ms);
    return motor.present;
}

// One line for the operator on why no controller is there.
QString TForm1::why_no_controller() {
    const std::string why = motor.controller ? motor.controller->not_attached_reason()
                                             : "the stepper controller is not available";
    return QString::fromStdString(why.empty() ? "no stepper controller attached" : why);
}

void TForm1::motor_setup_at_activation() {
    auto& c = controller();
    c.set_engaged(0, true);
    motor.acceleration_min = c.acceleration_min(0);
    motor.acceleration_max = c.acceleration_max(0);
    // the track bar never reaches the controller's limits
    ui::set_range(TrackBar2, rounded(motor.acceleration_min) + 1,
                  rounded(motor.acceleration_max) - 1);
    try {
        for (int i = 0; i < motor.count; ++i) c.set_current_limit(i, c.current_limit(i));
    } catch (const stepper::Error&) {
        // ends this step silently
    }
    motor.speed_max = c.velocity_max(0);
    Label4->set_caption(numbers::shortest(motor.speed_max));
    ui::set_range(TrackBar3, 0, rounded(motor.speed_max));
    c.set_engaged(0, false);
    motor.limits_read = true;
}

// One second after activation: the polarizer's position becomes 0 degrees.
void TForm1::Timer1Timer() {
    Timer1->setEnabled(false);
    if (!motor.present) return; // no device: nothing to declare 0
    CheckBox1Click();
    ui::pause(100);
    CheckBox1Click();
    controller().set_current_position(motor.selected, 0);
    controller().set_current_position(motor.selected, 0);
}

// Three seconds after activation: the motor controls come on, or the operator learns
// that no controller is there.
void TForm1::Timer2Timer() {
    Timer2->setEnabled(false);
    // a controller that attached after the activation's wait gets its set-up now
    if (motor.present && !motor.limits_read) motor_setup_at_activation();
    motor.selected = 0;
    ui::set_checked(CheckBox1, true);
    ui::set_checked(RadioButton1, true);
    TrackBar1Change();
    ui::pause(200);
    ui::set_checked(CheckBox1, true);
    if (motor.count > 1) {
        ui::set_checked(RadioButton2, true);
        ui::set_checked(RadioButton1, true);
    }
    if (motor.attached) {
        TrackBar2->setEnabled(true);
        TrackBar1->setEnabled(true);
        TrackBar3->setEnabled(true);
        motor.controls = true;
        ui::set_position(TrackBar2, motor.acceleration[motor.selected]);
        ui::set_position(TrackBar3, motor.speed[motor.selected]);
        TrackBar3Change();
        TrackBar2Change();
        TrackBar1Change();
    } else {
        GroupBox1->setVisible(false);
        Start_Sequence->setEnabled(false);
        // the state is final for the run: the message comes once, not at every
        // activation that restarts this check
        if (!motor.not_connected_reported) {
            motor.not_connected_reported = true;
            // Memo1 says why, the status line that no measurement can be made
            motor.why_not_connected = why_no_controller();
            Memo1->appendPlainText(motor.why_not_connected);
            Label13->set_caption(not_connected);
            dialogs().message(not_connected);
        }
    }
    ui::set_text(Edit6, QString::number(motor.steps_per_turn[motor.selected]));
    Timer5->setEnabled(true);
}
