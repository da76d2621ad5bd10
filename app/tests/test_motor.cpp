// The polarizer motor: conversions, the controls, attach, the start-up check, homing on
// close.
#include "ui/wait.h"
#include "window_fixture.h"

TEST_F(WindowTest, AngleStepConversions) {
    auto form = make_window();
    TForm1& f = *form;
    const struct {
        int32_t steps_per_turn, sense, angle, steps;
    } to_steps[] = {
        {200, 1, 45, 25},   {200, 1, 135, 75},   {200, 1, -180, -100},
        {200, -1, 45, -25}, {200, -1, 135, -75}, {200, -1, -180, 100},
        {400, 1, 45, 50},   {100, 1, 45, 12}, // 12.5 to even
        {100, 1, 135, 38},  {0, 1, 90, 0},
    };
    for (const auto& c : to_steps) {
        f.motor.steps_per_turn[0] = c.steps_per_turn;
        f.motor.sense[0] = c.sense;
        EXPECT_EQ(f.Targetsteps(c.angle), c.steps)
            << c.steps_per_turn << " " << c.sense << " " << c.angle;
    }
    const struct {
        int32_t steps_per_turn, sense, steps, angle;
    } to_angle[] = {{200, 1, 25, 45}, {200, 1, 1, 2}, {200, -1, 25, -45}, {400, 1, -100, -90}};
    for (const auto& c : to_angle) {
        f.motor.steps_per_turn[0] = c.steps_per_turn;
        f.motor.sense[0] = c.sense;
        EXPECT_EQ(f.Targetangle(c.steps), c.angle) << c.steps_per_turn << " " << c.steps;
    }
    // no steps per turn: a clear error instead of a division by zero
    f.motor.steps_per_turn[0] = 0;
    try {
        f.Targetangle(10);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Motor steps/360 degrees"), std::string::npos);
    }
    // Motor 2 is driven in raw steps
    f.motor.count = 2;
    f.RadioButton2->setVisible(true);
    ui::set_checked(f.RadioButton2, true);
    EXPECT_EQ(f.Targetsteps(45), 45);
    EXPECT_EQ(f.Targetangle(45), 45);
}

TEST_F(WindowTest, StepsPerTurnEditReadsWhatItCan) {
    auto form = make_window();
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {{"200", 200}, {"  -12x", -12}, {"$1F", 31},
                 {"0x10", 16}, {"X1g", 1},      {"", 0},
                 {"abc", 0},   {"+7 8", 7},     {"99999999999", 999999999}};
    for (const auto& c : cases) {
        form->Edit6->setText("1");
        form->Edit6->setText(c.text);
        EXPECT_EQ(form->motor.steps_per_turn[0], c.value) << c.text;
    }
}

TEST_F(WindowTest, AttachOfOneAndOfTwoMotors) {
    const struct {
        const char* device;
        int motors;
    } cases[] = {{"Phidget Unipolar Stepper Controller 4-motor", 2},
                 {"Phidget Bipolar Stepper Controller 1-motor", 1}};
    for (const auto& c : cases) {
        stepper::SimulatedConfig config;
        config.device_name = c.device;
        config.serial = 4711;
        auto form = make_window(config);
        sim->attach_now();
        EXPECT_TRUE(form->motor.attached);
        EXPECT_EQ(form->motor.count, c.motors);
        EXPECT_EQ(!form->RadioButton2->isHidden(), c.motors == 2);
        EXPECT_EQ(form->Memo1->toPlainText(), QString(c.device) + " Connected. Serial #4711");
        sim->detach();
        EXPECT_TRUE(
            form->Memo1->toPlainText().endsWith(QString(c.device) + " Disconnected. Serial #4711"));
        EXPECT_TRUE(form->motor.attached); // never cleared
    }
}

TEST_F(WindowTest, StartUpCheckWithAController) {
    write_settings("None\r\n200\r\n0\r\n0\r\n0\r\n500\r\n1\r\n1\r\n1\r\n300\r\n1\r\n1\r\n1\r\n");
    auto form = make_window();
    start_up(*form);
    TForm1& f = *form;
    EXPECT_TRUE(f.motor.controls);
    EXPECT_FALSE(f.GroupBox1->isHidden());
    EXPECT_TRUE(f.TrackBar1->isEnabled() && f.TrackBar2->isEnabled() && f.TrackBar3->isEnabled());
    // ranges from the controller's limits, never reaching them
    EXPECT_EQ(f.TrackBar2->minimum(), 11);
    EXPECT_EQ(f.TrackBar2->maximum(), 9999);
    EXPECT_EQ(f.TrackBar3->maximum(), 383);
    EXPECT_EQ(f.TrackBar2->value(), 500);
    EXPECT_EQ(f.TrackBar3->value(), 300);
    EXPECT_EQ(f.Label4->caption(), "78"); // round(300 * 100 / 383)
    EXPECT_EQ(sim->velocity_limit(0), 300);
    EXPECT_EQ(f.Edit6->text(), "200");
    EXPECT_TRUE(f.Timer5->enabled());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(dialogs.errors.isEmpty());

    // a move: the motor is engaged while it goes and released at the target
    f.TrackBar1->setValue(45);
    EXPECT_TRUE(f.CheckBox1->isChecked());
    EXPECT_TRUE(sim->engaged(0));
    EXPECT_EQ(f.Label6->caption(), "45");
    ASSERT_TRUE(ui::wait_until([&] { return !sim->moving(); }, 5000));
    EXPECT_EQ(sim->current_position(0), 25);
    EXPECT_EQ(f.Label1->caption(), "45");
    EXPECT_FALSE(f.CheckBox1->isChecked());
    EXPECT_FALSE(sim->engaged(0));
}

TEST_F(WindowTest, StartUpCheckWithoutAController) {
    stepper::SimulatedConfig config;
    config.attaches = false;
    auto form = make_window(config);
    form->FormActivate();
    form->Timer1Timer();
    form->Timer2Timer();
    EXPECT_FALSE(form->motor.controls);
    EXPECT_TRUE(form->GroupBox1->isHidden()); // uncovers "Motor Controls Disabled"
    EXPECT_FALSE(form->GroupBox3->isHidden());
    EXPECT_FALSE(form->Start_Sequence->isEnabled());
    EXPECT_EQ(dialogs.messages, QStringList{"Rotating Polarizer Not Connected"});
    // an activation that restarts the check does not repeat the message
    form->Timer2Timer();
    EXPECT_EQ(dialogs.messages.size(), 1);
    // and without controls the window closes at once
    EXPECT_TRUE(form->FormClose());
}

TEST_F(WindowTest, ControllerFailureDuringActivation) {
    auto form = make_window();
    sim->attach_now();
    sim->fail_calls(true);
    form->FormActivate();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains("does not answer"));
    EXPECT_FALSE(form->Timer1->enabled());
    EXPECT_FALSE(form->Timer2->enabled());
}

TEST_F(WindowTest, ClosingDrivesThePolarizerHomeFirst) {
    write_settings("None\r\n200\r\n0\r\n0\r\n0\r\n500\r\n1\r\n1\r\n1\r\n383\r\n1\r\n1\r\n1\r\n");
    // every motor of the controller is homed and parked with the designed 100 ms pauses;
    // a one-motor controller keeps the cases short, the last one has two motors
    const struct {
        int off_zero;
        bool closes_at_once;
        const char* device;
    } cases[] = {{2, true, "Phidget Bipolar Stepper Controller 1-motor"},
                 {3, false, "Phidget Bipolar Stepper Controller 1-motor"},
                 {-3, false, "Phidget Unipolar Stepper Controller 4-motor"}};
    for (const auto& c : cases) {
        ended = 0;
        stepper::SimulatedConfig config;
        config.device_name = c.device;
        auto form = make_window(config);
        start_up(*form);
        sim->move_by_hand(0, c.off_zero);
        EXPECT_EQ(form->FormClose(), c.closes_at_once) << c.off_zero;
        if (c.closes_at_once) {
            EXPECT_EQ(ended, 1);
            continue;
        }
        EXPECT_EQ(ended, 0);
        EXPECT_TRUE(form->Timer3->enabled());
        EXPECT_EQ(sim->target_position(0), 0);
        // Timer3 repeats the close until the polarizer is home: a tick before that is
        // refused again; then the timer itself closes the window
        form->Timer3Timer();
        EXPECT_EQ(ended, 0);
        EXPECT_TRUE(form->Timer3->enabled());
        ASSERT_TRUE(ui::wait_until([&] { return ended == 1; }, 5000)) << c.off_zero;
        EXPECT_EQ(sim->current_position(0), 0);
        EXPECT_FALSE(sim->engaged(0));
        EXPECT_TRUE(read_settings().startsWith("None\r\n200\r\n"));
    }
}
