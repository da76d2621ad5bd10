// The Phidget stepper controller against the stand-in libphidget22: the boards it attaches
// and how the window sees them, moves in the controller's own units with the events on
// the GUI thread, the library's errors, a missing library and a board that never
// attaches, a board unplugged during a measurement, and the homing before the close.
#include "microscope_fixture.h"
#include "phidget22_standin.h"
#include "stepper/phidget_stepper.h"

#include <QThread>

#include <vector>

namespace {

// The controller's events in order, and whether any came on another thread than the GUI's.
struct Recorder : stepper::Events {
    QStringList events;
    std::vector<int> positions;
    bool off_gui_thread = false;

    void seen(const QString& event) {
        events << event;
        off_gui_thread |= QThread::currentThread() != QCoreApplication::instance()->thread();
    }
    void attached() override { seen("attached"); }
    void detached() override { seen("detached"); }
    void position_changed(int index, int steps) override {
        seen(QStringLiteral("motor %1 at %2").arg(index + 1).arg(steps));
        positions.push_back(steps);
    }
};

std::unique_ptr<stepper::Controller> standin_controller() {
    return std::make_unique<stepper::PhidgetController>(PHIDGET22_STANDIN);
}

// The text of the stepper::Error that `call` raises; empty when it raises none.
std::string error_of(const std::function<void()>& call) {
    try {
        call();
    } catch (const stepper::Error& e) {
        return e.what();
    }
    return {};
}

} // namespace

class PhidgetTest : public MicroscopeTest {
  protected:
    void SetUp() override { standin_reset(); }

    // The stand-in's board through the controller, opened for any board, with its events.
    std::unique_ptr<stepper::PhidgetController> opened(Recorder& recorder) {
        auto c = std::make_unique<stepper::PhidgetController>(PHIDGET22_STANDIN);
        c->connect_events(&recorder);
        c->open(-1);
        return c;
    }
    static bool attached(const Recorder& recorder) {
        return ui::wait_until([&] { return recorder.events.contains("attached"); }, 5000);
    }
};

// Channel 0 is opened for any board, the board's other channels for that board's serial
// number; the window's attach line and motor count follow the designed rule.
TEST_F(PhidgetTest, BoardsAttachWithTheirNamesAndMotors) {
    const struct {
        const char* name;
        int id, serial, channels;
        const char* line;
        int motors;
    } boards[] = {{"PhidgetStepper Unipolar 4-Motor", 39, 301234, 4,
                   "Phidget Unipolar Stepper Controller 4-motor Connected. Serial #301234", 2},
                  {"PhidgetStepper Bipolar 1-Motor", 40, 4711, 1,
                   "PhidgetStepper Bipolar 1-Motor Connected. Serial #4711", 1}};
    for (const auto& b : boards) {
        SCOPED_TRACE(b.name);
        standin_board(b.name, b.id, b.serial, b.channels);
        stepper_factory = standin_controller;
        auto form = make_window();
        ASSERT_TRUE(ui::wait_until([&] { return form->motor.present; }, 5000));
        EXPECT_EQ(form->Memo1->toPlainText(), b.line);
        EXPECT_EQ(form->motor.count, b.motors);
        EXPECT_EQ(form->RadioButton2->isHidden(), b.motors == 1);
        EXPECT_EQ(standin_open_serial(0), -1);
        for (int channel = 1; channel < 4; ++channel)
            EXPECT_EQ(standin_open_serial(channel), channel < b.channels ? b.serial : -2)
                << channel;
        standin_unplug();
        ASSERT_TRUE(ui::wait_until([&] { return !form->motor.present; }, 5000));
        EXPECT_TRUE(form->Memo1->toPlainText().endsWith(
            QString(b.line).replace("Connected", "Disconnected")));
        standin_plug();
    }
}

// A move in the controller's own units: nothing turns while the motor is released; engaged,
// it reaches the target with the velocity limit it was given, and every position on the
// way arrives on the GUI thread, in order. Declaring a position moves position and target
// alike, so the motor stays where it is.
TEST_F(PhidgetTest, MovesInItsOwnUnitsWithEventsOnTheGuiThread) {
    Recorder recorder;
    auto c = opened(recorder);
    ASSERT_TRUE(attached(recorder));
    c->set_acceleration(0, 2000);
    c->set_velocity_limit(0, 300);
    c->set_target_position(0, 50);
    ui::wait_until([] { return false; }, 100);
    EXPECT_EQ(c->current_position(0), 0); // released
    c->set_engaged(0, true);
    ASSERT_TRUE(ui::wait_until([&] { return c->current_position(0) == 50; }, 5000));
    ui::wait_until([&] { return !recorder.positions.empty() && recorder.positions.back() == 50; },
                   1000);
    EXPECT_EQ(standin_velocity_limit(0), 300);
    EXPECT_EQ(standin_acceleration(0), 2000);
    ASSERT_GT(recorder.positions.size(), 3u); // positions while it moved, not only the end
    EXPECT_TRUE(std::is_sorted(recorder.positions.begin(), recorder.positions.end()));
    EXPECT_EQ(recorder.positions.back(), 50);
    EXPECT_EQ(recorder.events.front(), "attached");
    EXPECT_FALSE(recorder.off_gui_thread);

    c->set_current_position(0, 7);
    EXPECT_EQ(c->current_position(0), 7);
    EXPECT_EQ(c->target_position(0), 7);
    ui::wait_until([] { return false; }, 100);
    EXPECT_EQ(c->current_position(0), 7);
}

// The board attaches a while after the window opened it; the activation, which comes
// sooner, waits for it and reads its limits.
TEST_F(PhidgetTest, ActivationWaitsForTheBoard) {
    stepper_factory = standin_controller;
    auto form = make_window();
    ASSERT_FALSE(form->motor.present);
    form->FormActivate();
    EXPECT_TRUE(form->motor.present);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
    EXPECT_EQ(form->TrackBar2->minimum(), 11); // round(9.77) + 1
    EXPECT_EQ(form->TrackBar3->maximum(), 383);
    EXPECT_TRUE(form->Timer1->enabled() && form->Timer2->enabled());
}

// A board that comes only after the activation gave up waiting, but before the start-up
// check: the check reads its limits first and turns the motor controls on.
TEST_F(PhidgetTest, BoardAttachingAfterTheActivationIsSetUpByTheCheck) {
    write_settings("None\r\n200\r\n0\r\n0\r\n0\r\n2000\r\n11\r\n1\r\n1\r\n300\r\n1\r\n1\r\n1\r\n");
    standin_unplug();
    stepper_factory = standin_controller;
    auto form = make_window();
    form->FormActivate();
    form->Timer1Timer();
    standin_plug();
    ASSERT_TRUE(ui::wait_until([&] { return form->motor.present; }, 5000));
    form->Timer2Timer();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(" | ").toStdString();
    EXPECT_TRUE(form->motor.controls);
    EXPECT_EQ(form->TrackBar2->minimum(), 11);
    EXPECT_EQ(standin_acceleration(0), 2000);
    EXPECT_EQ(standin_velocity_limit(0), 300);
}

// Every failing call raises with its role and the library's own text.
TEST_F(PhidgetTest, CallsFailWithTheLibrarysTexts) {
    Recorder recorder;
    auto c = opened(recorder);
    EXPECT_EQ(error_of([&] { c->set_target_position(0, 5); }),
              "Phidget stepper: setting the target position of motor 1: Not Attached");
    EXPECT_EQ(error_of([&] { c->device_name(); }),
              "Phidget stepper: reading the device name: Not Attached");
    ASSERT_TRUE(attached(recorder));
    const struct {
        std::function<void()> call;
        const char* error;
    } cases[] = {
        {[&] { c->set_velocity_limit(1, 1000); },
         "Phidget stepper: setting the velocity limit of motor 2: Invalid Argument"},
        {[&] { c->set_acceleration(3, 1); },
         "Phidget stepper: setting the acceleration of motor 4: Invalid Argument"},
        {[&] { c->current_position(4); }, "Phidget stepper: there is no motor 5"},
        {[&] { c->set_engaged(0, true); }, ""},
    };
    for (const auto& k : cases) EXPECT_EQ(error_of(k.call), k.error);
}

// Without the library, with a file that is not the library, or with a board that never
// attaches, the window starts all the same: the start-up check says "Rotating Polarizer
// Not Connected", in a box and in the status line, and Memo1 says why; no error box.
TEST_F(PhidgetTest, NoControllerIsReportedWithItsReason) {
    const std::string broken = ENGINE_STUB;
    const struct {
        std::string library;
        bool loads; // the library is there: a board may still come
        std::string why;
    } cases[] = {
        {"libphidget22-absent.so.0", false,
         "libphidget22-absent.so.0 not found: install the vendor's library"},
        {broken, false,
         broken + " has no Phidget_getErrorDescription: install the vendor's current library"},
        {PHIDGET22_STANDIN, true, "no Phidget stepper attached"},
    };
    standin_unplug();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.library);
        dialogs.messages.clear();
        stepper_factory = [&k] { return std::make_unique<stepper::PhidgetController>(k.library); };
        auto form = make_window();
        EXPECT_EQ(form->motor.controller->can_attach(), k.loads);
        form->FormActivate();
        form->Timer1Timer();
        form->Timer2Timer();
        EXPECT_EQ(dialogs.messages, QStringList{"Rotating Polarizer Not Connected"});
        EXPECT_EQ(form->Memo1->toPlainText().toStdString(), k.why);
        EXPECT_EQ(form->Label13->caption(), "Rotating Polarizer Not Connected");
        EXPECT_TRUE(form->GroupBox1->isHidden());
        EXPECT_FALSE(form->Start_Sequence->isEnabled());
        EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
        EXPECT_TRUE(form->FormClose());
    }
}

// The board unplugged while the polarizer turns: the measurement ends with a message and
// the status line says why, the sequence is idle, and the window closes at once.
TEST_F(PhidgetTest, UnpluggedDuringAMeasurement) {
    install_engine();
    stepper_factory = standin_controller;
    auto form = start_microscope();
    ui::set_position(form->TrackBar3, 50); // 25 steps to 45 degrees take half a second
    form->sequence.on_progress = [](const QString& step) {
        if (step.startsWith("45° forward")) QTimer::singleShot(150, [] { standin_unplug(); });
    };
    EXPECT_TRUE(run_sequence(*form, form->Start_Sequence, 30000));
    EXPECT_EQ(dialogs.errors,
              QStringList{"Rotating Polarizer Not Connected: the measurement has ended."});
    EXPECT_EQ(form->Label13->caption(), "Rotating Polarizer Not Connected");
    EXPECT_TRUE(form->Memo1->toPlainText().endsWith("Disconnected. Serial #301234"));
    EXPECT_EQ(form->sequence.state, 0);
    EXPECT_FALSE(form->sequence.running);
    EXPECT_FALSE(QFile::exists(file("45.bmp")));
    // and the next Start is refused with the reason
    dialogs.errors.clear();
    form->actualresolution();
    form->Start_Sequence->click();
    EXPECT_EQ(dialogs.errors,
              QStringList{"Rotating Polarizer Not Connected: no measurement can start."});
    EXPECT_FALSE(form->sequence.running);
    EXPECT_FALSE(form->executethis->enabled());
    EXPECT_TRUE(form->close());
    EXPECT_EQ(ended, 1);
}

// Closing with the polarizer away from 0 degrees drives it home first, then parks it
// released and ends.
TEST_F(PhidgetTest, ClosingDrivesThePolarizerHomeFirst) {
    write_settings("None\r\n200\r\n0\r\n0\r\n0\r\n2000\r\n11\r\n1\r\n1\r\n383\r\n1\r\n1\r\n1\r\n");
    stepper_factory = standin_controller;
    auto form = make_window();
    start_up(*form);
    ASSERT_TRUE(form->motor.controls);
    form->TrackBar1->setValue(45);
    auto& c = *form->motor.controller;
    ASSERT_TRUE(ui::wait_until([&] { return c.current_position(0) == 25; }, 5000));
    EXPECT_FALSE(form->FormClose());
    EXPECT_EQ(c.target_position(0), 0);
    ASSERT_TRUE(ui::wait_until([&] { return ended == 1; }, 10000));
    EXPECT_EQ(c.current_position(0), 0);
    EXPECT_EQ(standin_engaged(0), 0);
    EXPECT_TRUE(read_settings().startsWith("None\r\n200\r\n"));
}

// The library's thread delivers positions while the controller goes away, with the board
// moving, and in some rounds unplugged at that moment: once the controller is gone no event
// of it runs, and none reaches the window's handlers after.
TEST_F(PhidgetTest, ClosedWhileTheLibraryDeliversEvents) {
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        Recorder recorder;
        auto c = opened(recorder);
        ASSERT_TRUE(attached(recorder));
        c->set_acceleration(0, 10000); // the board's fastest
        c->set_velocity_limit(0, 383);
        c->set_engaged(0, true);
        c->set_target_position(0, 100000);
        ASSERT_TRUE(ui::wait_until([&] { return recorder.positions.size() >= 3; }, 5000));
        if (round % 2) standin_unplug();
        c.reset();
        const qsizetype seen = recorder.events.size();
        ui::wait_until([] { return false; }, 30);
        EXPECT_EQ(recorder.events.size(), seen);
        standin_reset();
    }
}
