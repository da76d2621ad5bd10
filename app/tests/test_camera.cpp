// The camera handlers of the window against a recording capture component: the device
// list, the size buttons, "Format" and "Features", the camera maker's program, and the
// refresh of the frame-size label and of Start_Sequence.
#include "window_fixture.h"

#include <QTest>

namespace {

QImage frame_of(int width, int height) {
    QImage f(width, height, QImage::Format_RGB32);
    f.fill(qRgb(10, 20, 30));
    return f;
}

} // namespace

// Each size button makes its calls in its own order, records its choice and starts the
// refresh; with the fixed-size camera they do nothing at all.
TEST_F(WindowTest, SizeButtonsCallTheCaptureInTheirOrder) {
    camera_devices = {"Camera A"};
    auto form = make_window();
    form->FormActivate();
    pick(*form, "Camera A");
    const struct {
        QPushButton* button;
        int choice;
        QStringList calls;
    } cases[] = {
        {form->Button4,
         1,
         {"enabled 0", "current 0", "size 320 x 240", "enabled 1", "current 1", "open", "start"}},
        {form->Button2,
         2,
         {"enabled 0", "current 0", "size 640 x 480", "enabled 1", "current 1", "open", "start"}},
        {form->Button3,
         3,
         {"current 0", "enabled 0", "size 1024 x 768", "enabled 1", "current 1", "enabled 1",
          "open", "start"}},
    };
    for (const auto& c : cases) {
        camera->take_calls();
        form->Timer5->setEnabled(false);
        QTest::mouseClick(c.button, Qt::LeftButton);
        EXPECT_EQ(camera->take_calls(), c.calls) << c.button->text().toStdString();
        EXPECT_EQ(form->camera.resolution, c.choice);
        EXPECT_TRUE(form->Timer5->enabled());
    }

    form->camera.video_driver_name = "Mightex_BufferSource Filter";
    form->Timer5->setEnabled(false);
    camera->take_calls();
    for (const auto& c : cases) QTest::mouseClick(c.button, Qt::LeftButton);
    EXPECT_TRUE(camera->calls.isEmpty()) << camera->calls.join(",").toStdString();
    EXPECT_EQ(form->camera.resolution, 3);
    EXPECT_FALSE(form->Timer5->enabled());
    form->camera.video_driver_name = "mightex_buffersource filter"; // the test is case-sensitive
    QTest::mouseClick(form->Button4, Qt::LeftButton);
    EXPECT_EQ(form->camera.resolution, 1);
}

// The saved fixed-size camera: activation opens it and leaves its size alone.
TEST_F(WindowTest, ActivationKeepsTheSizeOfTheFixedSizeCamera) {
    camera_devices = {"Mightex_BufferSource Filter"};
    write_settings("Mightex_BufferSource Filter\r\n");
    auto form = make_window();
    form->FormActivate();
    EXPECT_EQ(camera->calls, QStringList({"devices", "device Mightex_BufferSource Filter",
                                          "enabled 1", "open", "start", "frames 1"}));
    EXPECT_FALSE(form->Timer5->enabled());
}

// Picking a device stops the capture, switches and starts it; a device that does not
// start says nothing and leaves the camera unchosen; text that names no device does
// nothing.
TEST_F(WindowTest, DeviceSelection) {
    camera_devices = {"Camera A", "Camera B"};
    auto form = make_window();
    form->FormActivate();
    camera->take_calls();
    camera->fail_start = true;
    pick(*form, "Camera B");
    EXPECT_EQ(camera->take_calls(), QStringList({"stop", "device Camera B", "start"}));
    EXPECT_FALSE(form->camera.chosen);
    EXPECT_TRUE(form->Timer5->enabled());
    EXPECT_TRUE(dialogs.messages.isEmpty() && dialogs.errors.isEmpty());

    camera->fail_start = false;
    form->combobox1->setCurrentIndex(1);
    QTest::keyClicks(form->combobox1->lineEdit(), "x"); // "Camera Bx"
    EXPECT_TRUE(camera->calls.isEmpty()) << camera->calls.join(",").toStdString();
    QTest::keyClick(form->combobox1->lineEdit(), Qt::Key_Backspace); // "Camera B" again
    EXPECT_EQ(camera->take_calls(), QStringList({"stop", "device Camera B", "start"}));
    EXPECT_TRUE(form->camera.chosen);
    EXPECT_EQ(form->camera.video_driver_name, "Camera B");

    // the orderly close releases the camera and saves its name
    form->FormClose();
    EXPECT_EQ(camera->calls.last(), "enabled 0");
    EXPECT_TRUE(read_settings().startsWith("Camera B\r\n"));
}

// "Format" and "Features" refuse until a device is picked from the list in this run, also
// when the saved device already runs; then they show the device's dialogs.
TEST_F(WindowTest, FormatAndFeaturesDialogs) {
    camera_devices = {"Camera A"};
    write_settings("Camera A\r\n");
    auto form = make_window();
    form->FormActivate();
    camera->take_calls();
    for (QPushButton* b : {form->CapturePIN, form->Capture}) {
        form->Timer5->setEnabled(false);
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_FALSE(form->Timer5->enabled());
    }
    EXPECT_EQ(dialogs.messages, QStringList(2, "please select again your cameradriver from above"));
    EXPECT_TRUE(camera->calls.isEmpty()) << camera->calls.join(",").toStdString();

    pick(*form, "Camera A");
    camera->take_calls();
    form->Timer5->setEnabled(false);
    QTest::mouseClick(form->CapturePIN, Qt::LeftButton);
    EXPECT_EQ(camera->take_calls(), QStringList({"current 0", "close", "dialog 5",
                                                 "device Camera A", "current 1", "start"}));
    EXPECT_TRUE(form->Timer5->enabled());
    form->Timer5->setEnabled(false);
    QTest::mouseClick(form->Capture, Qt::LeftButton);
    EXPECT_EQ(camera->take_calls(), QStringList({"dialog 3"}));
    EXPECT_TRUE(form->Timer5->enabled());

    // a failure on the way is not reported, and the refresh still starts
    camera->fail_start = true;
    form->Timer5->setEnabled(false);
    QTest::mouseClick(form->CapturePIN, Qt::LeftButton);
    EXPECT_TRUE(form->Timer5->enabled());
    EXPECT_EQ(dialogs.messages.size(), 2);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

// Label11 shows the latest frame's size; Start_Sequence is available only with a frame at
// least 2 pixels wide, no sequence running and the motor controls there. The refresh also
// offers "Features" and "Format" as the device does.
TEST_F(WindowTest, FrameSizeLabelAndStartSequence) {
    camera_devices = {"Camera A"};
    auto form = make_window();
    form->FormActivate();
    pick(*form, "Camera A");
    form->Timer5Timer();
    EXPECT_EQ(form->Label11->caption(), "0 x 0");
    EXPECT_FALSE(form->Start_Sequence->isEnabled());

    const struct {
        int width;
        bool running, motor_controls;
        const char* label;
        bool available;
    } cases[] = {
        {1, false, true, "1 x 5", false},
        {2, false, true, "2 x 5", true},
        {640, true, true, "640 x 5", false},
        {640, false, false, "640 x 5", false},
    };
    for (const auto& c : cases) {
        camera->deliver(frame_of(c.width, 5));
        form->sequence.running = c.running;
        form->GroupBox1->setVisible(c.motor_controls);
        form->Timer5Timer();
        EXPECT_EQ(form->Label11->caption(), c.label);
        EXPECT_EQ(form->Start_Sequence->isEnabled(), c.available) << c.label;
    }

    for (int kinds : {0b000000, 0b001000, 0b100000, 0b101000}) {
        camera->dialogs = capture::DialogSet(static_cast<unsigned long>(kinds));
        form->Timer5Timer();
        EXPECT_EQ(form->Capture->isEnabled(), (kinds & 0b1000) != 0);
        EXPECT_EQ(form->CapturePIN->isEnabled(), (kinds & 0b100000) != 0);
    }
}

// The camera maker's program: the camera is released for it and the program started from
// its folder; cancelling the search leaves the camera running; "Open Camera software"
// without a remembered program searches.
TEST_F(WindowTest, CameraMakersProgram) {
    QStringList started;
    camera_devices = {"Camera A"};
    auto form = make_window();
    form->FormActivate();
    pick(*form, "Camera A");
    camera->take_calls();
    QTest::mouseClick(form->Button5, Qt::LeftButton); // cancelled
    EXPECT_TRUE(camera->calls.isEmpty());
    EXPECT_EQ(dialogs.file_dialogs.size(), 1u);

    open_file = [&](const QString& path, const QString& working) {
        started << path + " in " + working;
        return false; // a failure changes nothing
    };
    form = make_window();
    dialogs.files = {"/opt/cam/viewer"};
    QTest::mouseClick(form->Button6, Qt::LeftButton); // nothing remembered: a search
    EXPECT_EQ(dialogs.file_dialogs.size(), 2u);
    EXPECT_EQ(camera->take_calls(), QStringList({"close", "enabled 0"}));
    EXPECT_EQ(started, QStringList({"/opt/cam/viewer in /opt/cam"}));
    EXPECT_EQ(form->camera.software_path, "/opt/cam/viewer");

    QTest::mouseClick(form->Button6, Qt::LeftButton); // the remembered program, no search
    EXPECT_EQ(dialogs.file_dialogs.size(), 2u);
    EXPECT_EQ(camera->take_calls(), QStringList({"close", "enabled 0"}));
    EXPECT_EQ(started.size(), 2);
}
