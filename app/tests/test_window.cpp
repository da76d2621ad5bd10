// The window's designed state, its layout, and the drawn pictures.
#include "window_fixture.h"

#include "ui/wait.h"

#include <QApplication>

TEST_F(WindowTest, DesignedStateOfTheControls) {
    auto form = make_window();
    TForm1& f = *form;
    EXPECT_EQ(f.PageControl1->currentWidget(), f.TabSheet2); // FormCreate shows "Measure"
    EXPECT_EQ(f.PageControl1->tabText(0), "Preview");
    EXPECT_EQ(f.PageControl1->tabText(1), "Measure");
    EXPECT_EQ(f.PageControl1->tabText(2), "Set-up");
    EXPECT_EQ(f.windowTitle(), "VEXOLAN");
    EXPECT_EQ(f.Edit1->text(), "-L 0.1 -U 1 ");
    EXPECT_TRUE(f.Edit1->isHidden());
    EXPECT_FALSE(f.Start_Sequence->isEnabled());
    EXPECT_EQ(f.nm->text(), "550");
    EXPECT_EQ(f.darklevel->text(), "0.15");
    EXPECT_EQ(f.Edit2->text(), "0.25");
    EXPECT_EQ(f.Edit5->text(), "0.025");
    EXPECT_EQ(f.Label13->caption(), "Status");
    EXPECT_EQ(f.Label1->caption(), ""); // cleared by FormCreate
    EXPECT_EQ(f.Memo1->toPlainText(), "");
    EXPECT_EQ(f.combobox1->currentText(), "Videodrivers");

    const struct {
        QSlider* s;
        int min, max, value, tick;
        bool enabled;
    } sliders[] = {
        {f.TrackBar4, 1, 20, 20, 2, true},
        {f.sindthreshhold1, 0, 60, 5, 5, true},
        {f.Integrations, 0, 100, 10, 10, true},
        {f.TrackBar1, -180, 180, 0, 30, false},
        {f.TrackBar2, 1000000, 1000000, 1000000, 10000, false},
        {f.TrackBar3, 0, 1000000, 0, 1, false},
    };
    for (const auto& s : sliders) {
        SCOPED_TRACE(s.s->objectName().toStdString());
        EXPECT_EQ(s.s->minimum(), s.min);
        EXPECT_EQ(s.s->maximum(), s.max);
        EXPECT_EQ(s.s->value(), s.value);
        EXPECT_EQ(s.s->tickInterval(), s.tick);
        EXPECT_EQ(s.s->isEnabled(), s.enabled);
    }
    // the designed checked buttons of their groups
    for (QRadioButton* b :
         {f.monochrome, f.ob04, f.orthoscopic, f.RadioButton1, f.RadioButton6, f.RadioButton3})
        EXPECT_TRUE(b->isChecked()) << b->objectName().toStdString();
    for (QRadioButton* b :
         {f.red, f.green, f.blue, f.Ob10, f.conoscopic, f.RadioButton2, f.RadioButton7})
        EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();
    EXPECT_TRUE(f.RadioButton2->isHidden());
    EXPECT_TRUE(f.RadioButton3->isHidden());
    EXPECT_FALSE(f.CheckBox1->isChecked());
    EXPECT_FALSE(f.GroupBox1->isHidden());

    const struct {
        ui::Timer* t;
        int interval;
    } timers[] = {{f.Timer1, 1000}, {f.Timer2, 3000}, {f.Timer3, 500},   {f.Timer4, 1000},
                  {f.Timer5, 3000}, {f.Timer6, 1},    {f.Timer7, 50},    {f.Timer8, 100},
                  {f.Timer9, 150},  {f.Timer10, 500}, {f.executethis, 1}};
    for (const auto& t : timers) {
        EXPECT_EQ(t.t->interval(), t.interval) << t.t->objectName().toStdString();
        EXPECT_FALSE(t.t->enabled()) << t.t->objectName().toStdString();
    }
    EXPECT_TRUE(f.SaveDialog1.prompt_overwrite); // the save dialog asks before replacing
    EXPECT_FALSE(update->isVisible());
    EXPECT_FALSE(update->Checkforupdates1Click());
}

TEST_F(WindowTest, ControlsAtTheirDesignedBounds) {
    auto form = make_window();
    const struct {
        const char* name;
        QRect bounds;
    } cases[] = {
        {"Image0", {8, 12, 640, 480}},     {"Panel1", {8, 8, 370, 242}},
        {"Panel4", {384, 256, 370, 242}},  {"Image1", {1, 1, 320, 240}},
        {"legend2", {319, 1, 50, 240}},    {"Panel5", {760, 8, 129, 489}},
        {"GroupBox4", {8, 1, 113, 190}},   {"Start_Sequence", {14, 24, 91, 33}},
        {"TrackBar4", {6, 59, 105, 22}},   {"nm", {24, 18, 49, 17}},
        {"monochrome", {84, 41, 25, 17}},  {"SpeedButton1", {8, 16, 48, 33}},
        {"GroupBox1", {0, 8, 425, 481}},   {"TrackBar1", {160, 168, 233, 33}},
        {"Edit6", {168, 374, 217, 21}},    {"RadioButton2", {72, 352, 65, 17}},
        {"GroupBox2", {440, 9, 425, 216}}, {"Image4", {240, 16, 169, 129}},
        {"Edit4", {16, 88, 121, 21}},      {"darklevel", {168, 60, 41, 21}},
        {"Image6", {584, 8, 41, 41}},      {"Image10", {640, 8, 41, 41}},
    };
    for (const auto& c : cases) {
        auto* w = form->findChild<QWidget*>(c.name);
        ASSERT_NE(w, nullptr) << c.name;
        EXPECT_EQ(w->geometry(), c.bounds) << c.name;
    }
    EXPECT_EQ(form->findChild<QWidget*>("Label7")->pos(), QPoint(154, 200));
    EXPECT_EQ(form->findChild<QLabel*>("Label12")->text(), "0.05  max sin(d) 1.0");

    // resizing moves nothing but the page control
    form->show();
    form->resize(1200, 800);
    ui::wait_until([&] { return form->PageControl1->width() == 1200; }, 1000);
    EXPECT_EQ(form->PageControl1->size(), QSize(1200, 800));
    EXPECT_EQ(form->Panel5->geometry(), QRect(760, 8, 129, 489));
    EXPECT_EQ(form->GroupBox2->geometry(), QRect(440, 9, 425, 216));
}

TEST_F(WindowTest, HintsAreKeptButNeverShown) {
    auto form = make_window();
    EXPECT_EQ(ui::hint(form->TrackBar4), "Maximum sin(d) for color encoding");
    EXPECT_EQ(ui::hint(form->nm), "Selcted wavelength");
    EXPECT_EQ(ui::hint(form->Ob40), "40x objective selected");
    for (QWidget* w : form->findChildren<QWidget*>()) EXPECT_TRUE(w->toolTip().isEmpty());
}

TEST_F(WindowTest, LegendBackgroundsHaveTheDesignedGeometry) {
    auto form = make_window();
    const QColor white(Qt::white), black(Qt::black), grey(128, 128, 128), light(197, 197, 197);
    QImage legends[4];
    int n = 0;
    for (ui::Picture* p : {form->legend1, form->legend2, form->legend3, form->legend4}) {
        const QImage& img = p->picture();
        legends[n++] = img;
        ASSERT_EQ(img.size(), QSize(50, 240));
        EXPECT_EQ(img.pixelColor(0, 0), grey);
        EXPECT_EQ(img.pixelColor(1, 120), light);
        EXPECT_EQ(img.pixelColor(12, 47), white);  // bar interior, top left
        EXPECT_EQ(img.pixelColor(22, 136), white); // bottom right
        EXPECT_EQ(img.pixelColor(11, 47), grey);   // bar frame
        EXPECT_EQ(img.pixelColor(16, 137), grey);  // its bottom line
        for (int x = 24; x <= 29; ++x) EXPECT_EQ(img.pixelColor(x, 92), black);
        for (int y = 156; y <= 168; ++y) EXPECT_EQ(img.pixelColor(7, y), black);
        EXPECT_EQ(img.pixelColor(20, 162), black);
        EXPECT_EQ(img.pixelColor(20, 163), black);
        EXPECT_EQ(img.pixelColor(20, 161), grey);
        EXPECT_EQ(img.pixelColor(25, 200), white);
    }
    // identical below row 40, different titles above
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(legends[i].copy(0, 40, 50, 200), legends[0].copy(0, 40, 50, 200));
        EXPECT_NE(legends[i].copy(0, 0, 50, 40), legends[0].copy(0, 0, 50, 40));
    }
    EXPECT_FALSE(form->SpeedButton1->icon().isNull());
    EXPECT_FALSE(form->Openimages->icon().isNull());
}

TEST_F(WindowTest, ActivationSetsTheVersionCaption) {
    auto form = make_window();
    form->FormActivate();
    EXPECT_EQ(form->windowTitle(), "Vexolan  Version 1.07");
    // the designed image scales are parsed at activation
    EXPECT_DOUBLE_EQ(static_cast<double>(form->readings.image_scale[0]), 0.25);
    EXPECT_DOUBLE_EQ(static_cast<double>(form->readings.image_scale[3]), 0.025);
    EXPECT_TRUE(form->Timer1->enabled());
    EXPECT_TRUE(form->Timer2->enabled());
}

// FormActivate runs for activations from within the program, not for a return from
// another program, not nested inside its own work, and not once a camera is chosen.
TEST_F(WindowTest, ActivationFromWithinTheProgramOnly) {
    camera_devices = {"Camera A", "Camera B"};
    auto form = make_window();
    sim->attach_now(); // the first activation does not wait for the controller
    form->show();
    QWidget box; // one of the program's own boxes
    box.show();
    auto starts = [&] {
        const bool ran = form->Timer1->enabled();
        form->Timer1->setEnabled(false);
        return ran;
    };
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(starts()) << "first showing";
    // the list is filled and its first item selected without running the device handler
    EXPECT_EQ(form->combobox1->count(), 2);
    EXPECT_EQ(form->combobox1->currentText(), "Camera A");
    EXPECT_FALSE(camera->calls.join(",").contains("device "))
        << camera->calls.join(",").toStdString();

    QApplication::setActiveWindow(&box);
    QApplication::setActiveWindow(form.get());
    EXPECT_TRUE(starts()) << "return from the program's own box";

    QApplication::setActiveWindow(nullptr); // the operator works in another program
    QApplication::setActiveWindow(form.get());
    EXPECT_FALSE(starts()) << "return from another program";
    QApplication::setActiveWindow(&box);
    QApplication::setActiveWindow(form.get());
    EXPECT_TRUE(starts()) << "the next return from a box";

    // a box shown inside the start-up work activates the window again when it closes:
    // that nested activation does nothing
    sim->attach_now();
    sim->fail_calls(true); // the motor set-up shows an error box
    dialogs.while_shown = [&] {
        QApplication::setActiveWindow(&box);
        QApplication::setActiveWindow(form.get());
    };
    QApplication::setActiveWindow(&box);
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(dialogs.errors.size(), 1) << dialogs.errors.join(" | ").toStdString();
    // and when the window comes back only after the start-up work has ended
    dialogs.while_shown = [&] { QApplication::setActiveWindow(&box); };
    QApplication::setActiveWindow(&box);
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(dialogs.errors.size(), 2);
    QApplication::setActiveWindow(form.get()); // the box has closed: back to the window
    EXPECT_EQ(dialogs.errors.size(), 2) << dialogs.errors.join(" | ").toStdString();
    dialogs.while_shown = nullptr;
    sim->fail_calls(false);

    form->camera.chosen = true;
    QApplication::setActiveWindow(&box);
    QApplication::setActiveWindow(form.get());
    EXPECT_FALSE(starts()) << "after a camera was chosen";
}

// A controller that behaves as hardware does (its calls fail unless it is attached) and
// never attaches, or goes away before or after the start-up check: the window closes.
TEST_F(WindowTest, ClosesWithoutAnAttachedController) {
    enum class Gone { never_attached, before_check, after_check };
    for (Gone gone : {Gone::never_attached, Gone::before_check, Gone::after_check}) {
        SCOPED_TRACE(static_cast<int>(gone));
        ended = 0;
        stepper::SimulatedConfig config;
        config.attaches = gone != Gone::never_attached;
        config.requires_attach = true;
        auto form = make_window(config);
        EXPECT_TRUE(dialogs.errors.isEmpty());
        if (gone == Gone::never_attached) {
            form->FormActivate(); // the motor set-up fails and says so
        } else {
            sim->attach_now();
            form->FormActivate();
            if (gone == Gone::after_check) {
                form->Timer1Timer();
                form->Timer2Timer();
            }
            form->Timer1->setEnabled(false); // their ticks ran here or do not matter
            form->Timer2->setEnabled(false);
            sim->detach();
            EXPECT_TRUE(form->Memo1->toPlainText().endsWith("Disconnected. Serial #12345"));
        }
        dialogs.errors.clear();
        EXPECT_TRUE(form->close());
        EXPECT_EQ(ended, 1);
        EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
        EXPECT_TRUE(read_settings().startsWith("None\r\n"));
    }
}

// The side panel's group boxes draw only their own captions navy; the result images lie
// above their legends; the readings use a bold sans face.
TEST_F(WindowTest, CaptionColoursStackingAndReadingFont) {
    auto form = make_window();
    const QImage group = form->GroupBox5->grab().toImage();
    // text pixels of a blue hue (the glyphs' edges are blended with the background)
    auto blue = [](const QImage& img, const QRect& area) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                n += c.blue() > c.red() + 60 && c.blue() > c.green() + 60;
            }
        return n;
    };
    EXPECT_GT(blue(group, QRect(0, 0, 113, 14)), 10);     // "Microscope"
    const QImage label = form->Label14->grab().toImage(); // "Objective", inside it
    EXPECT_EQ(blue(label, label.rect()), 0);
    EXPECT_EQ(form->Label14->palette().color(QPalette::WindowText),
              form->palette().color(QPalette::WindowText));

    form->Image1->resize(370, 240); // an opened result set
    EXPECT_EQ(form->Panel2->childAt(340, 100), form->Image1);
    EXPECT_EQ(form->Panel4->childAt(340, 100), form->legend2);

    for (ui::Label* l : {form->Label34, form->Label35, form->Label36}) {
        const QFontInfo info(l->font());
        EXPECT_TRUE(info.bold()) << l->objectName().toStdString();
        EXPECT_TRUE(info.family() == "Liberation Sans" || info.family() == "DejaVu Sans")
            << info.family().toStdString();
    }
}
