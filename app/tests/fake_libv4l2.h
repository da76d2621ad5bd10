// The driver behind the fake libv4l2 of the V4L2 camera's tests.
#pragma once

#include <atomic>

namespace fake_v4l2 {

// DQBUF calls that found no filled buffer.
extern std::atomic<long> empty_polls;
// The driver's exposure time (in 100 µs) and gain.
extern int exposure, gain;

} // namespace fake_v4l2
