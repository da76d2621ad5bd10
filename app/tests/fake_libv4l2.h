// The driver behind the fake libv4l2 of the V4L2 camera's tests.
#pragma once

#include <atomic>

namespace fake_v4l2 {

// DQBUF calls that found no filled buffer.
extern std::atomic<long> empty_polls;
// The driver's exposure time (in 100 µs) and gain.
extern int exposure, gain;
// Its automatic exposure (V4L2_CID_EXPOSURE_AUTO), on at the start as on a UVC camera: while
// it is, a set exposure time is ignored.
extern int exposure_auto;
// The camera unplugged: every call on its frames fails with ENODEV, as the kernel's do;
// `lost_calls` counts them.
extern std::atomic<bool> lost;
extern std::atomic<long> lost_calls;

} // namespace fake_v4l2
