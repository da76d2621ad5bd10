// The behaviour layer the window relies on.
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/termination.h"
#include "ui/timer.h"
#include "ui/wait.h"
#include "window_fixture.h"

#include <QElapsedTimer>

#include <csignal>
#include <ctime>

TEST(UiTimer, EnableDoesNotRestartAndIntervalDoes) {
    int fired = 0;
    ui::Timer t(100, [&] { ++fired; });
    t.setEnabled(true);
    ui::pause(60);
    t.setEnabled(true);   // already running: keeps its phase
    ASSERT_TRUE(ui::wait_until([&] { return fired == 1; }, 1000));
    t.setEnabled(false);
    EXPECT_FALSE(t.enabled());
    ui::wait_until([] { return false; }, 150);
    EXPECT_EQ(fired, 1);
}

TEST(UiWait, SleepsOnTheEventQueue) {
    const std::clock_t cpu = std::clock();
    QElapsedTimer wall;
    wall.start();
    EXPECT_FALSE(ui::wait_until([] { return false; }, 300));
    EXPECT_GE(wall.elapsed(), 300);
    // a spinning wait would burn the whole 300 ms of processor time
    EXPECT_LT(double(std::clock() - cpu) / CLOCKS_PER_SEC, 0.1);
}

TEST(UiControls, RadioButtonsCheckFromCodeAndUncheck) {
    QWidget parent;
    auto* a = new QRadioButton(&parent);
    auto* b = new QRadioButton(&parent);
    int clicks = 0;
    QObject::connect(b, &QRadioButton::toggled, [&](bool on) { clicks += on; });
    ui::set_checked(b, true);
    EXPECT_EQ(clicks, 1);
    ui::set_checked(a, true);
    EXPECT_FALSE(b->isChecked());
    ui::set_checked(a, false);   // the checked button of a group can be unchecked from code
    EXPECT_FALSE(a->isChecked());
    EXPECT_FALSE(b->isChecked());
    EXPECT_EQ(clicks, 1);
}

TEST(UiApplication, ExceptionInAHandlerIsShownAndTheProgramGoesOn) {
    ScriptedDialogs dialogs;
    auto* app = static_cast<ui::Application*>(QCoreApplication::instance());
    app->set_dialogs(&dialogs);
    int after = 0;
    ui::Timer failing(1, [] { throw std::runtime_error("Disk not ready"); });
    failing.setEnabled(true);
    ui::Timer counting(5, [&] { ++after; });
    counting.setEnabled(true);
    ui::wait_until([&] { return after >= 3; }, 2000);
    failing.setEnabled(false);
    app->set_dialogs(nullptr);
    ASSERT_FALSE(dialogs.errors.isEmpty());
    EXPECT_EQ(dialogs.errors[0], "Disk not ready");
    EXPECT_GE(after, 3);
}

TEST_F(WindowTest, TerminationSignalClosesInOrder) {
    auto form = make_window();
    ui::close_on_termination(form.get());
    std::raise(SIGTERM);
    ASSERT_TRUE(ui::wait_until([&] { return ended == 1; }, 3000));
    EXPECT_TRUE(read_settings().startsWith("None\r\n1\r\n"));
    std::signal(SIGTERM, SIG_DFL);
}
