// The V4L2 camera against a driver with the kernel's buffer queue (fake_libv4l2.cpp).
#include "capture/v4l2_camera.h"
#include "fake_libv4l2.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QTimer>

#include <linux/videodev2.h>

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

// The camera's thread hands frames over while the GUI thread starts and stops it: each stop
// ends the thread before it returns, so no frame reaches a sink after its stop, and the
// sink's state needs no lock of its own beyond what the stop gives.
TEST(V4l2Camera, StartAndStopWhileFramesArrive) {
    capture::V4l2Camera camera({"Lab camera", "/dev/video-fake"});
    camera.open(std::nullopt);
    int total = 0;
    for (int round = 0; round < 50; ++round) {
        int frames = 0; // touched by the camera's thread alone until stop() returns
        std::atomic<bool> stopped{false};
        std::atomic<int> late{0};
        camera.start([&](QImage) {
            // a sink that takes a while: a stop comes while it runs
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            if (stopped) ++late;
            ++frames;
        });
        if (round % 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        camera.stop();
        stopped = true;
        total += frames;
        EXPECT_EQ(late, 0);
    }
    EXPECT_GT(total, 0);
    camera.close();
}

// Unplugged while it streams, the camera's thread ends at the first failed call rather than
// asking again and again, and the frames stop; stop() and close() still end what is left,
// and once the camera is back it streams again.
TEST(V4l2Camera, LostMidStream) {
    capture::V4l2Camera camera({"Lab camera", "/dev/video-fake"});
    camera.open(std::nullopt);
    std::atomic<int> frames{0};
    camera.start([&](QImage) { ++frames; });
    for (int i = 0; i < 200 && frames < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(frames, 3);
    fake_v4l2::lost_calls = 0;
    fake_v4l2::lost = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int at_loss = frames;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(frames, at_loss);
    EXPECT_EQ(fake_v4l2::lost_calls, 1);
    camera.stop();
    fake_v4l2::lost = false;
    camera.close();

    camera.open(std::nullopt);
    frames = 0;
    camera.start([&](QImage) { ++frames; });
    for (int i = 0; i < 200 && frames < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(frames, 3);
    camera.close();
}

// The driver's exposure and gain controls are the camera's features, the absolute exposure
// in µs: each is set on the driver, kept within the driver's range, and read back, on the
// open camera and on a closed one alike; setting the exposure time turns the automatic
// exposure off, which would ignore it.
TEST(V4l2Camera, ExposureAndGain) {
    capture::V4l2Camera camera({"Lab camera", "/dev/video-fake"});
    for (bool open : {false, true}) {
        SCOPED_TRACE(open ? "open" : "closed");
        if (open) camera.open(std::nullopt);
        fake_v4l2::exposure = 156;
        fake_v4l2::gain = 32;
        fake_v4l2::exposure_auto = V4L2_EXPOSURE_APERTURE_PRIORITY;
        std::vector<capture::Feature> features = camera.features();
        ASSERT_EQ(features.size(), 2u);
        const capture::Feature& exposure = features[0];
        const capture::Feature& gain = features[1];
        EXPECT_EQ(exposure.name, "Exposure time");
        EXPECT_EQ(exposure.unit, "µs");
        EXPECT_EQ(exposure.minimum, 300);
        EXPECT_EQ(exposure.maximum, 204700);
        EXPECT_EQ(exposure.step, 100);
        EXPECT_EQ(exposure.value, 15600);
        EXPECT_EQ(gain.name, "Gain");
        EXPECT_EQ(gain.value, 32);

        EXPECT_EQ(exposure.set(50000), 50000);
        EXPECT_EQ(fake_v4l2::exposure, 500);
        EXPECT_EQ(fake_v4l2::exposure_auto, V4L2_EXPOSURE_MANUAL);
        EXPECT_EQ(gain.set(999), 255); // the driver keeps it within its range
        EXPECT_EQ(fake_v4l2::gain, 255);
        EXPECT_EQ(camera.features()[0].value, 50000);
        EXPECT_EQ(camera.features()[1].value, 255);
    }
}

// The Features dialog shows them first, each with its unit, and sets the driver.
TEST(V4l2Camera, FeaturesDialogSetsExposureAndGain) {
    int argc = 1;
    char name[] = "v4l2_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    capture::V4l2Camera camera({"Lab camera", "/dev/video-fake"});
    fake_v4l2::exposure = 156;
    QStringList rows;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* form = dialog->findChild<QFormLayout*>();
        for (int r = 0; r < form->rowCount(); ++r)
            if (auto* label =
                    qobject_cast<QLabel*>(form->itemAt(r, QFormLayout::LabelRole)->widget()))
                rows << label->text();
        auto* exposure = dialog->findChild<QDoubleSpinBox*>("Exposure time");
        ASSERT_NE(exposure, nullptr);
        EXPECT_EQ(exposure->suffix(), " µs");
        exposure->setValue(20000);
        dialog->findChild<QDoubleSpinBox*>("Gain")->setValue(7);
        dialog->reject();
    });
    EXPECT_TRUE(camera.show_dialog(capture::features_dialog));
    // the driver's other controls follow
    EXPECT_EQ(rows, QStringList({"Exposure time", "Gain", "Auto Exposure"}));
    EXPECT_EQ(fake_v4l2::exposure, 200);
    EXPECT_EQ(fake_v4l2::gain, 7);
}
