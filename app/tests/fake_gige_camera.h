// Aravis's own fake GigE Vision camera (arv-fake-gv-camera-0.8 of Debian's aravis-tools),
// started by a test on the loopback of the network the test runs in, which is its own
// (scripts/loopback-only). The program's discovery finds it there as "Aravis-Fake-GV01".
// Its frames are a diagonal ramp that moves one grey level a frame: in Mono8 the pixel
// (x, y) of frame n is (x + y + n) mod 255, times 1 + gain + log10(exposure / 10 ms),
// clipped; in its colour formats the ramp is drawn in a rainbow palette.
#pragma once

#include <QProcess>

class FakeGigECamera {
  public:
    static constexpr const char* name = "Aravis-Fake-GV01";

    // Starts it and waits until the discovery lists it (listed() says whether it did).
    FakeGigECamera();
    ~FakeGigECamera();

    bool listed() const { return listed_; }
    // Ends it at once, as a camera that is unplugged or whose network is gone.
    void unplug();

  private:
    QProcess process_;
    bool listed_ = false;
};
