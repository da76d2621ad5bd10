#include "simulated_stepper.h"

#include <algorithm>
#include <cmath>

namespace stepper {

namespace {
constexpr int tick_ms = 10;
constexpr double tick_s = tick_ms / 1000.0;
} // namespace

SimulatedController::SimulatedController(SimulatedConfig config) : config_(std::move(config)) {
    attach_timer_.setSingleShot(true);
    connect(&attach_timer_, &QTimer::timeout, this, [this] { attach_now(); });
    motion_timer_.setInterval(tick_ms);
    connect(&motion_timer_, &QTimer::timeout, this, [this] { step(); });
}

SimulatedController::~SimulatedController() = default;

void SimulatedController::check(int index) const {
    if (failing_) throw Error("Phidget stepper: the controller does not answer");
    if (config_.requires_attach && !attached_) throw Error("Phidget stepper: not attached");
    if (index < 0 || index > 3) throw Error("Phidget stepper: index out of range");
}

const SimulatedController::Motor& SimulatedController::motor(int index) const {
    return motors_[static_cast<size_t>(std::clamp(index, 0, 3))];
}
SimulatedController::Motor& SimulatedController::motor(int index) {
    return motors_[static_cast<size_t>(std::clamp(index, 0, 3))];
}

void SimulatedController::send(const std::function<void(Events&)>& event) {
    if (!events_) return;
    try {
        event(*events_);
    } catch (...) {
        // an error in the program's handler goes back to the controller, which drops it
    }
}

void SimulatedController::open(int) {
    // opening looks for the device; it works before any device has attached
    if (failing_) throw Error("Phidget stepper: the controller does not answer");
    opened_ = true;
    if (config_.attaches && !attached_) attach_timer_.start(config_.attach_delay_ms);
}

std::string SimulatedController::not_attached_reason() {
    return attached_ ? std::string() : "the simulated controller has found no device";
}

void SimulatedController::attach_now() {
    attach_timer_.stop();
    if (attached_) return;
    attached_ = true;
    motion_timer_.start();
    send([](Events& e) { e.attached(); });
}

// The detach event still carries the device's name and serial number, as a real
// controller's does; calls fail from then on.
void SimulatedController::detach() {
    if (!attached_) return;
    motion_timer_.stop();
    send([](Events& e) { e.detached(); });
    attached_ = false;
}

std::string SimulatedController::device_name() {
    check(0);
    return config_.device_name;
}

int SimulatedController::serial_number() {
    check(0);
    return config_.serial;
}

int SimulatedController::current_position(int index) {
    check(index);
    return motor(index).reported;
}

void SimulatedController::set_current_position(int index, int steps) {
    check(index);
    Motor& m = motor(index);
    m.position = steps;
    m.velocity = 0;
    m.reported = steps;
}

int SimulatedController::target_position(int index) {
    check(index);
    return motor(index).target;
}

void SimulatedController::set_target_position(int index, int steps) {
    check(index);
    motor(index).target = steps;
}

void SimulatedController::set_acceleration(int index, double steps_per_s2) {
    check(index);
    if (steps_per_s2 < config_.acceleration_min || steps_per_s2 > config_.acceleration_max)
        throw Error("Phidget stepper: acceleration out of range");
    motor(index).acceleration = steps_per_s2;
}

void SimulatedController::set_velocity_limit(int index, double steps_per_s) {
    check(index);
    if (steps_per_s < 0 || steps_per_s > config_.velocity_max)
        throw Error("Phidget stepper: velocity out of range");
    motor(index).velocity_limit = steps_per_s;
}

double SimulatedController::current_limit(int index) {
    check(index);
    return motor(index).current_limit;
}

void SimulatedController::set_current_limit(int index, double value) {
    check(index);
    motor(index).current_limit = value;
}

double SimulatedController::acceleration_min(int index) {
    check(index);
    return config_.acceleration_min;
}

double SimulatedController::acceleration_max(int index) {
    check(index);
    return config_.acceleration_max;
}

double SimulatedController::velocity_max(int index) {
    check(index);
    return config_.velocity_max;
}

void SimulatedController::set_engaged(int index, bool engaged) {
    check(index);
    Motor& m = motor(index);
    m.engaged = engaged;
    if (!engaged) m.velocity = 0;
}

void SimulatedController::move_by_hand(int index, int steps) {
    Motor& m = motor(index);
    const double turned = steps - m.position;
    m.position = m.reported = steps;
    m.velocity = 0;
    turn(index, turned);
}

void SimulatedController::turn(int index, double steps) {
    if (steps == 0) return;
    Motor& m = motor(index);
    m.shaft += steps;
    if (config_.shaft_turned) config_.shaft_turned(index, m.shaft);
}

bool SimulatedController::moving() const {
    return std::any_of(motors_.begin(), motors_.end(), [](const Motor& m) {
        return m.engaged && (m.reported != m.target || m.velocity != 0);
    });
}

// One motion step: each engaged motor speeds up, runs at its limit or brakes so that it
// stops on the target; the last step lands on the target exactly.
void SimulatedController::step() {
    for (int i = 0; i < 4; ++i) {
        Motor& m = motors_[static_cast<size_t>(i)];
        if (!m.engaged) continue;
        const double distance = m.target - m.position;
        const double a = std::max(m.acceleration, config_.acceleration_min);
        const double limit = std::min(m.velocity_limit, config_.velocity_max);
        if (distance == 0 && m.velocity == 0) continue;
        if (limit <= 0) {
            m.velocity = 0;
            continue;
        }
        const double direction = distance > 0 ? 1 : -1;
        const double wanted = direction * std::min(limit, std::sqrt(2 * a * std::fabs(distance)));
        const double change = std::clamp(wanted - m.velocity, -a * tick_s, a * tick_s);
        const double before = m.position;
        m.velocity += change;
        m.position += m.velocity * tick_s;
        const double left = m.target - m.position;
        if (left * direction <= 0 || std::fabs(left) < 0.5) {
            m.position = m.target;
            m.velocity = 0;
        }
        turn(i, m.position - before);
        const int now = static_cast<int>(std::lround(m.position));
        if (now != m.reported) {
            m.reported = now;
            send([i, now](Events& e) { e.position_changed(i, now); });
        }
    }
}

} // namespace stepper
