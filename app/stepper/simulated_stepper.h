// A simulated unipolar stepper controller. It attaches a short while after open with
// a configurable device name and serial number, moves each engaged motor towards its
// target with the set velocity limit and acceleration (a trapezoidal profile, updated
// every 10 ms), sends position events while a motor moves and ends every move exactly on
// the target. What a motor's shaft turns is reported to `shaft_turned`, so a simulated
// instrument can follow it. Tests can make its calls fail, detach it, or keep it from
// attaching.
#pragma once

#include "stepper.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <functional>

namespace stepper {

struct SimulatedConfig {
    std::string device_name = "Phidget Unipolar Stepper Controller 4-motor";
    int serial = 12345;
    int attach_delay_ms = 200;
    bool attaches = true;         // false: opened, but no device is ever found
    bool requires_attach = false; // true: calls before attach fail, as on real hardware
    double acceleration_min = 9.77;
    double acceleration_max = 10000;
    double velocity_max = 383.25;
    // Called on the GUI thread whenever a motor's shaft turns, with the shaft's angle in
    // steps counted from where it stood at the start. Declaring a position (set current
    // position) turns nothing; a move, or a turn by hand, does.
    std::function<void(int index, double shaft_steps)> shaft_turned;
};

class SimulatedController : public QObject, public Controller {
  public:
    explicit SimulatedController(SimulatedConfig config = {});
    ~SimulatedController() override;

    void connect_events(Events* events) override { events_ = events; }
    void open(int serial) override;
    bool can_attach() override { return opened_; }
    std::string not_attached_reason() override;
    std::string device_name() override;
    int serial_number() override;
    int current_position(int index) override;
    void set_current_position(int index, int steps) override;
    int target_position(int index) override;
    void set_target_position(int index, int steps) override;
    void set_acceleration(int index, double steps_per_s2) override;
    void set_velocity_limit(int index, double steps_per_s) override;
    double current_limit(int index) override;
    void set_current_limit(int index, double value) override;
    double acceleration_min(int index) override;
    double acceleration_max(int index) override;
    double velocity_max(int index) override;
    void set_engaged(int index, bool engaged) override;

    // For tests: from now on every call raises (or works again).
    void fail_calls(bool fail) { failing_ = fail; }
    // For tests: the device goes away (a detached() event follows).
    void detach();
    // For tests: attach at once instead of after the delay.
    void attach_now();
    // For tests: a motor's position, as if it had been turned by hand.
    void move_by_hand(int index, int steps);
    bool engaged(int index) const { return motor(index).engaged; }
    double velocity_limit(int index) const { return motor(index).velocity_limit; }
    bool moving() const;

  private:
    struct Motor {
        double position = 0;
        double velocity = 0; // signed, steps per second
        int target = 0;
        double acceleration = 0;
        double velocity_limit = 0;
        double current_limit = 0.5;
        bool engaged = false;
        int reported = 0;
        double shaft = 0; // the angle the shaft has turned, in steps
    };
    void check(int index) const;
    const Motor& motor(int index) const;
    Motor& motor(int index);
    void step();
    void send(const std::function<void(Events&)>& event);
    void turn(int index, double steps);

    SimulatedConfig config_;
    Events* events_ = nullptr;
    std::array<Motor, 4> motors_;
    bool opened_ = false;
    bool attached_ = false;
    bool failing_ = false;
    QTimer attach_timer_;
    QTimer motion_timer_;
};

} // namespace stepper
