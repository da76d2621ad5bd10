#include "phidget_stepper.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <deque>
#include <dlfcn.h>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace stepper {

struct PhidgetController::Api {
#define PHIDGET22_FIELD(name, parameters) phidget22::name##_t name = nullptr;
    PHIDGET22_FUNCTIONS(PHIDGET22_FIELD)
#undef PHIDGET22_FIELD
};

namespace {

// The library's functions, loaded once per file for the life of the process: the library
// runs threads of its own and is never unloaded. Null, with `error` set, when the file
// cannot be loaded or lacks a function.
const PhidgetController::Api* load(const std::string& library, std::string& error) {
    struct Loaded {
        std::unique_ptr<PhidgetController::Api> api;
        std::string error;
    };
    static std::map<std::string, Loaded> loaded;
    auto found = loaded.find(library);
    if (found == loaded.end()) {
        Loaded l;
        void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const std::string why = dlerror();
            l.error = why.find("No such file") != std::string::npos
                          ? library + " not found: install the vendor's library"
                          : library + " cannot be loaded: " + why;
        } else {
            auto api = std::make_unique<PhidgetController::Api>();
#define PHIDGET22_LOOK_UP(name, parameters)                                                        \
    api->name = reinterpret_cast<phidget22::name##_t>(dlsym(handle, #name));                       \
    if (!api->name && l.error.empty())                                                             \
        l.error = library + " has no " #name ": install the vendor's current library";
            PHIDGET22_FUNCTIONS(PHIDGET22_LOOK_UP)
#undef PHIDGET22_LOOK_UP
            if (l.error.empty())
                l.api = std::move(api);
            else
                dlclose(handle); // nothing of it runs yet
        }
        found = loaded.emplace(library, std::move(l)).first;
    }
    error = found->second.error;
    return found->second.api.get();
}

// A position in the controller's units as whole steps: the nearest, ties to even.
int to_steps(double position) {
    return static_cast<int>(std::nearbyint(std::clamp(position, double(INT_MIN), double(INT_MAX))));
}

std::string motor_role(const char* role, int index) {
    return std::string(role) + " of motor " + std::to_string(index + 1);
}

} // namespace

// The library's handlers run on its thread. They read what the window will ask of the
// board while the channel is attached, and leave the event for the controller's (GUI)
// thread, unless the controller is going away; the lock keeps it from going while an
// event is left. The events wait under the lock, and an event that carries nothing, known
// by its address, asks the GUI thread to take them: the two threads share nothing else.
struct PhidgetController::Relay {
    struct Context {
        Relay* relay;
        int index;
    };
    using Delivery = std::function<void(PhidgetController&)>;
    const Api* api;
    std::mutex lock;
    PhidgetController* owner;
    std::deque<Delivery> waiting;
    const QEvent* posted = nullptr; // on its way to the GUI thread while any event waits
    std::array<Context, 4> contexts;

    Relay(const Api* a, PhidgetController* o) : api(a), owner(o) {
        for (int i = 0; i < 4; ++i) contexts[size_t(i)] = {this, i};
    }

    // One posted event asks for one delivery: other events (timers, input) run between
    // them, and a handler that processes events inside its call cannot take the library's
    // events out of their order.
    void post(Delivery deliver) {
        std::lock_guard<std::mutex> hold(lock);
        if (!owner) return;
        waiting.push_back(std::move(deliver));
        if (!posted) post_one();
    }
    void post_one() { // under the lock
        auto* e = new QEvent(QEvent::User);
        posted = e;
        QCoreApplication::postEvent(owner, e);
    }
    // The GUI thread, for each event the controller receives: whether it is the relay's,
    // and then the oldest event left, if any.
    bool take(const QEvent* e, std::optional<Delivery>& first) {
        std::lock_guard<std::mutex> hold(lock);
        if (e != posted) return false;
        posted = nullptr;
        if (waiting.empty()) return true;
        first = std::move(waiting.front());
        waiting.pop_front();
        if (!waiting.empty() && owner) post_one();
        return true;
    }
    void stop() {
        std::lock_guard<std::mutex> hold(lock);
        owner = nullptr;
        waiting.clear();
    }

    // The board's name for the window, its serial number and its motors, read while the
    // channel is attached; none when the board went away meanwhile.
    std::optional<Board> board(PhidgetHandle ch) const {
        const char* name = nullptr;
        int32_t serial = 0;
        Phidget_DeviceID id = 0;
        if (api->Phidget_getDeviceName(ch, &name) != phidget22::ok || !name ||
            api->Phidget_getDeviceSerialNumber(ch, &serial) != phidget22::ok ||
            api->Phidget_getDeviceID(ch, &id) != phidget22::ok)
            return std::nullopt;
        if (id == phidget22::unipolar_4_motor) return Board{unipolar_4_motor_name, serial, 4};
        return Board{name, serial, 1};
    }

    static void on_attach(PhidgetHandle ch, void* ctx) {
        auto* c = static_cast<Context*>(ctx);
        // the units the operator's steps per turn are counted in (the library's default)
        c->relay->api->PhidgetStepper_setRescaleFactor(reinterpret_cast<PhidgetStepperHandle>(ch),
                                                       1.0);
        std::optional<Board> b = c->relay->board(ch);
        const int index = c->index;
        c->relay->post([index, b](PhidgetController& p) { p.attached(index, b); });
    }
    static void on_detach(PhidgetHandle, void* ctx) {
        auto* c = static_cast<Context*>(ctx);
        const int index = c->index;
        c->relay->post([index](PhidgetController& p) { p.detached(index); });
    }
    static void on_position(PhidgetStepperHandle, void* ctx, double position) {
        auto* c = static_cast<Context*>(ctx);
        const int index = c->index, steps = to_steps(position);
        c->relay->post([index, steps](PhidgetController& p) {
            if (!p.events_) return;
            try {
                p.events_->position_changed(index, steps);
            } catch (...) {
                // an error in the program's handler goes back to the controller, which drops it
            }
        });
    }
};

PhidgetController::PhidgetController(const std::string& library) {
    api_ = load(library, unusable_);
    if (!api_) return;
    relay_ = std::make_unique<Relay>(api_, this);
    for (int i = 0; i < 4; ++i) {
        Channel& c = channels_[size_t(i)];
        void* ctx = &relay_->contexts[size_t(i)];
        PhidgetReturnCode code = api_->PhidgetStepper_create(&c.handle);
        const PhidgetHandle ch = phidget22::channel(c.handle);
        if (code == phidget22::ok) code = api_->Phidget_setChannel(ch, i);
        if (code == phidget22::ok)
            code = api_->Phidget_setOnAttachHandler(ch, Relay::on_attach, ctx);
        if (code == phidget22::ok)
            code = api_->Phidget_setOnDetachHandler(ch, Relay::on_detach, ctx);
        if (code == phidget22::ok)
            code =
                api_->PhidgetStepper_setOnPositionChangeHandler(c.handle, Relay::on_position, ctx);
        if (code != phidget22::ok) {
            const char* text = nullptr;
            api_->Phidget_getErrorDescription(code, &text);
            unusable_ = library + " cannot make a stepper channel: " + (text ? text : "failed");
            return;
        }
    }
}

bool PhidgetController::event(QEvent* e) {
    std::optional<Relay::Delivery> deliver;
    if (!relay_ || !relay_->take(e, deliver)) return QObject::event(e);
    if (deliver) (*deliver)(*this);
    return true;
}

PhidgetController::~PhidgetController() {
    if (relay_) relay_->stop(); // from now on no event is posted
    for (Channel& c : channels_) {
        if (!c.handle) continue;
        const PhidgetHandle ch = phidget22::channel(c.handle);
        api_->Phidget_setOnAttachHandler(ch, nullptr, nullptr);
        api_->Phidget_setOnDetachHandler(ch, nullptr, nullptr);
        api_->PhidgetStepper_setOnPositionChangeHandler(c.handle, nullptr, nullptr);
        if (c.opened) api_->Phidget_close(ch); // the board releases the motor
        api_->PhidgetStepper_delete(&c.handle);
    }
}

void PhidgetController::check(PhidgetReturnCode code, const std::string& role) const {
    if (code == phidget22::ok) return;
    const char* text = nullptr;
    if (api_->Phidget_getErrorDescription(code, &text) != phidget22::ok || !text)
        text = "unknown error";
    throw Error("Phidget stepper: " + role + ": " + text);
}

PhidgetStepperHandle PhidgetController::motor(int index) const {
    if (!unusable_.empty() || !api_) throw Error(unusable_);
    if (index < 0 || index > 3)
        throw Error("Phidget stepper: there is no motor " + std::to_string(index + 1));
    return channels_[size_t(index)].handle;
}

double PhidgetController::get(Getter Api::*function, int index, const char* role) const {
    const PhidgetStepperHandle ch = motor(index);
    double value = 0;
    check((api_->*function)(ch, &value), motor_role(role, index));
    return value;
}

void PhidgetController::set(Setter Api::*function, int index, double value,
                            const char* role) const {
    const PhidgetStepperHandle ch = motor(index);
    check((api_->*function)(ch, value), motor_role(role, index));
}

// A controller without its library opens all the same: it never attaches, and
// not_attached_reason() says why.
void PhidgetController::open(int serial) {
    if (!unusable_.empty() || opened_) return;
    open_channel(0, serial);
    opened_ = true;
}

void PhidgetController::open_channel(int index, int serial) {
    Channel& c = channels_[size_t(index)];
    const PhidgetHandle ch = phidget22::channel(c.handle);
    const std::string role = motor_role("opening the channel", index);
    check(api_->Phidget_setDeviceSerialNumber(ch, serial), role);
    check(api_->Phidget_open(ch), role);
    c.opened = true;
}

void PhidgetController::attached(int index, const std::optional<Board>& board) {
    Channel& c = channels_[size_t(index)];
    c.attached = true;
    if (index == 0 && board) {
        board_ = board;
        // the board's other motors, of this board and no other
        for (int i = 1; i < board->motors; ++i) {
            if (channels_[size_t(i)].opened) continue;
            try {
                open_channel(i, board->serial);
            } catch (const Error& e) {
                open_failure_ = e.what();
            }
        }
    }
    if (reported_ || !board_ || !channels_[0].attached) return;
    for (int i = 1; i < board_->motors; ++i)
        if (!channels_[size_t(i)].attached) return;
    reported_ = true;
    send([](Events& e) { e.attached(); });
}

void PhidgetController::detached(int index) {
    channels_[size_t(index)].attached = false;
    if (!reported_) return;
    reported_ = false;
    send([](Events& e) { e.detached(); });
}

void PhidgetController::send(void (*deliver)(Events&)) {
    if (!events_) return;
    try {
        deliver(*events_);
    } catch (...) {
        // an error in the program's handler goes back to the controller, which drops it
    }
}

// The name and serial number of the board, also once it has gone (the detach event's
// handler asks for them); before any board attached, the library's answer.
std::string PhidgetController::device_name() {
    if (board_) return board_->name;
    const PhidgetHandle ch = phidget22::channel(motor(0));
    const char* name = nullptr;
    check(api_->Phidget_getDeviceName(ch, &name), "reading the device name");
    return name ? name : "";
}

int PhidgetController::serial_number() {
    if (board_) return board_->serial;
    const PhidgetHandle ch = phidget22::channel(motor(0));
    int32_t serial = 0;
    check(api_->Phidget_getDeviceSerialNumber(ch, &serial), "reading the serial number");
    return serial;
}

int PhidgetController::current_position(int index) {
    return to_steps(get(&Api::PhidgetStepper_getPosition, index, "reading the current position"));
}

// The controller counts on from `steps`: the offset moves the position and the target
// alike, so the motor does not turn.
void PhidgetController::set_current_position(int index, int steps) {
    const double now =
        get(&Api::PhidgetStepper_getPosition, index, "declaring the current position");
    set(&Api::PhidgetStepper_addPositionOffset, index, steps - now,
        "declaring the current position");
}

int PhidgetController::target_position(int index) {
    return to_steps(
        get(&Api::PhidgetStepper_getTargetPosition, index, "reading the target position"));
}

void PhidgetController::set_target_position(int index, int steps) {
    set(&Api::PhidgetStepper_setTargetPosition, index, steps, "setting the target position");
}

void PhidgetController::set_acceleration(int index, double steps_per_s2) {
    set(&Api::PhidgetStepper_setAcceleration, index, steps_per_s2, "setting the acceleration");
}

void PhidgetController::set_velocity_limit(int index, double steps_per_s) {
    set(&Api::PhidgetStepper_setVelocityLimit, index, steps_per_s, "setting the velocity limit");
}

double PhidgetController::current_limit(int index) {
    return get(&Api::PhidgetStepper_getCurrentLimit, index, "reading the current limit");
}

void PhidgetController::set_current_limit(int index, double value) {
    set(&Api::PhidgetStepper_setCurrentLimit, index, value, "setting the current limit");
}

double PhidgetController::acceleration_min(int index) {
    return get(&Api::PhidgetStepper_getMinAcceleration, index, "reading the minimum acceleration");
}

double PhidgetController::acceleration_max(int index) {
    return get(&Api::PhidgetStepper_getMaxAcceleration, index, "reading the maximum acceleration");
}

double PhidgetController::velocity_max(int index) {
    return get(&Api::PhidgetStepper_getMaxVelocityLimit, index, "reading the maximum velocity");
}

void PhidgetController::set_engaged(int index, bool engaged) {
    const PhidgetStepperHandle ch = motor(index);
    check(api_->PhidgetStepper_setEngaged(ch, engaged ? 1 : 0),
          motor_role(engaged ? "engaging" : "releasing", index));
}

bool PhidgetController::can_attach() {
    return unusable_.empty() && opened_;
}

std::string PhidgetController::not_attached_reason() {
    if (!unusable_.empty()) return unusable_;
    if (reported_) return {};
    if (!open_failure_.empty()) return open_failure_;
    if (board_ && channels_[0].attached)
        return "the Phidget stepper #" + std::to_string(board_->serial) +
               " attached without all its motors: another program may hold them";
    if (board_) return "the Phidget stepper #" + std::to_string(board_->serial) + " has gone";
    return "no Phidget stepper attached";
}

} // namespace stepper
