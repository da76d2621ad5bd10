// The part of the vendor's C library libphidget22 that the Phidget controller uses,
// declared from the library's published function reference. The library is loaded at run
// time, so these are the types of its functions, not declarations to link against; a
// stand-in that implements them checks its definitions against the same types.
//
// Every function returns a PhidgetReturnCode, 0 for success; Phidget_getErrorDescription
// turns a code into the library's own text. A channel is opened asynchronously: its attach
// handler runs on the library's own thread once a matching device channel is found, and
// so do its detach and position-change handlers.
#pragma once

#include <cstdint>

extern "C" {

typedef struct _Phidget* PhidgetHandle;
// A stepper channel; every PhidgetStepperHandle is also a PhidgetHandle.
typedef struct _PhidgetStepper* PhidgetStepperHandle;
typedef int PhidgetReturnCode;
typedef int Phidget_DeviceID;

typedef void (*Phidget_OnAttachCallback)(PhidgetHandle ch, void* ctx);
typedef void (*Phidget_OnDetachCallback)(PhidgetHandle ch, void* ctx);
typedef void (*PhidgetStepper_OnPositionChangeCallback)(PhidgetStepperHandle ch, void* ctx,
                                                        double position);
}

namespace phidget22 {

constexpr PhidgetReturnCode ok = 0;
constexpr PhidgetReturnCode invalid_argument = 0x15; // EPHIDGET_INVALIDARG
constexpr PhidgetReturnCode not_attached = 0x34;     // EPHIDGET_NOTATTACHED

constexpr int32_t any_serial_number = -1; // PHIDGET_SERIALNUMBER_ANY
// The unipolar stepper controller with four motors (board 1062), PHIDID_1062.
constexpr Phidget_DeviceID unipolar_4_motor = 39;

inline PhidgetHandle channel(PhidgetStepperHandle stepper) {
    return reinterpret_cast<PhidgetHandle>(stepper);
}

} // namespace phidget22

// Every function the controller uses: X(name, parameter list).
#define PHIDGET22_FUNCTIONS(X)                                                                     \
    X(Phidget_getErrorDescription, (PhidgetReturnCode code, const char** description))             \
    X(Phidget_setChannel, (PhidgetHandle ch, int channel))                                         \
    X(Phidget_setDeviceSerialNumber, (PhidgetHandle ch, int32_t serial_number))                    \
    X(Phidget_setOnAttachHandler, (PhidgetHandle ch, Phidget_OnAttachCallback f, void* ctx))       \
    X(Phidget_setOnDetachHandler, (PhidgetHandle ch, Phidget_OnDetachCallback f, void* ctx))       \
    X(Phidget_open, (PhidgetHandle ch))                                                            \
    X(Phidget_close, (PhidgetHandle ch))                                                           \
    X(Phidget_getDeviceName, (PhidgetHandle ch, const char** name))                                \
    X(Phidget_getDeviceSerialNumber, (PhidgetHandle ch, int32_t * serial_number))                  \
    X(Phidget_getDeviceID, (PhidgetHandle ch, Phidget_DeviceID * id))                              \
    X(PhidgetStepper_create, (PhidgetStepperHandle * ch))                                          \
    X(PhidgetStepper_delete, (PhidgetStepperHandle * ch))                                          \
    X(PhidgetStepper_setOnPositionChangeHandler,                                                   \
      (PhidgetStepperHandle ch, PhidgetStepper_OnPositionChangeCallback f, void* ctx))             \
    X(PhidgetStepper_setRescaleFactor, (PhidgetStepperHandle ch, double factor))                   \
    X(PhidgetStepper_getPosition, (PhidgetStepperHandle ch, double* position))                     \
    X(PhidgetStepper_addPositionOffset, (PhidgetStepperHandle ch, double offset))                  \
    X(PhidgetStepper_getTargetPosition, (PhidgetStepperHandle ch, double* position))               \
    X(PhidgetStepper_setTargetPosition, (PhidgetStepperHandle ch, double position))                \
    X(PhidgetStepper_setAcceleration, (PhidgetStepperHandle ch, double acceleration))              \
    X(PhidgetStepper_setVelocityLimit, (PhidgetStepperHandle ch, double velocity))                 \
    X(PhidgetStepper_getCurrentLimit, (PhidgetStepperHandle ch, double* current))                  \
    X(PhidgetStepper_setCurrentLimit, (PhidgetStepperHandle ch, double current))                   \
    X(PhidgetStepper_getMinAcceleration, (PhidgetStepperHandle ch, double* acceleration))          \
    X(PhidgetStepper_getMaxAcceleration, (PhidgetStepperHandle ch, double* acceleration))          \
    X(PhidgetStepper_getMaxVelocityLimit, (PhidgetStepperHandle ch, double* velocity))             \
    X(PhidgetStepper_setEngaged, (PhidgetStepperHandle ch, int engaged))

namespace phidget22 {

// The function types, one per function: phidget22::Phidget_open_t and so on.
#define PHIDGET22_TYPE(name, parameters) using name##_t = PhidgetReturnCode(*) parameters;
PHIDGET22_FUNCTIONS(PHIDGET22_TYPE)
#undef PHIDGET22_TYPE

} // namespace phidget22
