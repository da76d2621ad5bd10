// The camera: choosing the device and its frame size, its property dialogs, the camera
// maker's program, and the refresh of the frame-size label and of Start_Sequence.
#include "form.h"

#include <QFileInfo>

#include <functional>

namespace {

// A camera whose frame size the program never changes.
const QString fixed_size_camera = QStringLiteral("Mightex_BufferSource Filter");
const QString choose_again = QStringLiteral("please select again your cameradriver from above");

} // namespace

void TForm1::combobox1Change() {
    select_listed_camera();
}
void TForm1::combobox1Click() {
    select_listed_camera();
}

// The device picked in the list: the capture stops, switches to it and starts again.
// Text typed into the list that names no listed device selects nothing.
void TForm1::select_listed_camera() {
    const int item =
        combobox1->findText(combobox1->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (item < 0) return;
    camera.video_driver_name = combobox1->itemText(item);
    try {
        capture::Camera& c = capture();
        c.stop();
        c.set_device_name(camera.video_driver_name);
        c.start();
        camera.chosen = true;
    } catch (const capture::Error&) {
        // not reported: the operator sees no picture and chooses again
    }
    Timer5->setEnabled(true);
}

void TForm1::Button4Click() {
    set_frame_size(320, 240, 1);
}
void TForm1::Button2Click() {
    set_frame_size(640, 480, 2);
}
void TForm1::Button3Click() {
    set_frame_size(1024, 768, 3);
}

// The calls of the size buttons. "1024 x 768" makes its first two calls the other way
// round and enables the capture once more; the camera ends up the same.
void TForm1::set_frame_size(int width, int height, int32_t choice) {
    if (camera.video_driver_name == fixed_size_camera) return;
    capture::Camera& c = capture();
    const bool large = choice == 3;
    if (large) c.set_current_size(false);
    c.set_enabled(false);
    if (!large) c.set_current_size(false);
    c.set_requested_size(width, height);
    c.set_enabled(true);
    c.set_current_size(true);
    if (large) c.set_enabled(true);
    c.open();
    c.start();
    camera.resolution = choice;
    Timer5->setEnabled(true);
}

// "Format": the stream format dialog on the closed device, which then starts again in the
// format chosen there.
void TForm1::CapturePINClick() {
    camera_dialog([this](capture::Camera& c) {
        c.set_current_size(false);
        c.close();
        c.show_dialog(capture::format_dialog);
        c.set_device_name(camera.video_driver_name);
        c.set_current_size(true);
        c.start();
    });
}

// "Features": the device's own properties.
void TForm1::CaptureClick() {
    camera_dialog([](capture::Camera& c) { c.show_dialog(capture::features_dialog); });
}

// "Format" and "Features" refuse until a device is picked from the list in this run. A
// failure on the way ends their steps unreported; the refresh starts in either case.
void TForm1::camera_dialog(const std::function<void(capture::Camera&)>& steps) {
    if (!camera.chosen) {
        dialogs().message(choose_again);
        return;
    }
    try {
        steps(capture());
    } catch (const capture::Error&) {
        // ignored: Label11 shows what arrives
    }
    Timer5->setEnabled(true);
}

// "Search For Camera Software": the camera maker's program, chosen and started. The camera
// is released for it and stays closed until the operator chooses it again in the list.
void TForm1::Button5Click() {
    if (!dialogs().execute(OpenDialog1)) return;
    camera.software_path = OpenDialog1.file_name;
    start_camera_software();
}

// "Open Camera software": the remembered program, or a search when there is none.
void TForm1::Button6Click() {
    if (camera.software_path.isEmpty()) {
        Button5Click();
        return;
    }
    start_camera_software();
}

// The camera is released and the remembered program started in its own folder; failures
// are not reported.
void TForm1::start_camera_software() {
    try {
        capture().close();
        capture().set_enabled(false);
    } catch (const capture::Error&) {
        // ignored: the program is started anyway
    }
    if (env_.open_file)
        env_.open_file(camera.software_path, QFileInfo(camera.software_path).absolutePath());
}

void TForm1::Timer5Timer() {
    actualresolution();
    try {
        camera.dialog_set = capture().available_dialogs();
    } catch (const capture::Error&) {
        camera.dialog_set.reset(); // no capture component: no dialogs
    }
    Capture->setEnabled(camera.dialog_set.test(capture::features_dialog));
    CapturePIN->setEnabled(camera.dialog_set.test(capture::format_dialog));
}

void TForm1::actualresolution() {
    const QImage& latest = Image0->picture();
    Label11->set_caption(QStringLiteral("%1 x %2").arg(latest.width()).arg(latest.height()));
    Start_Sequence->setEnabled(!sequence.running && latest.width() >= 2 && !GroupBox1->isHidden());
}
