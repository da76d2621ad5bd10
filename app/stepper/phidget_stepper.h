// The Phidget stepper controller on this machine's USB, through the vendor's Linux library
// libphidget22. The library is loaded at run time; without it the controller opens, never
// attaches and says why.
//
// One stepper channel per motor index: channel 0 to 3 of one board. Channel 0 is opened
// with the serial number open() is given (-1: any board); when it has attached, the
// board's other channels are opened with that board's serial number, and the controller
// reports itself attached once all of them are. Positions, velocities and accelerations
// are the controller's own units (rescale factor 1), so a motor's steps per turn are what
// its controller counts. The library's events arrive on its own thread; they are delivered
// on the GUI thread in the order they came.
#pragma once

#include "phidget22_api.h"
#include "stepper.h"

#include <QObject>

#include <array>
#include <memory>
#include <optional>
#include <string>

namespace stepper {

class PhidgetController : public QObject, public Controller {
  public:
    // The vendor's library, found by the system's normal search (LD_LIBRARY_PATH, the
    // vendor's install).
    static constexpr const char* library_name = "libphidget22.so.0";
    // The device name given for the 4-motor unipolar board, whose two first motors the
    // window drives; every other board keeps its own name and has one.
    static constexpr const char* unipolar_4_motor_name =
        "Phidget Unipolar Stepper Controller 4-motor";

    // `library`: the file to load, by name or path. Loading failures are kept, not raised.
    explicit PhidgetController(const std::string& library = library_name);
    ~PhidgetController() override;

    void connect_events(Events* events) override { events_ = events; }
    void open(int serial) override;
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
    bool can_attach() override;
    std::string not_attached_reason() override;

    struct Api;   // the library's functions
    struct Relay; // carries the library's events to the GUI thread

  protected:
    bool event(QEvent* e) override;

  private:
    struct Board {
        std::string name; // as given to the window
        int serial = 0;
        int motors = 1; // the board's stepper channels, at most 4
    };
    struct Channel {
        PhidgetStepperHandle handle = nullptr;
        bool opened = false;
        bool attached = false;
    };

    using Getter = PhidgetReturnCode (*)(PhidgetStepperHandle, double*);
    using Setter = PhidgetReturnCode (*)(PhidgetStepperHandle, double);

    PhidgetStepperHandle motor(int index) const;
    void check(PhidgetReturnCode code, const std::string& role) const;
    // A reading or setting of one motor through the library function `function`.
    double get(Getter Api::*function, int index, const char* role) const;
    void set(Setter Api::*function, int index, double value, const char* role) const;
    void open_channel(int index, int serial);
    void attached(int index, const std::optional<Board>& board);
    void detached(int index);
    void send(void (*deliver)(Events&));

    const Api* api_ = nullptr;
    std::string unusable_; // why the library cannot be used; empty when it can
    std::string open_failure_;
    Events* events_ = nullptr;
    bool opened_ = false;
    std::array<Channel, 4> channels_;
    std::optional<Board> board_; // the board of channel 0, since it first attached
    bool reported_ = false;      // attached() sent, and no detached() since
    std::unique_ptr<Relay> relay_;
};

} // namespace stepper
