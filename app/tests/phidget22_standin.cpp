// A stand-in for the vendor's libphidget22, built from the program's own declarations of
// its functions, with one stepper board on the bus that behaves like the hardware: a
// channel attaches on the library's own thread some 100 ms after it was opened, when the
// board has it and the serial number fits; a motor moves only while engaged, with its
// velocity limit and acceleration, counts whole steps and reports each new count from the
// library's thread while it moves; a call that needs the device before it is attached
// answers "not attached"; values out of range are refused. The board can be unplugged.
//
// For a program that a test runs: PHIDGET_STANDIN_LOG, when set, names a file that gets one
// line per target position set, "target CHANNEL POSITION"; PHIDGET_STANDIN_BOARD=none
// leaves the bus empty.
#include "phidget22_standin.h"
#include "stepper/phidget22_api.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto attach_delay = std::chrono::milliseconds(100);
constexpr auto tick = std::chrono::milliseconds(5);
constexpr double acceleration_min = 9.77, acceleration_max = 10000, velocity_max = 383.25;
constexpr double default_acceleration = 1000, default_current_limit = 0.5;

struct Board {
    std::string name = "PhidgetStepper Unipolar 4-Motor";
    int id = phidget22::unipolar_4_motor;
    int serial = 301234;
    int motors = 4;
    bool present = true;
};

Board initial_board() {
    Board b;
    const char* wanted = std::getenv("PHIDGET_STANDIN_BOARD");
    b.present = !(wanted && std::string(wanted) == "none");
    return b;
}

struct Motor {
    double exact = 0;    // where the shaft is
    double count = 0;    // the whole steps counted so far: the position reported
    double velocity = 0; // signed, steps per second
    double target = 0;
    double acceleration = default_acceleration;
    double velocity_limit = 0;
    double current_limit = default_current_limit;
    double rescale = 1;
    bool engaged = false;
};

} // namespace

struct _PhidgetStepper {
    int channel = 0;
    int32_t wanted_serial = phidget22::any_serial_number;
    Phidget_OnAttachCallback on_attach = nullptr;
    void* attach_ctx = nullptr;
    Phidget_OnDetachCallback on_detach = nullptr;
    void* detach_ctx = nullptr;
    PhidgetStepper_OnPositionChangeCallback on_position = nullptr;
    void* position_ctx = nullptr;
    bool open = false;
    bool attached = false;
    int32_t opened_serial = 0;
    Clock::time_point attach_at{};
    Motor motor;
};

namespace {

using Stepper = _PhidgetStepper;

// `state` guards every field; `dispatch` is held while handlers run, so a closed channel
// has no handler running once Phidget_close returns.
std::mutex state;
std::recursive_mutex dispatch;
Board board = initial_board();
std::vector<Stepper*> channels;

struct Worker {
    std::thread thread;
    std::atomic<bool> stop{false};
    ~Worker() {
        stop = true;
        if (thread.joinable()) thread.join();
    }
} worker;

Stepper* of(PhidgetHandle ch) {
    return reinterpret_cast<Stepper*>(ch);
}

void log_line(const std::string& line) {
    const char* path = std::getenv("PHIDGET_STANDIN_LOG");
    if (!path || !*path) return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

bool fits(const Stepper& s) {
    return board.present && s.channel < board.motors &&
           (s.wanted_serial == phidget22::any_serial_number || s.wanted_serial == board.serial);
}

// One step of motion: the motor speeds up, runs at its limit or brakes so that it stops
// on the target, where the last step lands exactly. True when the count changed.
bool move(Motor& m, double dt) {
    if (!m.engaged) {
        m.velocity = 0;
        return false;
    }
    const double distance = m.target - m.exact;
    if ((distance == 0 && m.velocity == 0) || m.velocity_limit <= 0) {
        m.velocity = 0;
        return false;
    }
    const double direction = distance > 0 ? 1 : -1;
    const double wanted =
        direction * std::min(m.velocity_limit, std::sqrt(2 * m.acceleration * std::fabs(distance)));
    const double change =
        std::clamp(wanted - m.velocity, -m.acceleration * dt, m.acceleration * dt);
    m.velocity += change;
    m.exact += m.velocity * dt;
    const double left = m.target - m.exact;
    if (left * direction <= 0 || std::fabs(left) < 0.01) {
        m.exact = m.target;
        m.velocity = 0;
    }
    const double before = m.count;
    m.count = m.exact == m.target ? m.target
              : m.velocity > 0    ? std::floor(m.exact)
                                  : std::ceil(m.exact);
    return m.count != before;
}

// The library's thread: attaches, detaches and motion, and the handlers of what happened.
void run() {
    Clock::time_point last = Clock::now();
    while (!worker.stop) {
        std::this_thread::sleep_for(tick);
        std::lock_guard<std::recursive_mutex> handlers(dispatch);
        std::vector<std::function<void()>> events;
        {
            std::lock_guard<std::mutex> hold(state);
            const Clock::time_point now = Clock::now();
            const double dt = std::chrono::duration<double>(now - last).count();
            last = now;
            for (Stepper* s : channels) {
                if (!s->open) continue;
                if (s->attached && !board.present) {
                    s->attached = false;
                    s->motor.engaged = false;
                    if (s->on_detach)
                        events.push_back([f = s->on_detach, s, c = s->detach_ctx] {
                            f(reinterpret_cast<PhidgetHandle>(s), c);
                        });
                    continue;
                }
                if (!s->attached && now >= s->attach_at && fits(*s)) {
                    s->attached = true;
                    s->motor = Motor{}; // a board starts afresh
                    if (s->on_attach)
                        events.push_back([f = s->on_attach, s, c = s->attach_ctx] {
                            f(reinterpret_cast<PhidgetHandle>(s), c);
                        });
                    continue;
                }
                if (s->attached && move(s->motor, dt) && s->on_position)
                    events.push_back([f = s->on_position, s, c = s->position_ctx,
                                      p = s->motor.count] { f(s, c, p); });
            }
        }
        for (auto& e : events) e();
    }
}

// Calls that need the attached device; `act` runs under the state lock.
PhidgetReturnCode attached(PhidgetStepperHandle ch,
                           const std::function<PhidgetReturnCode(Stepper&)>& act) {
    std::lock_guard<std::mutex> hold(state);
    if (!ch) return phidget22::invalid_argument;
    if (!ch->attached) return phidget22::not_attached;
    return act(*ch);
}

PhidgetReturnCode read(PhidgetStepperHandle ch, double* out, double Motor::*field) {
    if (!out) return phidget22::invalid_argument;
    return attached(ch, [&](Stepper& s) {
        *out = s.motor.*field;
        return phidget22::ok;
    });
}

PhidgetReturnCode read_fixed(PhidgetStepperHandle ch, double* out, double value) {
    if (!out) return phidget22::invalid_argument;
    return attached(ch, [&](Stepper&) {
        *out = value;
        return phidget22::ok;
    });
}

PhidgetReturnCode write(PhidgetStepperHandle ch, double value, double Motor::*field, double low,
                        double high) {
    return attached(ch, [&](Stepper& s) {
        if (!(value >= low && value <= high)) return phidget22::invalid_argument;
        s.motor.*field = value;
        return phidget22::ok;
    });
}

// The open channel of that index, under the state lock; null when there is none.
const Stepper* open_channel(int channel) {
    for (const Stepper* s : channels)
        if (s->open && s->channel == channel) return s;
    return nullptr;
}

template <class T> T of_open(int channel, T (*value)(const Stepper&), T none) {
    std::lock_guard<std::mutex> hold(state);
    const Stepper* s = open_channel(channel);
    return s ? value(*s) : none;
}

} // namespace

extern "C" {

PhidgetReturnCode Phidget_getErrorDescription(PhidgetReturnCode code, const char** description) {
    if (!description) return phidget22::invalid_argument;
    switch (code) {
    case phidget22::ok:
        *description = "Success";
        break;
    case phidget22::invalid_argument:
        *description = "Invalid Argument";
        break;
    case phidget22::not_attached:
        *description = "Not Attached";
        break;
    default:
        *description = "Unknown Error";
    }
    return phidget22::ok;
}

PhidgetReturnCode PhidgetStepper_create(PhidgetStepperHandle* ch) {
    if (!ch) return phidget22::invalid_argument;
    std::lock_guard<std::mutex> hold(state);
    *ch = new Stepper;
    channels.push_back(*ch);
    if (!worker.thread.joinable()) worker.thread = std::thread(run);
    return phidget22::ok;
}

PhidgetReturnCode PhidgetStepper_delete(PhidgetStepperHandle* ch) {
    if (!ch || !*ch) return phidget22::invalid_argument;
    std::lock_guard<std::recursive_mutex> handlers(dispatch);
    std::lock_guard<std::mutex> hold(state);
    channels.erase(std::remove(channels.begin(), channels.end(), *ch), channels.end());
    delete *ch;
    *ch = nullptr;
    return phidget22::ok;
}

PhidgetReturnCode Phidget_setChannel(PhidgetHandle ch, int channel) {
    std::lock_guard<std::mutex> hold(state);
    if (!ch || channel < 0) return phidget22::invalid_argument;
    of(ch)->channel = channel;
    return phidget22::ok;
}

PhidgetReturnCode Phidget_setDeviceSerialNumber(PhidgetHandle ch, int32_t serial_number) {
    std::lock_guard<std::mutex> hold(state);
    if (!ch) return phidget22::invalid_argument;
    of(ch)->wanted_serial = serial_number;
    return phidget22::ok;
}

PhidgetReturnCode Phidget_setOnAttachHandler(PhidgetHandle ch, Phidget_OnAttachCallback f,
                                             void* ctx) {
    std::lock_guard<std::mutex> hold(state);
    if (!ch) return phidget22::invalid_argument;
    of(ch)->on_attach = f;
    of(ch)->attach_ctx = ctx;
    return phidget22::ok;
}

PhidgetReturnCode Phidget_setOnDetachHandler(PhidgetHandle ch, Phidget_OnDetachCallback f,
                                             void* ctx) {
    std::lock_guard<std::mutex> hold(state);
    if (!ch) return phidget22::invalid_argument;
    of(ch)->on_detach = f;
    of(ch)->detach_ctx = ctx;
    return phidget22::ok;
}

PhidgetReturnCode
PhidgetStepper_setOnPositionChangeHandler(PhidgetStepperHandle ch,
                                          PhidgetStepper_OnPositionChangeCallback f, void* ctx) {
    std::lock_guard<std::mutex> hold(state);
    if (!ch) return phidget22::invalid_argument;
    ch->on_position = f;
    ch->position_ctx = ctx;
    return phidget22::ok;
}

PhidgetReturnCode Phidget_open(PhidgetHandle ch) {
    std::lock_guard<std::mutex> hold(state);
    if (!ch) return phidget22::invalid_argument;
    Stepper& s = *of(ch);
    s.open = true;
    s.opened_serial = s.wanted_serial;
    s.attach_at = Clock::now() + attach_delay;
    return phidget22::ok;
}

PhidgetReturnCode Phidget_close(PhidgetHandle ch) {
    std::lock_guard<std::recursive_mutex> handlers(dispatch);
    std::lock_guard<std::mutex> hold(state);
    if (!ch) return phidget22::invalid_argument;
    of(ch)->open = false;
    of(ch)->attached = false;
    of(ch)->motor.engaged = false;
    return phidget22::ok;
}

PhidgetReturnCode Phidget_getDeviceName(PhidgetHandle ch, const char** name) {
    if (!name) return phidget22::invalid_argument;
    return attached(reinterpret_cast<PhidgetStepperHandle>(ch), [&](Stepper&) {
        *name = board.name.c_str();
        return phidget22::ok;
    });
}

PhidgetReturnCode Phidget_getDeviceSerialNumber(PhidgetHandle ch, int32_t* serial_number) {
    if (!serial_number) return phidget22::invalid_argument;
    return attached(reinterpret_cast<PhidgetStepperHandle>(ch), [&](Stepper&) {
        *serial_number = board.serial;
        return phidget22::ok;
    });
}

PhidgetReturnCode Phidget_getDeviceID(PhidgetHandle ch, Phidget_DeviceID* id) {
    if (!id) return phidget22::invalid_argument;
    return attached(reinterpret_cast<PhidgetStepperHandle>(ch), [&](Stepper&) {
        *id = board.id;
        return phidget22::ok;
    });
}

PhidgetReturnCode PhidgetStepper_setRescaleFactor(PhidgetStepperHandle ch, double factor) {
    return write(ch, factor, &Motor::rescale, 1e-9, 1e9);
}

PhidgetReturnCode PhidgetStepper_getPosition(PhidgetStepperHandle ch, double* position) {
    return read(ch, position, &Motor::count);
}

PhidgetReturnCode PhidgetStepper_addPositionOffset(PhidgetStepperHandle ch, double offset) {
    return attached(ch, [&](Stepper& s) {
        s.motor.exact += offset;
        s.motor.count += offset;
        s.motor.target += offset;
        return phidget22::ok;
    });
}

PhidgetReturnCode PhidgetStepper_getTargetPosition(PhidgetStepperHandle ch, double* position) {
    return read(ch, position, &Motor::target);
}

PhidgetReturnCode PhidgetStepper_setTargetPosition(PhidgetStepperHandle ch, double position) {
    const PhidgetReturnCode code = write(ch, position, &Motor::target, -1e15, 1e15);
    if (code == phidget22::ok)
        log_line("target " + std::to_string(ch->channel) + " " +
                 std::to_string(static_cast<long long>(position)));
    return code;
}

PhidgetReturnCode PhidgetStepper_setAcceleration(PhidgetStepperHandle ch, double acceleration) {
    return write(ch, acceleration, &Motor::acceleration, acceleration_min, acceleration_max);
}

PhidgetReturnCode PhidgetStepper_setVelocityLimit(PhidgetStepperHandle ch, double velocity) {
    return write(ch, velocity, &Motor::velocity_limit, 0, velocity_max);
}

PhidgetReturnCode PhidgetStepper_getCurrentLimit(PhidgetStepperHandle ch, double* current) {
    return read(ch, current, &Motor::current_limit);
}

PhidgetReturnCode PhidgetStepper_setCurrentLimit(PhidgetStepperHandle ch, double current) {
    return write(ch, current, &Motor::current_limit, 0, 4);
}

PhidgetReturnCode PhidgetStepper_getMinAcceleration(PhidgetStepperHandle ch, double* a) {
    return read_fixed(ch, a, acceleration_min);
}

PhidgetReturnCode PhidgetStepper_getMaxAcceleration(PhidgetStepperHandle ch, double* a) {
    return read_fixed(ch, a, acceleration_max);
}

PhidgetReturnCode PhidgetStepper_getMaxVelocityLimit(PhidgetStepperHandle ch, double* v) {
    return read_fixed(ch, v, velocity_max);
}

PhidgetReturnCode PhidgetStepper_setEngaged(PhidgetStepperHandle ch, int engaged) {
    return attached(ch, [&](Stepper& s) {
        s.motor.engaged = engaged != 0;
        if (!s.motor.engaged) s.motor.velocity = 0;
        return phidget22::ok;
    });
}

// ---- the tests' controls ----

void standin_reset() {
    std::lock_guard<std::mutex> hold(state);
    board = initial_board();
}

void standin_board(const char* name, int device_id, int serial, int motors) {
    std::lock_guard<std::mutex> hold(state);
    board.name = name;
    board.id = device_id;
    board.serial = serial;
    board.motors = motors;
}

void standin_unplug() {
    std::lock_guard<std::mutex> hold(state);
    board.present = false;
}

void standin_plug() {
    std::lock_guard<std::mutex> hold(state);
    board.present = true;
    for (Stepper* s : channels) s->attach_at = Clock::now() + attach_delay;
}

int standin_open_serial(int channel) {
    return of_open<int>(
        channel, [](const Stepper& s) { return int(s.opened_serial); }, -2);
}
int standin_engaged(int channel) {
    return of_open<int>(
        channel, [](const Stepper& s) { return int(s.motor.engaged); }, 0);
}
double standin_acceleration(int channel) {
    return of_open<double>(
        channel, [](const Stepper& s) { return s.motor.acceleration; }, 0);
}
double standin_velocity_limit(int channel) {
    return of_open<double>(
        channel, [](const Stepper& s) { return s.motor.velocity_limit; }, 0);
}
double standin_rescale_factor(int channel) {
    return of_open<double>(
        channel, [](const Stepper& s) { return s.motor.rescale; }, 0);
}

} // extern "C"

// The definitions have the types the program declares.
#define PHIDGET22_SAME_TYPE(name, parameters)                                                      \
    static_assert(std::is_same_v<decltype(&::name), phidget22::name##_t>, #name);
PHIDGET22_FUNCTIONS(PHIDGET22_SAME_TYPE)
#undef PHIDGET22_SAME_TYPE
