// The capture component: frames from a camera thread to the GUI thread, the virtual
// microscope's camera behind the window's operations, and the V4L2 cameras as far as a
// machine without a camera can show them.
#include "capture/capture_component.h"
#include "capture/frame_queue.h"
#include "capture/property_page.h"
#include "capture/v4l2_camera.h"
#include "capture/virtual_camera.h"
#include "modal_dialog.h"
#include "ui/wait.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <thread>

namespace {

QImage numbered(int n) {
    QImage f(n, 1, QImage::Format_RGB32);
    f.fill(0);
    return f;
}

} // namespace

// A busy GUI thread: the queue keeps the newest frames, delivers them in the order they
// were taken, on the GUI thread, and forgets what was waiting when it is discarded.
TEST(FrameQueue, BoundedInOrderOnTheGuiThread) {
    capture::FrameQueue queue(4);
    std::vector<int> seen;
    bool on_gui_thread = true;
    queue.deliver = [&](const QImage& f) {
        seen.push_back(f.width());
        on_gui_thread = on_gui_thread && QThread::currentThread() == qApp->thread();
    };
    std::thread camera([&] {
        for (int n = 1; n <= 10; ++n) queue.push(numbered(n));
    });
    camera.join();
    ui::wait_until([&] { return seen.size() >= 4; }, 2000);
    ui::process_messages();
    EXPECT_EQ(seen, std::vector<int>({7, 8, 9, 10}));
    EXPECT_EQ(queue.dropped(), 6u);
    EXPECT_TRUE(on_gui_thread);

    queue.push(numbered(11));
    queue.discard();
    queue.push(numbered(12));
    ui::wait_until([&] { return seen.size() >= 5; }, 2000);
    ui::process_messages();
    EXPECT_EQ(seen.back(), 12);
    EXPECT_EQ(seen.size(), 5u);
}

class CaptureTest : public ::testing::Test {
  protected:
    CaptureTest() {
        capture::CaptureOptions options;
        options.virtual_frame_rate = 400;
        options.device_folder = no_devices.path() + "/";
        options.genicam = false;
        component = std::make_unique<capture::CaptureComponent>(microscope, options);
        component->on_frame = [this](const QImage& f) { sizes.push_back(f.size()); };
    }

    // The size of the next frame that arrives from now on.
    QSize next_frame() {
        sizes.clear();
        if (!ui::wait_until([&] { return !sizes.empty(); }, 5000)) return {};
        return sizes.front();
    }

    QTemporaryDir no_devices;
    std::shared_ptr<sim::Microscope> microscope = std::make_shared<sim::Microscope>();
    std::unique_ptr<capture::CaptureComponent> component;
    std::vector<QSize> sizes;
};

// The list, the selection, and what needs a device.
TEST_F(CaptureTest, DevicesAndSelection) {
    EXPECT_EQ(component->devices(), QStringList({"Virtual microscope"}));
    EXPECT_EQ(component->device_name(), "None");
    EXPECT_THROW(component->open(), capture::Error);
    EXPECT_THROW(component->set_enabled(true), capture::Error);
    EXPECT_TRUE(component->available_dialogs().none());
    EXPECT_FALSE(component->show_dialog(capture::format_dialog));

    component->set_device_name("Virtual microscope");
    EXPECT_EQ(component->device_name(), "Virtual microscope");
    EXPECT_EQ(component->available_dialogs(), capture::DialogSet(0b101000));
    component->set_device_name("Some camera");
    EXPECT_EQ(component->device_name(), "None");
    component->set_device_name("Virtual microscope");
    component->set_device_name("None");
    EXPECT_EQ(component->device_name(), "None");
}

// The frame size follows the window's calls: the device's current size while `current`
// holds, the requested one at the opening after `current` was cleared; stopped or closed,
// no frame arrives, not even one that was on its way.
TEST_F(CaptureTest, FrameSizesAndStreaming) {
    component->set_device_name("Virtual microscope");
    component->set_enabled(true); // designed: 1024 x 768 requested, but `current`
    EXPECT_EQ(next_frame(), QSize(640, 480));

    // the calls of "320 x 240"
    component->set_enabled(false);
    component->set_current_size(false);
    component->set_requested_size(320, 240);
    component->set_enabled(true);
    component->set_current_size(true);
    component->open();
    component->start();
    EXPECT_EQ(next_frame(), QSize(320, 240));
    EXPECT_EQ(component->virtual_camera().current_size(), QSize(320, 240));

    // a request made while `current` holds waits for the next opening without it
    component->set_requested_size(1024, 768);
    component->open();
    EXPECT_EQ(next_frame(), QSize(320, 240));
    component->set_current_size(false);
    component->open(); // opens again; streaming stopped
    EXPECT_FALSE(component->streaming());
    component->start();
    EXPECT_EQ(next_frame(), QSize(1024, 768));

    component->stop();
    sizes.clear();
    ui::wait_until([] { return false; }, 50);
    EXPECT_TRUE(sizes.empty());
    component->start();
    EXPECT_EQ(next_frame(), QSize(1024, 768));
    component->set_frames_enabled(false);
    sizes.clear();
    ui::wait_until([] { return false; }, 50);
    EXPECT_TRUE(sizes.empty());
    component->set_frames_enabled(true);
    component->close();
    EXPECT_FALSE(component->virtual_camera().is_open());
    component->start(); // opens again
    EXPECT_EQ(next_frame(), QSize(1024, 768));
}

// The camera's thread films while the GUI thread starts, stops, opens and closes it, and
// changes what it films: after each stop, no frame arrives, not one that was on its way.
TEST_F(CaptureTest, StartAndStopWhileFramesArrive) {
    component->set_device_name("Virtual microscope");
    component->set_enabled(true);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        component->start();
        microscope->set_exposure_us(4000 + 100 * round);
        microscope->set_sample(round % 2 ? "wedge" : "target");
        microscope->stage().set_shaft_steps(round * 7);
        ASSERT_TRUE(ui::wait_until([&] { return !sizes.empty(); }, 5000));
        if (round % 3 == 0) {
            component->close();
        } else if (round % 3 == 1) { // opens again in another size, streaming stopped
            component->set_current_size(false);
            component->set_requested_size(round % 2 ? 320 : 640, round % 2 ? 240 : 480);
            component->open();
        } else {
            component->stop();
        }
        sizes.clear();
        ui::process_messages();
        ui::wait_until([] { return false; }, 20); // several frame times of the camera
        EXPECT_TRUE(sizes.empty());
    }
}

// Frames of cameras on several threads at once, while the GUI thread takes them and forgets
// the waiting ones: each frame taken is whole.
TEST(FrameQueue, SeveralCamerasAndADiscard) {
    capture::FrameQueue queue(4);
    int taken = 0, broken = 0;
    queue.deliver = [&](const QImage& f) {
        ++taken;
        broken += f.width() != 8 || f.pixel(7, 0) != qRgb(1, 2, 3);
    };
    std::atomic<int> finished{0};
    std::vector<std::thread> cameras;
    for (int t = 0; t < 3; ++t)
        cameras.emplace_back([&] {
            for (int n = 0; n < 2000; ++n) {
                QImage f(8, 1, QImage::Format_RGB32);
                f.fill(qRgb(1, 2, 3));
                queue.push(std::move(f));
            }
            ++finished;
        });
    for (int i = 1; finished < 3; ++i) {
        ui::process_messages();
        if (i % 10 == 0) queue.discard();
    }
    for (std::thread& t : cameras) t.join();
    // and after all that, a frame still reaches the GUI thread
    const int before = taken;
    QImage last(8, 1, QImage::Format_RGB32);
    last.fill(qRgb(1, 2, 3));
    queue.push(last);
    ui::wait_until([&] { return taken > before; }, 2000);
    EXPECT_GT(taken, before);
    EXPECT_GT(taken, 0);
    EXPECT_EQ(broken, 0);
}

// "Format" chooses the virtual camera's size and rate: the stream pauses while the dialog
// is open and resumes in the new format. "Features" chooses the sample and sets the
// camera's exposure time and gain, each kept within its range.
TEST_F(CaptureTest, VirtualCameraDialogs) {
    component->set_device_name("Virtual microscope");
    component->start();
    EXPECT_EQ(next_frame(), QSize(640, 480));
    bool streamed_while_shown = true;
    answer_dialog([&](QDialog& d) {
        streamed_while_shown = component->streaming();
        auto* size = d.findChild<QComboBox*>("size");
        size->setCurrentIndex(size->findText("320 x 240"));
        auto* rate = d.findChild<QComboBox*>("rate");
        rate->setCurrentIndex(rate->findText("15"));
    });
    EXPECT_TRUE(component->show_dialog(capture::format_dialog));
    EXPECT_FALSE(streamed_while_shown);
    EXPECT_TRUE(component->streaming());
    EXPECT_EQ(next_frame(), QSize(320, 240));
    EXPECT_EQ(component->virtual_camera().frame_rate(), 15);

    answer_dialog([](QDialog& d) {
        // every sample's description is read whole within the list's width
        auto* list = d.findChild<QListWidget*>("sample");
        QApplication::processEvents();
        int wrapped = 0;
        for (int row = 0; row < list->count(); ++row) {
            const QRect shown = list->visualItemRect(list->item(row));
            const int needed = list->fontMetrics().horizontalAdvance(list->item(row)->text());
            EXPECT_LE(shown.right(), list->viewport()->width()) << row;
            if (needed > list->viewport()->width()) {
                EXPECT_GT(shown.height(), list->fontMetrics().height() * 3 / 2) << row;
                ++wrapped;
            }
        }
        EXPECT_GT(wrapped, 0) << "no description is longer than the list is wide";
        list->setCurrentRow(2);
        d.findChild<QDoubleSpinBox*>("Exposure time")->setValue(2500);
        auto* gain = d.findChild<QDoubleSpinBox*>("Gain");
        EXPECT_EQ(gain->suffix(), " dB");
        gain->setValue(30); // past the camera's 24 dB
    });
    EXPECT_TRUE(component->show_dialog(capture::features_dialog));
    EXPECT_EQ(microscope->sample(), "grains");
    EXPECT_EQ(microscope->exposure_us(), 2500);
    EXPECT_EQ(microscope->gain_db(), 24);
    EXPECT_TRUE(component->streaming());
}

// Without cameras the list holds the virtual microscope alone; a node that is no camera is
// not listed, and a camera that cannot be opened says which and why.
TEST_F(CaptureTest, V4l2CamerasThatAreNotThere) {
    EXPECT_TRUE(capture::v4l2_cameras(no_devices.path() + "/").empty());
    QFile not_a_camera(no_devices.path() + "/video0");
    ASSERT_TRUE(not_a_camera.open(QIODevice::WriteOnly));
    not_a_camera.close();
    EXPECT_TRUE(capture::v4l2_cameras(no_devices.path() + "/").empty());
    EXPECT_EQ(component->devices(), QStringList({"Virtual microscope"}));

    for (const QString& path : {no_devices.path() + "/video0", no_devices.path() + "/video7"}) {
        capture::V4l2Camera camera({"Lab camera", path});
        try {
            camera.open(std::nullopt);
            ADD_FAILURE() << "opened " << path.toStdString();
        } catch (const capture::Error& e) {
            EXPECT_TRUE(QString(e.what()).contains("Lab camera") &&
                        QString(e.what()).contains(path))
                << e.what();
        }
        EXPECT_FALSE(camera.is_open());
        EXPECT_THROW(camera.start([](QImage) {}), capture::Error);
    }
}

// A value the device refuses: the box goes back to the value the device keeps and the
// reason shows under it, until a value is taken.
TEST(PropertyPage, RefusedValueIsSaidAndUndone) {
    QWidget page;
    auto* form = new QFormLayout(&page);
    bool refuse = true;
    capture::add_feature_row(form, {"Gain", "dB", 0, 24, 0, 3, [&refuse](double v) {
                                        if (refuse)
                                            throw capture::Error("cannot set its gain: busy");
                                        return v;
                                    }});
    auto* box = page.findChild<QDoubleSpinBox*>("Gain");
    auto* problem = page.findChild<QLabel*>("Gain problem");
    ASSERT_TRUE(box && problem);
    EXPECT_TRUE(problem->isHidden());
    box->setValue(10);
    EXPECT_EQ(box->value(), 3);
    EXPECT_FALSE(problem->isHidden());
    EXPECT_EQ(problem->text(), "cannot set its gain: busy");
    refuse = false;
    box->setValue(12);
    EXPECT_EQ(box->value(), 12);
    EXPECT_TRUE(problem->isHidden());
}
