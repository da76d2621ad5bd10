// The stepper-controller boundary: the operations the window uses of a unipolar stepper
// controller with up to four motors, and the events it sends. `index` is the motor
// number, 0 to 3. Every operation raises stepper::Error when the controller reports a
// failure. Events arrive on the GUI thread; an exception thrown by an event handler ends
// that handler and goes back to the controller, which ignores it.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace stepper {

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Events {
  public:
    virtual ~Events() = default;
    virtual void attached() = 0;
    virtual void detached() = 0;
    // A motor's current position changed while it moves; `steps` is the new position.
    virtual void position_changed(int index, int steps) = 0;
};

class Controller {
  public:
    virtual ~Controller() = default;

    // Connects the event sink; events before this are not delivered.
    virtual void connect_events(Events* events) = 0;
    // Opens the controller with this serial number, -1 for any. It attaches later,
    // when the device is found, with an attached() event. A controller whose software is
    // missing opens without an error and never attaches.
    virtual void open(int serial) = 0;
    // False when no device can attach, however long one waits: the controller is not
    // open, or its software is missing.
    virtual bool can_attach() = 0;
    // Why no device is attached, in one line for the operator ("no Phidget stepper
    // attached"); empty while one is.
    virtual std::string not_attached_reason() = 0;

    // The attached device's name, e.g. "Phidget Unipolar Stepper Controller 4-motor".
    virtual std::string device_name() = 0;
    virtual int serial_number() = 0;

    // The position the motor stands at, in steps; equals the target once a move is done.
    virtual int current_position(int index) = 0;
    // Declares the motor's present position to be `steps` without moving it.
    virtual void set_current_position(int index, int steps) = 0;
    virtual int target_position(int index) = 0;
    // The motor moves towards the target while it is engaged.
    virtual void set_target_position(int index, int steps) = 0;
    virtual void set_acceleration(int index, double steps_per_s2) = 0;
    virtual void set_velocity_limit(int index, double steps_per_s) = 0;
    // A per-motor setting the window reads and writes back unchanged at activation.
    virtual double current_limit(int index) = 0;
    virtual void set_current_limit(int index, double value) = 0;
    virtual double acceleration_min(int index) = 0;
    virtual double acceleration_max(int index) = 0;
    virtual double velocity_max(int index) = 0;
    // An engaged motor is powered and follows its target; a released one stands still.
    virtual void set_engaged(int index, bool engaged) = 0;
};

// Creates the controller object; raises stepper::Error when none can be made.
using Factory = std::function<std::unique_ptr<Controller>()>;

} // namespace stepper
