// GenICam cameras through Aravis, against Aravis's own fake GigE Vision camera, which each
// test starts on its own loopback: the listing, the frame sizes, the pixel formats and the
// frames' content, exposure and gain, a camera gone while it streams; and the program run
// on it without an operator, chosen with --camera.
#include "capture/aravis_camera.h"
#include "capture/capture_component.h"
#include "fake_gige_camera.h"
#include "headless_fixture.h"
#include "modal_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QThread>
#include <QTimer>

#include <cstdlib>
#include <mutex>

namespace {

// The frames a camera streams into its sink, kept as they arrive on Aravis's thread.
class Frames {
  public:
    capture::FrameSink sink() {
        return [this](QImage frame) {
            std::lock_guard lock(mutex_);
            frames_.push_back(std::move(frame));
        };
    }
    size_t count() {
        std::lock_guard lock(mutex_);
        return frames_.size();
    }
    QImage last() {
        std::lock_guard lock(mutex_);
        return frames_.empty() ? QImage() : frames_.back();
    }

  private:
    std::mutex mutex_;
    std::vector<QImage> frames_;
};

// The frame that arrives after `skip` others (frames of settings just changed may still be
// on their way); null when none comes within 10 s.
QImage streamed_frame(capture::AravisCamera& camera, size_t skip = 2) {
    Frames frames;
    camera.start(frames.sink());
    ui::wait_until([&] { return frames.count() > skip; }, 10000);
    camera.stop();
    return frames.last();
}

int grey_at(const QImage& f, int x, int y) {
    const QRgb p = f.pixel(x, y);
    EXPECT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << x << ", " << y;
    return qRed(p);
}

// The fake camera's diagonal ramp in grey: each pixel one level above its left neighbour
// and its upper one, modulo 255 (in Mono8; its Mono16 ramp wraps at 256 levels of 8 bits,
// and a little off the 255 of Mono8 now and then).
void expect_grey_ramp(const QImage& f, int modulus = 255, int allowed_wrong = 0) {
    ASSERT_FALSE(f.isNull());
    int wrong = 0;
    for (int y = 1; y < f.height(); y += 7)
        for (int x = 1; x < f.width(); x += 5) {
            const int v = grey_at(f, x, y);
            wrong += v != (grey_at(f, x - 1, y) + 1) % modulus ||
                     v != (grey_at(f, x, y - 1) + 1) % modulus;
        }
    EXPECT_LE(wrong, allowed_wrong);
}

// How far `colour` is, on average over a patch, from the colour frame `reference` moved
// along x by the best of all shifts (its red and blue exchanged when `swapped`): the fake
// camera's colour ramp depends on x + y and the frame's number alone, so a frame read
// right matches the reference at one shift.
double colour_mismatch(const QImage& colour, const QImage& reference, bool swapped) {
    double best = 1e9;
    for (int shift = 0; shift < 255; ++shift) {
        double sum = 0;
        int n = 0;
        for (int y = 16; y < 48; y += 3)
            for (int x = 16; x < 80; x += 2, ++n) {
                const QRgb a = colour.pixel(x, y), b = reference.pixel(x + shift, y);
                const int red = swapped ? qBlue(b) : qRed(b), blue = swapped ? qRed(b) : qBlue(b);
                sum += std::abs(qRed(a) - red) + std::abs(qGreen(a) - qGreen(b)) +
                       std::abs(qBlue(a) - blue);
            }
        best = std::min(best, sum / n / 3);
    }
    return best;
}

} // namespace

class GenicamTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(fake.listed()) << "the fake GigE Vision camera"; }

    // Its "Format" dialog: the pixel format `format` chosen, the size kept.
    static void choose_format(capture::AravisCamera& camera, const QString& format) {
        QStringList offered;
        answer_dialog([&](QDialog& d) {
            auto* box = d.findChild<QComboBox*>("format");
            for (int i = 0; i < box->count(); ++i) offered << box->itemText(i);
            box->setCurrentIndex(box->findText(format));
        });
        EXPECT_TRUE(camera.show_dialog(capture::format_dialog));
        EXPECT_TRUE(offered.contains(format)) << offered.join(", ").toStdString();
    }

    FakeGigECamera fake;
};

// The camera list holds it after the virtual microscope, under Aravis's name for it; the
// capture component selects it, and its frames reach the GUI thread.
TEST_F(GenicamTest, ListedAndStreamingIntoTheWindow) {
    QTemporaryDir no_v4l2;
    capture::CaptureOptions options;
    options.device_folder = no_v4l2.path() + "/";
    capture::CaptureComponent component(std::make_shared<sim::Microscope>(), options);
    EXPECT_EQ(component.devices(), QStringList({"Virtual microscope", FakeGigECamera::name}));
    component.set_device_name("Aravis-Fake-GV02");
    EXPECT_EQ(component.device_name(), "None");
    component.set_device_name(FakeGigECamera::name);
    EXPECT_EQ(component.device_name(), FakeGigECamera::name);
    EXPECT_EQ(component.available_dialogs(), capture::DialogSet(0b101000));
    std::vector<QImage> frames;
    bool on_gui_thread = true;
    component.on_frame = [&](const QImage& f) {
        frames.push_back(f);
        on_gui_thread = on_gui_thread && QThread::currentThread() == qApp->thread();
    };
    component.set_requested_size(320, 240);
    component.set_current_size(false);
    component.start();
    EXPECT_TRUE(ui::wait_until([&] { return frames.size() >= 3; }, 10000));
    component.stop();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().size(), QSize(320, 240));
    EXPECT_TRUE(on_gui_thread);
    expect_grey_ramp(frames.back());
}

// The three frame sizes are regions of its 2048 x 2048 sensor; a larger one is the whole
// sensor; without a size it keeps the region it has.
TEST_F(GenicamTest, FrameSizes) {
    capture::AravisCamera camera(FakeGigECamera::name);
    for (QSize size : {QSize(320, 240), QSize(640, 480), QSize(1024, 768), QSize(4000, 3000)}) {
        SCOPED_TRACE(size.width());
        camera.open(size);
        const QSize want = size.width() > 2048 ? QSize(2048, 2048) : size;
        EXPECT_EQ(camera.size(), want);
        const QImage frame = streamed_frame(camera);
        EXPECT_EQ(frame.size(), want);
        if (size.width() == 640) expect_grey_ramp(frame);
    }
    camera.open(QSize(640, 480));
    camera.open(std::nullopt);
    EXPECT_EQ(camera.size(), QSize(640, 480));
    EXPECT_EQ(camera.pixel_format(), "Mono8");
}

// Each pixel format it offers is read: Mono16 to the grey ramp of Mono8, RGB8 and the four
// Bayer layouts to the same colour ramp. (This fake camera draws its BayerRG8 frames in
// the layout of BayerBG8 and the other way round, red where the format has blue: read by
// the formats' names, as every camera's are, those two show the ramp with red and blue
// exchanged.) The format chosen in "Format" is the camera's from its next opening on.
TEST_F(GenicamTest, PixelFormats) {
    capture::AravisCamera camera(FakeGigECamera::name);
    camera.open(QSize(640, 480));
    QStringList formats = camera.pixel_formats();
    formats.sort();
    EXPECT_EQ(formats, QStringList({"BayerBG8", "BayerGB8", "BayerGR8", "BayerRG8", "Mono16",
                                    "Mono8", "RGB8"}));
    choose_format(camera, "Mono16");
    EXPECT_FALSE(camera.is_open()); // it opens with the new format next
    camera.open(std::nullopt);
    EXPECT_EQ(camera.pixel_format(), "Mono16");
    EXPECT_EQ(camera.size(), QSize(640, 480));
    expect_grey_ramp(streamed_frame(camera), 256, 100); // of some 8700 steps

    choose_format(camera, "RGB8");
    camera.open(std::nullopt);
    const QImage rgb = streamed_frame(camera);
    ASSERT_EQ(rgb.size(), QSize(640, 480));
    const struct {
        const char* format;
        bool drawn_swapped;
    } bayers[] = {{"BayerRG8", true}, {"BayerGR8", false}, {"BayerGB8", false}, {"BayerBG8", true}};
    for (const auto& b : bayers) {
        choose_format(camera, b.format);
        camera.open(std::nullopt);
        EXPECT_EQ(camera.pixel_format(), b.format);
        const QImage frame = streamed_frame(camera);
        ASSERT_EQ(frame.size(), QSize(640, 480)) << b.format;
        EXPECT_LT(colour_mismatch(frame, rgb, b.drawn_swapped), 8) << b.format;
        EXPECT_GT(colour_mismatch(frame, rgb, !b.drawn_swapped), 20) << b.format;
    }
}

// Exposure time, gain and frame rate are its GenICam features, with their ranges; each is
// set on the camera and read back, kept within its range, and its frames show them: the
// ramp times 1 + gain + log10(exposure / 10 ms), so 1 ms is black and a gain of 1 doubles it.
TEST_F(GenicamTest, ExposureAndGain) {
    capture::AravisCamera camera(FakeGigECamera::name);
    EXPECT_TRUE(camera.features().empty()); // not open
    camera.open(QSize(320, 240));
    std::vector<capture::Feature> features = camera.features();
    ASSERT_EQ(features.size(), 3u);
    const capture::Feature &exposure = features[0], &gain = features[1], &rate = features[2];
    EXPECT_EQ(exposure.name, "Exposure time");
    EXPECT_EQ(exposure.unit, "µs");
    EXPECT_EQ(exposure.minimum, 10);
    EXPECT_EQ(exposure.maximum, 1e7);
    EXPECT_EQ(exposure.value, 10000);
    EXPECT_EQ(gain.name, "Gain");
    EXPECT_EQ(gain.unit, ""); // a raw gain
    EXPECT_EQ(gain.maximum, 10);
    EXPECT_EQ(gain.step, 1);
    EXPECT_EQ(rate.name, "Frame rate");
    EXPECT_EQ(rate.unit, "Hz");

    EXPECT_EQ(exposure.set(1000), 1000);
    EXPECT_EQ(camera.features()[0].value, 1000);
    const QImage black = streamed_frame(camera);
    ASSERT_FALSE(black.isNull());
    EXPECT_EQ(black.pixel(10, 10), qRgb(0, 0, 0));
    EXPECT_EQ(black.pixel(300, 200), qRgb(0, 0, 0));

    EXPECT_EQ(exposure.set(10000), 10000);
    EXPECT_EQ(gain.set(1), 1);
    EXPECT_EQ(camera.features()[1].value, 1);
    const QImage doubled = streamed_frame(camera);
    ASSERT_FALSE(doubled.isNull());
    int odd = 0, clipped = 0;
    for (int x = 0; x < 320; ++x) {
        const int v = grey_at(doubled, x, 0);
        odd += v % 2 == 1 && v != 255;
        clipped += v == 255;
    }
    EXPECT_EQ(odd, 0);
    EXPECT_GT(clipped, 0);
    EXPECT_EQ(gain.set(99), 10);    // within its range
    EXPECT_EQ(exposure.set(0), 10); // and so is the exposure time
    EXPECT_EQ(rate.set(12.5), 12.5);
}

// A camera that goes away while it streams sends no more frames; it is found lost and no
// longer open, stops and closes, cannot be opened again while it is gone, and streams again
// once it is back.
TEST_F(GenicamTest, StoppedMidStream) {
    capture::AravisCamera camera(FakeGigECamera::name);
    camera.open(QSize(320, 240));
    Frames frames;
    camera.start(frames.sink());
    ASSERT_TRUE(ui::wait_until([&] { return frames.count() >= 3; }, 10000));
    fake.unplug();
    ui::wait_until([] { return false; }, 500); // frames on their way arrive
    const size_t seen = frames.count();
    EXPECT_TRUE(ui::wait_until([&] { return camera.lost(); }, 15000));
    EXPECT_EQ(frames.count(), seen);
    EXPECT_FALSE(camera.is_open()) << "a start would go on with the camera that is gone";
    camera.stop();
    camera.close();
    EXPECT_FALSE(camera.is_open());
    EXPECT_THROW(camera.open(std::nullopt), capture::Error);
    FakeGigECamera back;
    ASSERT_TRUE(back.listed());
    camera.open(QSize(320, 240));
    Frames again;
    camera.start(again.sink());
    EXPECT_TRUE(ui::wait_until([&] { return again.count() >= 3; }, 10000));
    camera.stop();
}

class GenicamHeadlessTest : public HeadlessTest {
  protected:
    FakeGigECamera fake;
};

// --list-cameras prints the camera list; --camera with a name not in it ends with exit
// status 2 and the list; with the fake camera's name a measurement records from it, at the
// frame size of the settings, and the camera is the one chosen from then on.
TEST_F(GenicamHeadlessTest, MeasurementOnTheCameraChosen) {
    ASSERT_TRUE(fake.listed());
    const Outcome listed = vexolan({"--list-cameras"});
    EXPECT_EQ(listed.status, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.out.startsWith("Virtual microscope\n")) << listed.out.toStdString();
    EXPECT_TRUE(listed.out.endsWith("\nAravis-Fake-GV01\n")) << listed.out.toStdString();

    const Outcome unknown =
        vexolan({"--simulate", "--camera", "Aravis-Fake-GV07", "--measure", "run"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.err.contains("no camera \"Aravis-Fake-GV07\"; the cameras are:\n"))
        << unknown.err.toStdString();
    EXPECT_TRUE(unknown.err.contains("  Aravis-Fake-GV01\n")) << unknown.err.toStdString();

    const Outcome measured =
        vexolan({"--simulate", "--camera", FakeGigECamera::name, "--measure", "run"});
    ASSERT_EQ(measured.status, 0) << measured.err.toStdString();
    // its ramp moves from frame to frame, so the two passes differ by what the status adds
    EXPECT_TRUE(measured.err.contains("vexolan: 0° back (9/9)\n")) << measured.err.toStdString();
    EXPECT_TRUE(measured.err.contains("vexolan: Ready, not corrected"))
        << measured.err.toStdString();
    const QImage angle_image = read(file("0.bmp"));
    EXPECT_EQ(angle_image.size(), QSize(640, 480));
    // the fake camera's ramp, integrated while it moved: one level a pixel, but where it
    // wrapped during the integration
    int steps = 0;
    for (int x = 1; x < 640; ++x)
        steps += qRed(angle_image.pixel(x, 100)) - qRed(angle_image.pixel(x - 1, 100)) == 1;
    EXPECT_GT(steps, 500);
    EXPECT_EQ(read(file("work/run.a1.bmp")).size(), QSize(370, 240));
    EXPECT_TRUE(read_settings().startsWith("Aravis-Fake-GV01\r\n"));

    // its gain raised, the camera clips: the result set is kept, but not "Ready"
    {
        capture::AravisCamera fake_camera(FakeGigECamera::name);
        fake_camera.open(std::nullopt);
        fake_camera.features()[1].set(1);
    }
    const Outcome clipped =
        vexolan({"--simulate", "--camera", FakeGigECamera::name, "--measure", "run"});
    EXPECT_EQ(clipped.status, 21) << clipped.err.toStdString();
    EXPECT_TRUE(clipped.err.contains("vexolan: warning: saturated ")) << clipped.err.toStdString();
    EXPECT_TRUE(clipped.err.contains("vexolan: Saturated ")) << clipped.err.toStdString();
    EXPECT_FALSE(clipped.err.contains("Ready")) << clipped.err.toStdString();
    // with the orientation view, where the clipped pixels show as such
    EXPECT_TRUE(clipped.out.endsWith("run.png\n" + file("work/run-orientation.png") + "\n"))
        << clipped.out.toStdString();
}

// The camera unplugged during a measurement: the measurement ends with "No camera frames",
// exit status 20, and keeps nothing.
TEST_F(GenicamHeadlessTest, CameraGoneDuringTheMeasurement) {
    ASSERT_TRUE(fake.listed());
    QProcess p;
    without_display(p, file("work"));
    p.setReadChannel(QProcess::StandardError);
    p.start(program(), {"--simulate", "--camera", FakeGigECamera::name, "--measure", "run"});
    QByteArray err;
    while (!err.contains("45° forward (2/9)") && p.waitForReadyRead(30000))
        err += p.readAllStandardError();
    ASSERT_TRUE(err.contains("45° forward (2/9)")) << err.toStdString();
    fake.unplug();
    ASSERT_TRUE(p.waitForFinished(60000));
    err += p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), 20) << err.toStdString();
    EXPECT_TRUE(err.contains("vexolan: error: No camera frames\n")) << err.toStdString();
    EXPECT_FALSE(err.contains("Ready")) << err.toStdString();
    EXPECT_TRUE(QDir(file("work")).isEmpty());
}
