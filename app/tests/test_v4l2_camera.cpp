// The V4L2 camera against a driver with the kernel's buffer queue (fake_libv4l2.cpp).
#include "capture/v4l2_camera.h"
#include "fake_libv4l2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

// Each start streams: stopping the stream took the buffers back from the driver, so a
// start without a new open must hand them over again, or no frame ever arrives. The
// frames carry the driver's RGB24 pixels as 32-bit ones.
TEST(V4l2Camera, StreamsAgainAfterAStop) {
    capture::V4l2Camera camera({"Lab camera", "/dev/video-fake"});
    camera.open(std::nullopt);
    EXPECT_EQ(camera.size(), QSize(64, 48));
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        std::atomic<int> frames{0};
        std::atomic<QRgb> corner{0};
        fake_v4l2::empty_polls = 0;
        camera.start([&](QImage frame) {
            if (frame.size() != QSize(64, 48) || frame.format() != QImage::Format_RGB32) return;
            corner = frame.pixel(63, 47);
            ++frames;
        });
        for (int i = 0; i < 200 && frames < 5; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        camera.stop();
        EXPECT_GE(frames, 5);
        EXPECT_EQ(corner, qRgb(10, 20, 30));
        EXPECT_EQ(fake_v4l2::empty_polls, 0);
    }
    camera.close();
    EXPECT_FALSE(camera.is_open());
}
