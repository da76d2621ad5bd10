// The measurement sequence on the whole instrument: one click turns the polarizer through
// the four angles and back, integrates, writes the angle images, runs the engine and
// shows the results; background images are collected and then calibrate the field.
#include "file_bytes.h"
#include "microscope_fixture.h"
#include "modal_dialog.h"

#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QStringList measurement = {"0° forward (1/9)",   "45° forward (2/9)", "90° forward (3/9)",
                                 "135° forward (4/9)", "135° back (6/9)",   "90° back (7/9)",
                                 "45° back (8/9)",     "0° back (9/9)"};
const int angles[] = {0, 45, 90, 135};

// A run-length bitmap of a thousand bytes whose header says it is `width` x `height`.
QByteArray rle8_claiming(int width, int height) {
    QByteArray b(54 + 4 * 256 + 2, '\0');
    auto u16 = [&](int at, int v) { qToLittleEndian<quint16>(quint16(v), b.data() + at); };
    auto u32 = [&](int at, qint64 v) { qToLittleEndian<quint32>(quint32(v), b.data() + at); };
    b[0] = 'B';
    b[1] = 'M';
    u32(2, b.size());
    u32(10, 54 + 4 * 256);
    u32(14, 40);
    u32(18, width);
    u32(22, height);
    u16(26, 1);
    u16(28, 8);
    u32(30, 1);          // run-length coded
    b[b.size() - 1] = 1; // the end of the bitmap, at once
    return b;
}

} // namespace

class SequenceTest : public MicroscopeTest {
  protected:
    void SetUp() override { install_engine(); }

    QString angle_image(int angle) const { return file(QString::number(angle) + ".bmp"); }

    // Presses `button` and waits until no sequence runs; returns the progress texts shown
    // meanwhile. `during` runs at each of them.
    QStringList run(QAbstractButton* button) {
        QStringList progress;
        form->sequence.on_progress = [&](const QString& text) {
            progress << text;
            if (during) during(text);
        };
        EXPECT_TRUE(run_sequence(*form, button, 60000));
        form->sequence.on_progress = nullptr;
        return progress;
    }

    // Smaller frames, for the tests that look at the sequence rather than at the images.
    void small_frames() {
        form->Button4Click();
        ASSERT_TRUE(ui::wait_until([&] { return form->Image0->picture().width() == 320; }, 5000));
    }

    void expect_idle() {
        EXPECT_EQ(form->sequence.state, 0);
        EXPECT_FALSE(form->sequence.running);
        EXPECT_FALSE(form->sequence.collecting_background);
        EXPECT_FALSE(form->executethis->enabled());
        EXPECT_FALSE(form->Timer6->enabled());
        EXPECT_TRUE(form->Start_Sequence->isEnabled());
    }

    std::unique_ptr<TForm1> form;
    std::function<void(const QString&)> during;
};

// One click: 0, 45, 90, 135 degrees forward, back through 135, 90, 45, 0, the engine's
// results shown, and the sequence idle again with the polarizer at 0 degrees. The results
// match the test slide's truth.
TEST_F(SequenceTest, MeasuresTheTargetSlideForwardAndBack) {
    form = start_microscope();
    EXPECT_EQ(run(form->Start_Sequence), measurement);
    EXPECT_EQ(form->Label13->caption(), "Ready, not corrected"); // no background images
    EXPECT_EQ(form->sequence.engine_code, 0);
    expect_idle();
    EXPECT_EQ(sim->current_position(0), 0);
    for (int angle : angles) EXPECT_EQ(read(angle_image(angle)).size(), QSize(640, 480)) << angle;
    const QImage sind = read(file("a1.bmp"));
    EXPECT_EQ(form->Image2->picture(), sind);
    expect_target_truth(sind, read(file("a2.bmp")), 0.04);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
}

// The camera restored from the settings file, as at every start after the first, and the
// window activated again and again while the measurement runs (a box shown and closed, the
// operator back from another program): the start-up work does not run again, nothing
// declares the turning polarizer's position 0, and the results are the slide's.
TEST_F(SequenceTest, ActivationsDuringAMeasurementLeaveItRight) {
    write_settings(QByteArray(capture::VirtualCamera::name) + "\r\n");
    capture::CaptureOptions options;
    options.virtual_frame_rate = 300;
    options.device_folder = folder.path() + "/";
    camera_factory = [this, options] {
        return std::make_unique<capture::CaptureComponent>(microscope, options);
    };
    stepper::SimulatedConfig config;
    config.shaft_turned = sim::turned_by_motor_1(microscope->shared_stage());
    form = make_window(config);
    form->show();
    start_up(*form);
    ASSERT_FALSE(form->camera.chosen); // restored, not chosen in this run
    stage_at_full_speed(*form);
    ui::set_position(form->Integrations, 60); // a measurement of some seconds
    ASSERT_TRUE(ui::wait_until([&] { return form->Image0->picture().width() > 2; }, 5000));
    QWidget box;
    box.show();
    during = [&](const QString&) {
        QApplication::setActiveWindow(&box);
        QApplication::setActiveWindow(form.get());
    };
    EXPECT_EQ(run(form->Start_Sequence), measurement);
    EXPECT_EQ(form->Label13->caption(), "Ready, not corrected");
    EXPECT_FALSE(form->Timer1->enabled());
    EXPECT_EQ(sim->current_position(0), 0);
    expect_target_truth(read(file("a1.bmp")), read(file("a2.bmp")), 0.04);
}

// The empty field before and after a background collection: the light's imperfection
// (|sin(d)| about 0.04) and the vignetting (corners at 60% of the middle) are gone once
// the background images divide them out.
TEST_F(SequenceTest, BackgroundImagesCalibrateTheEmptyField) {
    microscope->set_sample("empty");
    form = start_microscope();
    const QPoint points[] = {{320, 240}, {40, 40}, {600, 40}, {40, 440}, {600, 440}};
    run(form->Start_Sequence);
    QImage sind = read(file("a1.bmp")), mean = read(file("a0.bmp"));
    EXPECT_NEAR(median_red(sind, 320, 240) / 255.0, 0.04, 0.015);
    EXPECT_LT(median_red(mean, 40, 40), 0.8 * median_red(mean, 320, 240));
    // the measurement's maps go with its saved set
    auto save_all = [&](const QString& name) {
        dialogs.files.push_back(name);
        form->Save_all_imagesClick();
    };
    ASSERT_TRUE(QFile::exists(file("maps.ome.tif")));
    // and the orientation page shows them while they are those of the shown results
    auto orientation_shown = [&] {
        const bool shown = !form->orientation_picture().isNull();
        EXPECT_EQ(form->OrientationNote->caption().startsWith("No maps"), !shown);
        EXPECT_EQ(form->OrientationMap->picture() == form->display.orientation, shown);
        return shown;
    };
    EXPECT_TRUE(orientation_shown());
    save_all(file("field.bmp"));
    EXPECT_EQ(read_bytes(file("field.ome.tif")), read_bytes(file("maps.ome.tif")));
    // the results of another channel are not those of the maps; back on the measured one
    // they are again
    QRadioButton* measured = form->monochrome->isChecked() ? form->monochrome : form->red;
    ASSERT_TRUE(measured->isChecked());
    ui::set_checked(form->green, true);
    form->ExecuteTarnwick();
    ASSERT_EQ(form->Edit1->text().right(4), "-C g");
    save_all(file("green.bmp"));
    EXPECT_TRUE(QFile::exists(file("green.a1.bmp")));
    EXPECT_FALSE(QFile::exists(file("green.ome.tif")));
    EXPECT_FALSE(orientation_shown());
    ui::set_checked(measured, true);
    form->ExecuteTarnwick();
    save_all(file("again.bmp"));
    EXPECT_TRUE(QFile::exists(file("again.ome.tif")));
    EXPECT_TRUE(orientation_shown());

    EXPECT_EQ(run(form->Collectbackgroundimages), measurement + QStringList{"background 0°"});
    // a collection's results have no maps, and a set saved over the earlier one keeps none
    EXPECT_FALSE(QFile::exists(file("maps.ome.tif")));
    EXPECT_FALSE(orientation_shown());
    save_all(file("field.bmp"));
    EXPECT_TRUE(QFile::exists(file("field.a1.bmp")));
    EXPECT_FALSE(QFile::exists(file("field.ome.tif")));
    const QString prefix = file("04x_o_640 x 480_550_");
    EXPECT_EQ(form->background_prefix(), prefix);
    QStringList stored;
    for (int angle : angles) {
        stored << prefix + QString::number(angle) + ".bmp";
        EXPECT_FALSE(read_bytes(stored.back()).isEmpty()) << angle;
        EXPECT_EQ(read_bytes(stored.back()), read_bytes(angle_image(angle))) << angle;
    }
    EXPECT_EQ(form->sequence.stored_backgrounds, stored);
    expect_idle();

    run(form->Start_Sequence);
    sind = read(file("a1.bmp"));
    mean = read(file("a0.bmp"));
    const int middle = median_red(mean, 320, 240);
    EXPECT_NEAR(middle, 200, 3); // the background level
    for (QPoint p : points) {
        EXPECT_LT(median_red(sind, p.x(), p.y()) / 255.0, 0.015) << p.x() << ", " << p.y();
        EXPECT_NEAR(median_red(mean, p.x(), p.y()), middle, 2) << p.x() << ", " << p.y();
    }
    EXPECT_EQ(form->Label13->caption(), "Ready");
    // maps that cannot be written are said, and none are left
    ASSERT_TRUE(QDir().mkdir(file("maps.ome.tif.part")));
    run(form->Start_Sequence);
    EXPECT_EQ(form->Label13->caption(), "Ready, no maps");
    EXPECT_FALSE(QFile::exists(file("maps.ome.tif")));
    EXPECT_FALSE(orientation_shown());
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
}

// Start while a sequence runs changes nothing; "Collect background images" while one runs
// makes the rest of it a background collection, without starting anew, when the operator
// confirms it and as long as no angle image has been combined yet: later it is refused, and
// the background set stays as it was, as it does when the operator says No. A status file
// left behind is removed at the start, so the engine is not "busy".
TEST_F(SequenceTest, StartAndCollectWhileRunning) {
    form = start_microscope();
    small_frames();
    write_bytes(file("tarnwick.sta"), "started\r\n");
    int32_t state_after_start = -2;
    QString collect_at = "135° back (6/9)";
    during = [&](const QString& text) {
        if (text == "90° forward (3/9)") {
            form->Start_SequenceClick();
            state_after_start = form->sequence.state;
        }
        if (text == collect_at) form->CollectbackgroundimagesClick();
    };
    dialogs.answers = {true};
    EXPECT_EQ(run(form->Start_Sequence), measurement + QStringList{"background 0°"});
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].contains("04x_o_320 x 240_550"))
        << dialogs.questions[0].toStdString();
    EXPECT_EQ(state_after_start, 3);
    EXPECT_EQ(form->sequence.engine_code, 0);
    EXPECT_FALSE(QFile::exists(file("tarnwick.sta")));
    const QStringList backgrounds = form->sequence.stored_backgrounds;
    ASSERT_EQ(backgrounds.size(), 4);
    expect_idle();

    QList<QByteArray> stored;
    for (const QString& b : backgrounds) {
        stored << read_bytes(b);
        EXPECT_FALSE(stored.back().isEmpty()) << b.toStdString();
    }
    collect_at = "90° back (7/9)"; // 135 degrees has been combined
    EXPECT_EQ(run(form->Start_Sequence), measurement);
    EXPECT_EQ(dialogs.messages.filter("already combined angle images").size(), 1);
    EXPECT_EQ(dialogs.questions.size(), 1);
    collect_at = "45° forward (2/9)"; // the operator says No: the measurement goes on
    EXPECT_EQ(run(form->Start_Sequence), measurement);
    EXPECT_EQ(dialogs.questions.size(), 2);
    EXPECT_EQ(form->Label13->caption(), "Ready");
    for (qsizetype i = 0; i < backgrounds.size(); ++i)
        EXPECT_EQ(read_bytes(backgrounds[i]), stored[i]) << backgrounds[i].toStdString();
    expect_idle();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
}

// A background image that cannot be replaced keeps the earlier one whole: the store writes
// each through a temporary file (here cut short by the file size limit) and says which
// failed.
TEST_F(SequenceTest, AFailedBackgroundStoreKeepsTheEarlierSet) {
    form = start_microscope();
    small_frames();
    const QString prefix = file("04x_o_320 x 240_550_");
    for (int angle : angles)
        write_bytes(prefix + QString::number(angle) + ".bmp", "an earlier background");
    rlimit unlimited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const auto previous_sigxfsz = std::signal(SIGXFSZ, SIG_IGN); // a short write, not a signal
    during = [&](const QString& text) {
        if (text != "background 0°") return; // every angle image is written
        rlimit small = unlimited;
        small.rlim_cur = 1000;
        setrlimit(RLIMIT_FSIZE, &small);
    };
    run(form->Collectbackgroundimages);
    setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, previous_sigxfsz);
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(
        dialogs.errors[0].startsWith("Cannot store the background image \"" + prefix + "0.bmp"))
        << dialogs.errors[0].toStdString();
    for (int angle : angles)
        EXPECT_EQ(read_bytes(prefix + QString::number(angle) + ".bmp"), "an earlier background")
            << angle;
    EXPECT_EQ(QDir(folder.path()).entryList({"*.tmp*", "*~*", ".*"}, QDir::Files | QDir::Hidden),
              QStringList());
    expect_idle();
}

// The background images are named after the objective, the optic, the frame size and the
// wavelength; a collection replaces those of the same names, each in one step, and
// leaves no other file behind; it removes the temporary files of a store that was killed.
TEST_F(SequenceTest, BackgroundImageNamesAndReplacement) {
    form = start_microscope();
    small_frames();
    const struct {
        QRadioButton *objective, *optic;
        const char *wavelength, *prefix;
    } cases[] = {
        {nullptr, form->conoscopic, "550", "c_320 x 240_550_"}, // no objective checked
        {form->Ob40, form->orthoscopic, "600", "40x_o_320 x 240_600_"},
    };
    QStringList expected_files = {"0.bmp",  "45.bmp", "90.bmp", "135.bmp",
                                  "a0.bmp", "a1.bmp", "a2.bmp", "libtarnwick.so"};
    for (const auto& c : cases) {
        for (QRadioButton* b : {form->ob04, form->Ob10, form->Ob20, form->Ob40})
            ui::set_checked(b, b == c.objective);
        ui::set_checked(c.optic, true);
        ui::set_text(form->nm, c.wavelength);
        for (int angle : angles) {
            const QString name = c.prefix + QString::number(angle) + ".bmp";
            expected_files << name;
            write_bytes(file(name), "an earlier background");
        }
        // what a store killed earlier left behind goes; a running program's stays
        const QString killed = file(QString(".") + c.prefix + "0.bmp.tmp999999.0"),
                      running = file(QString(".") + c.prefix + "45.bmp.tmp1.0");
        write_bytes(killed, "half an image");
        write_bytes(running, "half an image");
        run(form->Collectbackgroundimages);
        EXPECT_FALSE(QFile::exists(killed));
        EXPECT_TRUE(QFile::remove(running));
        for (int angle : angles)
            EXPECT_EQ(read_bytes(file(c.prefix + QString::number(angle) + ".bmp")),
                      read_bytes(angle_image(angle)))
                << c.prefix << angle;
    }
    expected_files.sort();
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files, QDir::Name), expected_files);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
}

// A step that fails shows its error in the standard box and leaves the sequence idle;
// the next Start measures. The polarizer and the camera are waited for a bounded time.
TEST_F(SequenceTest, FailuresEndInIdleAndStartWorksAgain) {
    form = start_microscope();
    small_frames();
    const QString background_90 = file("04x_o_320 x 240_550_90.bmp");
    const struct {
        const char* what;
        std::function<void()> fail, mend;
        bool collect;
        QString error; // how the error text begins
    } cases[] = {
        {"a save", [&] { QDir().mkdir(angle_image(45)); }, [&] { QDir().rmdir(angle_image(45)); },
         false, "Cannot create file \"" + angle_image(45) + "\"."},
        {"a background image", [&] { QDir().mkdir(background_90); },
         [&] {
             // the three others were stored: an incomplete set, which no measurement uses
             QDir().rmdir(background_90);
             for (int angle : {0, 45, 135})
                 QFile::remove(file("04x_o_320 x 240_550_" + QString::number(angle) + ".bmp"));
         },
         true, "Cannot store the background image \"" + background_90 + "\"."},
        {"the polarizer", [&] { ui::set_position(form->TrackBar3, 0); },
         [&] { ui::set_position(form->TrackBar3, form->TrackBar3->maximum()); }, false,
         "Polarizer did not reach 45 degrees"},
        {"the camera", [&] { form->capture().stop(); }, [&] { form->capture().start(); }, false,
         "No camera frames"},
        {"the controller at the start", [&] { sim->fail_calls(true); },
         [&] { sim->fail_calls(false); }, false, "Phidget stepper: the controller does not answer"},
    };
    for (const auto& c : cases) {
        dialogs.errors.clear();
        c.fail();
        run(c.collect ? form->Collectbackgroundimages : form->Start_Sequence);
        ASSERT_EQ(dialogs.errors.size(), 1)
            << c.what << ": " << dialogs.errors.join(" | ").toStdString();
        EXPECT_TRUE(dialogs.errors[0].startsWith(c.error)) << dialogs.errors[0].toStdString();
        expect_idle();
        if (c.error == "No camera frames") { // the status line says it too, not the step
            EXPECT_EQ(form->Label13->caption(), "No camera frames");
        }
        c.mend();
        EXPECT_EQ(run(form->Start_Sequence), measurement) << c.what;
        EXPECT_EQ(form->Label13->caption(), "Ready, not corrected") << c.what;
        EXPECT_EQ(dialogs.errors.size(), 1) << c.what;
    }
}

// The wedge at 10 ms clips where the engine reads: the measurement says how much, and its
// result is not "Ready". With the exposure turned down to 6 ms in the camera's Features
// dialog it measures without clipping: "Ready".
TEST_F(SequenceTest, AClippingSampleMeasuresAfterTheExposureIsLowered) {
    microscope->set_sample("wedge");
    microscope->set_exposure_us(10000);
    form = start_microscope();
    small_frames();
    QStringList warnings;
    form->sequence.on_warning = [&](const QString& w) { warnings << w; };
    run(form->Start_Sequence);
    EXPECT_EQ(form->sequence.engine_code, 0);
    EXPECT_TRUE(
        form->Label13->caption().startsWith("Saturated 4") &&
        form->Label13->caption().endsWith("%: less light or a shorter exposure, not corrected"))
        << form->Label13->caption().toStdString();
    warnings = warnings.filter("saturated");
    ASSERT_FALSE(warnings.isEmpty());
    EXPECT_TRUE(warnings[0].startsWith("saturated 4")) << warnings[0].toStdString();

    answer_dialog(
        [](QDialog& d) { d.findChild<QDoubleSpinBox*>("Exposure time")->setValue(6000); });
    form->CaptureClick();
    EXPECT_EQ(microscope->exposure_us(), 6000);
    warnings.clear();
    EXPECT_EQ(run(form->Start_Sequence), measurement);
    EXPECT_EQ(form->Label13->caption(), "Ready, not corrected");
    EXPECT_TRUE(warnings.filter("saturated").isEmpty()) << warnings.join(" | ").toStdString();
}

// Closing the window during a measurement ends it at once: the polarizer goes home and
// the program ends, without an error.
TEST_F(SequenceTest, ClosingEndsTheMeasurementAndTheProgram) {
    form = start_microscope();
    small_frames();
    QTimer closer; // closes the window once the integration at 135 degrees runs
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!form->Timer6->enabled()) return;
        closer.stop();
        form->show();
        form->close();
    });
    during = [&](const QString& text) {
        if (text == "135° forward (4/9)") closer.start(1);
    };
    const QStringList progress = run(form->Start_Sequence);
    EXPECT_EQ(progress.last(), "135° forward (4/9)"); // no step after the close
    ASSERT_TRUE(ui::wait_until([&] { return ended == 1; }, 20000));
    EXPECT_EQ(sim->current_position(0), 0);
    EXPECT_EQ(form->sequence.state, 0);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
}

// The sequence over a camera that delivers a frame, made when it is delivered, each time
// the window has taken the one before.
class FakeCameraSequenceTest : public WindowTest {
  protected:
    void SetUp() override {
        camera_devices = {"Camera A"};
        form = make_window();
        start_up(*form);
        pick(*form, "Camera A");
        stage_at_full_speed(*form);
        ui::set_position(form->Integrations, 0); // one frame an integration
        QObject::connect(&camera_clock, &QTimer::timeout, [this] {
            if (!form->integration.new_frame) camera->deliver(frame());
        });
        camera_clock.start(1);
        ASSERT_TRUE(ui::wait_until([&] { return form->Image0->picture().width() > 2; }, 5000));
    }

    // Runs one measurement; the progress texts and warnings shown meanwhile.
    void measure() {
        progress.clear();
        warnings.clear();
        form->sequence.on_progress = [&](const QString& text) { progress << text; };
        form->sequence.on_warning = [&](const QString& text) { warnings << text; };
        ASSERT_TRUE(run_sequence(*form, form->Start_Sequence, 30000));
        ASSERT_FALSE(progress.isEmpty());
    }

    std::unique_ptr<TForm1> form;
    QTimer camera_clock;
    std::function<QImage()> frame = [] {
        QImage f(100, 10, QImage::Format_RGB32);
        f.fill(qRgb(100, 100, 100));
        return f;
    };
    QStringList progress, warnings;
};

// Each integration starts from a frame that arrived after the polarizer reached its
// angle: frames that show where the polarizer stands give each angle image its own value.
TEST_F(FakeCameraSequenceTest, IntegrationsStartAfterThePolarizerArrived) {
    frame = [this] {
        QImage f(100, 10, QImage::Format_RGB32);
        f.fill(qRgb(100 + sim->current_position(0), 0, 0));
        return f;
    };
    measure();
    EXPECT_EQ(progress.size(), 8);
    for (int angle : angles) {
        QImage image;
        ASSERT_EQ(bitmap_file::read(folder.path() + QStringLiteral("/%1.bmp").arg(angle), image),
                  bmp::Status::ok);
        EXPECT_EQ(qRed(image.pixel(50, 5)), 100 + angle * 200 / 360) << angle;
    }
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
}

// The first frame after the polarizer has arrived may have been exposed while it turned: it
// is let go, and the integration takes the next one (here each first frame at a new motor
// position is black).
TEST_F(FakeCameraSequenceTest, TheFirstFrameAtRestIsLetGo) {
    int last_position = -1;
    frame = [&] {
        const int position = sim->current_position(0);
        QImage f(100, 10, QImage::Format_RGB32);
        f.fill(position == last_position ? qRgb(100 + position, 0, 0) : qRgb(0, 0, 0));
        last_position = position;
        return f;
    };
    measure();
    for (int angle : angles) {
        QImage image;
        ASSERT_EQ(bitmap_file::read(folder.path() + QStringLiteral("/%1.bmp").arg(angle), image),
                  bmp::Status::ok);
        EXPECT_EQ(qRed(image.pixel(50, 5)), 100 + angle * 200 / 360) << angle;
    }
}

// Clipped pixels in the channel the engine reads, more than 0.1% of an integrated image,
// are reported as the measurement goes on; those of another channel are not.
TEST_F(FakeCameraSequenceTest, SaturationIsReported) {
    int clipped_green = 0; // of 1000 pixels
    frame = [&] {
        QImage f(100, 10, QImage::Format_RGB32);
        f.fill(qRgb(100, 100, 100));
        for (int x = 0; x < clipped_green; ++x) f.setPixel(x, 0, qRgb(100, 255, 100));
        return f;
    };
    const struct {
        QRadioButton* channel;
        int clipped_green;
        const char* warning;
    } cases[] = {
        {form->monochrome, 2, "saturated 0.2% at 0°"},
        {form->monochrome, 1, nullptr}, // 0.1% is not more than 0.1%
        {form->red, 5, nullptr},
        {form->green, 5, "saturated 0.5% at 0°"},
    };
    for (const auto& c : cases) {
        clipped_green = c.clipped_green;
        ui::set_checked(c.channel, true);
        measure();
        warnings = warnings.filter("saturated");
        EXPECT_EQ(progress.first(), "0° forward (1/9)");
        if (c.warning) {
            EXPECT_EQ(warnings.size(), 8) << warnings.join(" | ").toStdString();
            EXPECT_TRUE(!warnings.isEmpty() && warnings[0].startsWith(c.warning))
                << warnings.join(" | ").toStdString();
            const QString shown = QString::fromLatin1(c.warning).section(" at", 0, 0);
            EXPECT_EQ(progress.last(), "0° back (9/9), " + shown);
        } else {
            EXPECT_TRUE(warnings.isEmpty()) << warnings.join(" | ").toStdString();
            EXPECT_EQ(progress.last(), "0° back (9/9)");
        }
    }
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
}

// Calibrated angle images clip where the sample is brighter than 1.275 times its
// background, also where the camera does not: the same warning says so, and the final
// status carries it.
TEST_F(FakeCameraSequenceTest, ClippingAfterCalibrationIsReported) {
    QImage background(100, 10, QImage::Format_RGB32);
    background.fill(qRgb(100, 100, 100));
    for (int angle : angles)
        ASSERT_TRUE(bitmap_file::write(
            folder.path() + QStringLiteral("/04x_o_100 x 10_550_%1.bmp").arg(angle), background));
    frame = [] {
        QImage f(100, 10, QImage::Format_RGB32);
        f.fill(qRgb(130, 130, 130)); // 260 of 200 once calibrated
        return f;
    };
    ASSERT_TRUE(
        QFile::link(QString::fromLocal8Bit(TARNWICK_LIBRARY), folder.path() + "/libtarnwick.so"));
    measure();
    ASSERT_EQ(warnings.size(), 4) << warnings.join(" | ").toStdString();
    EXPECT_TRUE(warnings[0].startsWith("saturated 100.0% at 135°")) << warnings[0].toStdString();
    EXPECT_EQ(progress.last(), "0° back (9/9), saturated 100.0%");
    EXPECT_EQ(form->Label13->caption(), "Saturated 100.0%: less light or a shorter exposure");
}

// Start refuses a measurement that cannot be right: it says why in the status line and a
// box, and changes nothing else (the pictures shown, here a saved set at 370, Save, the
// polarizer, the angle images).
TEST_F(FakeCameraSequenceTest, StartRefusesWhatCannotBeRight) {
    const QString prefix = folder.path() + "/04x_o_100 x 10_550_";
    auto backgrounds = [&](std::initializer_list<int> of, QSize size) {
        QImage b(size, QImage::Format_RGB32);
        b.fill(qRgb(100, 100, 100));
        for (int angle : of)
            ASSERT_TRUE(bitmap_file::write(prefix + QString::number(angle) + ".bmp", b));
    };
    auto no_backgrounds = [&] {
        for (int angle : angles) QFile::remove(prefix + QString::number(angle) + ".bmp");
    };
    const struct {
        const char* what;
        std::function<void()> make, mend;
        QString says; // how the refusal begins
    } cases[] = {
        {"one step a turn", [&] { ui::set_text(form->Edit6, "1"); },
         [&] { ui::set_text(form->Edit6, "200"); },
         "Motor steps/360 degrees is 1: the polarizer cannot turn to four different positions"},
        {"steps that are no number", [&] { ui::set_text(form->Edit6, "abc"); },
         [&] { ui::set_text(form->Edit6, "200"); }, "Motor steps/360 degrees is 0:"},
        {"a dark level that is no number", [&] { ui::set_text(form->darklevel, "dark"); },
         [&] { ui::set_text(form->darklevel, "0.15"); },
         "The dark level \"dark\" is not a number from 0 to 0.95"},
        {"an incomplete background set",
         [&] {
             backgrounds({0, 45, 135}, {100, 10});
         },
         no_backgrounds,
         "The background images for 04x_o_100 x 10_550 are incomplete: 04x_o_100 x "
         "10_550_90.bmp missing."},
        {"background images of another size",
         [&] {
             backgrounds({0, 45, 90, 135}, {50, 10});
         },
         no_backgrounds,
         "The background images for 04x_o_100 x 10_550 cannot be used: 04x_o_100 x 10_550_0.bmp "
         "(50 x 10, the frames 100 x 10), "},
        {"a FIFO in the set",
         [&] {
             backgrounds({0, 45, 135}, {100, 10});
             ASSERT_EQ(::mkfifo(QFile::encodeName(prefix + "90.bmp"), 0600), 0);
         },
         no_backgrounds,
         "The background images for 04x_o_100 x 10_550 cannot be used: 04x_o_100 x "
         "10_550_90.bmp (not a regular file)."},
        {"a tiny run-length image that says it is 8192 x 8192",
         [&] {
             backgrounds({0, 45, 135}, {100, 10});
             write_bytes(prefix + "90.bmp", rle8_claiming(8192, 8192));
         },
         no_backgrounds,
         "The background images for 04x_o_100 x 10_550 cannot be used: 04x_o_100 x "
         "10_550_90.bmp (8192 x 8192, the frames 100 x 10)."},
        {"images of two collections, the store of the second cut short",
         [&] {
             backgrounds({0, 45, 90, 135}, {100, 10});
             QFile older(prefix + "45.bmp");
             ASSERT_TRUE(older.open(QIODevice::ReadWrite));
             ASSERT_TRUE(older.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                           QFileDevice::FileModificationTime));
         },
         no_backgrounds,
         "The background images for 04x_o_100 x 10_550 were stored at different times"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        for (ui::Picture* p : {form->Image1, form->Image2, form->Image3}) p->resize(370, 240);
        form->SpeedButton1->setEnabled(false);
        form->actualresolution();
        ASSERT_TRUE(form->Start_Sequence->isEnabled());
        dialogs.errors.clear();
        QTest::mouseClick(form->Start_Sequence, Qt::LeftButton);
        ASSERT_EQ(dialogs.errors.size(), 1);
        EXPECT_TRUE(dialogs.errors[0].startsWith(c.says)) << dialogs.errors[0].toStdString();
        EXPECT_EQ(form->Label13->caption(), dialogs.errors[0]);
        EXPECT_FALSE(form->sequence.running);
        EXPECT_FALSE(form->executethis->enabled());
        EXPECT_TRUE(form->Start_Sequence->isEnabled());
        EXPECT_EQ(form->Image2->size(), QSize(370, 240));
        EXPECT_FALSE(form->SpeedButton1->isEnabled());
        EXPECT_FALSE(QFile::exists(folder.path() + "/0.bmp"));
        EXPECT_EQ(sim->current_position(0), 0);
        c.mend();
    }
}

// What the final status and the warnings say of results that are taken, but not as they
// should be: background images that can hardly show the lit empty field, and a polarizer
// that stands far off the four angles.
TEST_F(FakeCameraSequenceTest, DoubtfulMeasurementsSaySo) {
    ASSERT_TRUE(
        QFile::link(QString::fromLocal8Bit(TARNWICK_LIBRARY), folder.path() + "/libtarnwick.so"));
    const QString prefix = folder.path() + "/04x_o_100 x 10_550_";
    QImage lit(100, 10, QImage::Format_RGB32), dark(100, 10, QImage::Format_RGB32);
    lit.fill(qRgb(200, 200, 200));
    dark.fill(qRgb(3, 3, 3));
    for (int angle : angles)
        ASSERT_TRUE(
            bitmap_file::write(prefix + QString::number(angle) + ".bmp", angle == 45 ? dark : lit));
    measure();
    EXPECT_EQ(dialogs.messages.filter("04x_o_100 x 10_550_45.bmp: mostly black").size(), 1)
        << dialogs.messages.join(" | ").toStdString();
    EXPECT_EQ(warnings.filter("04x_o_100 x 10_550_45.bmp: mostly black").size(), 1);
    // the black one divides the 45° image up to the top of the scale
    EXPECT_EQ(form->Label13->caption(),
              "Saturated 100.0%: less light or a shorter exposure, doubtful background");

    for (int angle : angles) QFile::remove(prefix + QString::number(angle) + ".bmp");
    ui::set_text(form->Edit6, "7"); // 0, 51.4, 102.9 and 154.3 degrees
    measure();
    EXPECT_EQ(warnings.filter("stands up to 19.3° off").size(), 1)
        << warnings.join(" | ").toStdString();
    EXPECT_EQ(form->Label13->caption(), "Ready, polarizer 19.3° off, not corrected");
}

// A first start without a settings file takes the first-start settings: the camera, and
// motor 1's steps per turn, sense, speed and acceleration; a settings file wins over them.
TEST_F(WindowTest, FirstStartSettings) {
    camera_devices = {"Camera A"};
    first_start = FirstStart{"Camera A", 200, -1, 150, 3000};
    for (bool settings_file : {false, true}) {
        if (settings_file) write_settings("None\r\n");
        auto form = make_window();
        start_up(*form);
        EXPECT_EQ(form->Edit6->text(), settings_file ? "1" : "200");
        EXPECT_EQ(form->RadioButton7->isChecked(), !settings_file);
        EXPECT_EQ(form->TrackBar3->value(), settings_file ? 1 : 150);
        EXPECT_EQ(form->TrackBar2->value(), settings_file ? form->TrackBar2->minimum() : 3000);
        EXPECT_EQ(camera->device_name(), settings_file ? "None" : "Camera A");
    }
}
