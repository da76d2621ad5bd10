// The Phidget stepper controller against the stand-in libphidget22: moves in the
// controller's own units with the events on the GUI thread, and the library's errors.
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
