// What the tests ask of the stand-in libphidget22 beside its library functions: which board
// is on the bus, unplugging and plugging it, and what its motors were told. A channel
// here is the open channel of that index (0 to 3).
#pragma once

extern "C" {

// The 4-motor unipolar board (serial 301234) on the bus, nothing unplugged (unless
// PHIDGET_STANDIN_BOARD=none keeps the bus empty).
void standin_reset();
// The board on the bus from the next attach on: its name, device id, serial number and
// stepper channels.
void standin_board(const char* name, int device_id, int serial, int motors);
// The board goes away: its attached channels detach, from the library's thread.
void standin_unplug();
// The board comes back: open channels attach again some 100 ms later.
void standin_plug();
// The serial number the channel was opened with; -2 when it is not open.
int standin_open_serial(int channel);
int standin_engaged(int channel);
double standin_acceleration(int channel);
double standin_velocity_limit(int channel);
double standin_rescale_factor(int channel);
}
