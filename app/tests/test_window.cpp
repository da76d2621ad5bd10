// The window's designed state, its layout, and the drawn pictures.
#include "window_fixture.h"

#include "ui/wait.h"

#include <QApplication>
#include <QFontMetrics>

TEST_F(WindowTest, DesignedStateOfTheControls) {
    auto form = make_window();
    TForm1& f = *form;
    EXPECT_EQ(f.PageControl1->currentWidget(), f.TabSheet2); // FormCreate shows "Measure"
    EXPECT_EQ(f.PageControl1->tabText(0), "Preview");
    EXPECT_EQ(f.PageControl1->tabText(1), "Measure");
    EXPECT_EQ(f.PageControl1->tabText(2), "Set-up");
    EXPECT_EQ(f.PageControl1->tabText(3), "Orientation"); // after the designed pages
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

// Every control of the window, each in its parent at its designed bounds, in the order of
// the window's layout tables; a size of 0 is one the design leaves to the control's caption.
// A named control that the tables do not hold is a fault too.
TEST_F(WindowTest, ControlsAtTheirDesignedBounds) {
    auto form = make_window();
    const struct {
        const char *name, *parent;
        int left, top, width, height;
    } designed[] = {
        // clang-format off
        // the window: the page control and the two pictures under it
        {"PageControl1", "Form1", 0, 0, 901, 537},
        {"Image6", "Form1", 584, 8, 41, 41}, {"Image10", "Form1", 640, 8, 41, 41},
        // "Preview"
        {"Image0", "TabSheet1", 8, 12, 640, 480},
        // "Measure": the four result panels
        {"Panel1", "TabSheet2", 8, 8, 370, 242}, {"Image5", "Panel1", 1, 1, 320, 240},
        {"legend4", "Panel1", 319, 1, 50, 240},
        {"Panel2", "TabSheet2", 384, 8, 370, 242}, {"Image1", "Panel2", 1, 1, 320, 240},
        {"legend3", "Panel2", 319, 1, 50, 240},
        {"Panel3", "TabSheet2", 8, 256, 370, 242}, {"Image2", "Panel3", 1, 1, 320, 240},
        {"legend1", "Panel3", 319, 1, 50, 240},
        {"Panel4", "TabSheet2", 384, 256, 370, 242}, {"Image3", "Panel4", 1, 1, 320, 240},
        {"legend2", "Panel4", 319, 1, 50, 240},
        // the side panel
        {"Panel5", "TabSheet2", 760, 8, 129, 489},
        {"GroupBox4", "Panel5", 8, 1, 113, 190},
        {"Start_Sequence", "GroupBox4", 14, 24, 91, 33}, {"Edit1", "GroupBox4", 16, 12, 89, 21},
        {"TrackBar4", "GroupBox4", 6, 59, 105, 22}, {"Label12", "GroupBox4", 9, 81, 0, 0},
        {"sindthreshhold1", "GroupBox4", 6, 95, 105, 22},
        {"sindthreshholdcaption", "GroupBox4", 10, 116, 0, 0},
        {"Integrations", "GroupBox4", 6, 132, 105, 22}, {"Label21", "GroupBox4", 10, 153, 0, 0},
        {"Label13", "GroupBox4", 8, 172, 0, 0},
        {"GroupBox5", "Panel5", 8, 190, 113, 172},
        {"Panel7", "GroupBox5", 2, 15, 108, 62}, {"Label22", "Panel7", 17, 1, 0, 0},
        {"nm", "Panel7", 24, 18, 49, 17}, {"nano", "Panel7", 75, 20, 0, 0},
        {"red", "Panel7", 0, 41, 25, 17}, {"green", "Panel7", 28, 41, 25, 17},
        {"blue", "Panel7", 56, 41, 25, 17}, {"monochrome", "Panel7", 84, 41, 25, 17},
        {"Label14", "GroupBox5", 19, 81, 0, 0},
        {"ob04", "GroupBox5", 24, 94, 0, 0}, {"Ob10", "GroupBox5", 61, 94, 0, 0},
        {"Ob20", "GroupBox5", 24, 108, 0, 0}, {"Ob40", "GroupBox5", 61, 108, 0, 0},
        {"Label16", "GroupBox5", 19, 125, 0, 0}, {"Panel6", "GroupBox5", 23, 140, 83, 29},
        {"orthoscopic", "Panel6", 1, 0, 0, 0}, {"conoscopic", "Panel6", 1, 13, 0, 0},
        {"GroupBox8", "Panel5", 8, 361, 113, 64},
        {"Label34", "GroupBox8", 8, 14, 0, 0}, {"Label35", "GroupBox8", 8, 27, 0, 0},
        {"Label36", "GroupBox8", 8, 42, 0, 0},
        {"GroupBox6", "Panel5", 8, 425, 113, 56},
        {"SpeedButton1", "GroupBox6", 8, 16, 48, 33}, {"Openimages", "GroupBox6", 57, 16, 48, 33},
        {"RadioButton3", "GroupBox6", 0, 0, 0, 0}, {"RadioButton4", "GroupBox6", 0, 0, 0, 0},
        {"RadioButton5", "GroupBox6", 0, 0, 0, 0},
        // "Set-up": the motor controls
        {"GroupBox3", "TabSheet3", 0, 8, 425, 481}, {"GroupBox1", "TabSheet3", 0, 8, 425, 481},
        {"CheckBox1", "GroupBox1", 8, 24, 97, 17}, {"Memo1", "GroupBox1", 168, 24, 217, 81},
        {"Label8", "GroupBox1", 8, 168, 0, 0}, {"Label1", "GroupBox1", 96, 168, 0, 0},
        {"Label6", "GroupBox1", 128, 168, 0, 0}, {"TrackBar1", "GroupBox1", 160, 168, 233, 33},
        {"Label7", "GroupBox1", 154, 200, 0, 0},
        {"Label2", "GroupBox1", 8, 232, 0, 0}, {"Label5", "GroupBox1", 128, 232, 0, 0},
        {"TrackBar2", "GroupBox1", 160, 232, 233, 25}, {"Label9", "GroupBox1", 160, 256, 0, 0},
        {"Label3", "GroupBox1", 8, 296, 0, 0}, {"Label4", "GroupBox1", 128, 296, 0, 0},
        {"TrackBar3", "GroupBox1", 160, 296, 233, 25}, {"Label10", "GroupBox1", 160, 320, 0, 0},
        {"RadioButton1", "GroupBox1", 8, 352, 65, 17},
        {"RadioButton2", "GroupBox1", 72, 352, 65, 17},
        {"Label15", "GroupBox1", 9, 378, 0, 0}, {"Edit6", "GroupBox1", 168, 374, 217, 21},
        {"Panel8", "GroupBox1", 8, 416, 385, 49}, {"Label23", "Panel8", 0, 16, 0, 0},
        {"RadioButton6", "Panel8", 120, 16, 0, 0}, {"RadioButton7", "Panel8", 264, 16, 0, 0},
        // the camera
        {"GroupBox2", "TabSheet3", 440, 9, 425, 216},
        {"combobox1", "GroupBox2", 8, 21, 226, 21},
        {"Label19", "GroupBox2", 8, 56, 0, 0}, {"Label11", "GroupBox2", 44, 56, 0, 0},
        {"CapturePIN", "GroupBox2", 8, 76, 113, 28}, {"Capture", "GroupBox2", 120, 76, 112, 28},
        {"Button4", "GroupBox2", 8, 112, 73, 25}, {"Button2", "GroupBox2", 82, 112, 75, 25},
        {"Button3", "GroupBox2", 158, 112, 75, 25}, {"Button6", "GroupBox2", 8, 144, 225, 25},
        {"Button5", "GroupBox2", 8, 176, 225, 25}, {"Image4", "GroupBox2", 240, 16, 169, 129},
        // image scales and calibrations
        {"GroupBox17", "TabSheet3", 440, 231, 425, 121},
        {"Label38", "GroupBox17", 16, 32, 0, 0}, {"Edit2", "GroupBox17", 16, 48, 121, 21},
        {"Label39", "GroupBox17", 168, 32, 0, 0}, {"Edit3", "GroupBox17", 168, 48, 121, 21},
        {"Label40", "GroupBox17", 16, 72, 0, 0}, {"Edit4", "GroupBox17", 16, 88, 121, 21},
        {"Label41", "GroupBox17", 168, 72, 0, 0}, {"Edit5", "GroupBox17", 168, 88, 121, 21},
        {"GroupBox7", "TabSheet3", 440, 360, 425, 129},
        {"Collectbackgroundimages", "GroupBox7", 8, 24, 201, 25},
        {"Label20", "GroupBox7", 8, 64, 0, 0}, {"darklevel", "GroupBox7", 168, 60, 41, 21},
        // beyond the design, on a page after the designed ones: the maps' orientation view
        {"OrientationMap", "TabSheet4", 8, 12, 640, 480},
        {"OrientationLegend", "TabSheet4", 656, 12, 160, 240},
        {"OrientationNote", "TabSheet4", 656, 262, 0, 0},
        // clang-format on
    };
    // the pages: Qt places them
    QStringList listed{"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4"};
    for (const auto& c : designed) {
        SCOPED_TRACE(c.name);
        listed << c.name;
        auto* w = form->findChild<QWidget*>(c.name);
        ASSERT_NE(w, nullptr);
        ASSERT_NE(w->parentWidget(), nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), c.parent);
        EXPECT_EQ(w->pos(), QPoint(c.left, c.top));
        if (c.width > 0) {
            EXPECT_EQ(w->size(), QSize(c.width, c.height));
        }
    }
    // Qt's own parts of a control (a tab bar's scroll buttons) carry names of theirs
    auto qt_own = [](const QWidget* w) {
        return w->objectName().isEmpty() || w->objectName().startsWith("qt_");
    };
    for (const QWidget* w : form->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (!qt_own(w) && !qt_own(w->parentWidget())) {
            EXPECT_TRUE(listed.contains(name)) << name.toStdString() << " is not designed";
        }
    }

    // resizing moves nothing but the page control
    form->show();
    form->resize(1200, 800);
    ui::wait_until([&] { return form->PageControl1->width() == 1200; }, 1000);
    EXPECT_EQ(form->PageControl1->size(), QSize(1200, 800));
    EXPECT_EQ(form->Panel5->geometry(), QRect(760, 8, 129, 489));
    EXPECT_EQ(form->GroupBox2->geometry(), QRect(440, 9, 425, 216));
}

// The status line is read whole inside its group box: a longer text in a smaller face,
// a text too long for that cut short, whole in its tool tip; the caption stays whole.
TEST_F(WindowTest, StatusLineReadsWhole) {
    auto form = make_window();
    ui::Label* status = form->Label13;
    const int room = form->GroupBox4->width() - status->x();
    const QString long_one =
        "The background images for 04x_o_640 x 480_550 are incomplete: 90.bmp missing.";
    for (const QString& text :
         {QString("Ready"), QString("Error reading first image"), QString("Input Parameter Error"),
          QString("Ready, not corrected"), long_one}) {
        SCOPED_TRACE(text.toStdString());
        status->set_caption(text);
        EXPECT_EQ(status->caption(), text);
        EXPECT_LE(QFontMetrics(status->font()).horizontalAdvance(status->text()), room - 2);
        EXPECT_GE(status->font().pixelSize(), 8);
        if (text == long_one) {
            EXPECT_TRUE(status->text().endsWith(QChar(0x2026))) << status->text().toStdString();
            EXPECT_EQ(status->toolTip(), text);
        } else {
            EXPECT_EQ(status->text(), text);
            EXPECT_TRUE(status->toolTip().isEmpty());
        }
    }
    status->set_caption("Ready");
    EXPECT_EQ(status->font().pixelSize(), 11); // the window's face when it fits
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

// The start-up work runs at the first activation of the window and never again: not for a
// return from one of the program's boxes or from another program, and not for an
// activation nested inside its own work.
TEST_F(WindowTest, StartUpWorkAtTheFirstActivationOnly) {
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
    // a box shown inside the start-up work (the motor set-up fails and says so) activates
    // the window again when it closes: that nested activation does nothing
    sim->attach_now();
    sim->fail_calls(true);
    dialogs.while_shown = [&] {
        QApplication::setActiveWindow(&box);
        QApplication::setActiveWindow(form.get());
    };
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(dialogs.errors.size(), 1) << dialogs.errors.join(" | ").toStdString();
    dialogs.while_shown = nullptr;
    sim->fail_calls(false);
    // the list is filled and its first item selected without running the device handler
    EXPECT_EQ(form->combobox1->count(), 2);
    EXPECT_EQ(form->combobox1->currentText(), "Camera A");
    EXPECT_FALSE(camera->calls.join(",").contains("device "))
        << camera->calls.join(",").toStdString();
    const QStringList calls = camera->take_calls();
    EXPECT_TRUE(calls.contains("devices")) << calls.join(",").toStdString();

    QApplication::setActiveWindow(&box);
    QApplication::setActiveWindow(form.get());
    EXPECT_FALSE(starts()) << "return from the program's own box";
    QApplication::setActiveWindow(nullptr); // the operator works in another program
    QApplication::setActiveWindow(form.get());
    EXPECT_FALSE(starts()) << "return from another program";
    EXPECT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(camera->calls.isEmpty()) << camera->calls.join(",").toStdString();
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
