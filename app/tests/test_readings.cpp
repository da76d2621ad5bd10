// Readings over a rectangle dragged on a result image: the mapping of control positions
// to pixels, the means and their texts, the exclusive-or rectangle, the staggered reading
// timers with their lock-out, and the right button.
#include "results_fixture.h"

namespace {

const QString degree(QChar(0x00b0));

// A gradient in each result image, each of its own direction.
int across(int x, int) {
    return x % 256;
}
int diagonal(int x, int y) {
    return (x + y) % 256;
}
int down(int, int y) {
    return y;
}

} // namespace

// Each case is dragged on each of the three result images: every image reads the same
// rectangle of all three.
TEST_F(ResultsTest, ReadingsOverADraggedRectangle) {
    using V = Values;
    const V u100 = uniform(100), u128 = uniform(128);
    // columns alternately 2 and 254: axes 1.4 degrees either side of 0 (arithmetic: 90.4)
    const V straddling = [](int x, int) { return x % 2 ? 254 : 2; };
    const V with_gaps = [](int x, int) { return x % 2 ? 0 : 64; }; // "no value" between
    const V only_at_200_100 = [](int x, int y) { return x == 200 && y == 100 ? 77 : 0; };
    const QSize small(320, 240), large(640, 480);
    const struct {
        const char* name;
        QSize size;
        V a0, a1, a2;
        QPoint from, to;
        bool one_pixel; // the pointer goes back to the press point
        QString sind, phi, transmission;
        long double sind_maximum = 1; // of the shown |sin(d)| picture
        bool calibrated = false;      // the shown results' angle images were calibrated
    } cases[] = {
        // clang-format off
        {"one pixel red 128", small, u128, u128, u128, {50, 40}, {60, 45}, true,
         "sin(d)=0.502", "phi    =90.4" + degree, "I/Io    =50.2%"},
        {"straddling 0 and 180 degrees", small, u100, u100, straddling, {10, 10}, {13, 12}, false,
         "sin(d)=0.3922", "phi    =0.4" + degree, "I/Io    =39.2%"},
        {"reversed drag", small, u100, u100, straddling, {13, 12}, {10, 10}, false,
         "sin(d)=0.3922", "phi    =0.4" + degree, "I/Io    =39.2%"},
        {"no-value pixels leave phi alone", small, u100, with_gaps, with_gaps, {10, 10}, {13, 12},
         false, "sin(d)=0.1255", "phi    =45.2" + degree, "I/Io    =39.2%"},
        {"no angle at all", small, u100, uniform(0), uniform(0), {10, 10}, {13, 12}, false,
         "sin(d)=0", "phi    =", "I/Io    =39.2%"},
        {"top of the scale at colour maximum 0.05: at least that", small, uniform(1),
         uniform(255), uniform(255), {10, 10}, {13, 12}, false, "sin(d)\u22650.05",
         "phi    =180" + degree, "I/Io    =0.4%", 0.05L},
        {"one pixel of the selection at the top of the scale", small, u100,
         [](int x, int y) { return x == 12 && y == 11 ? 255 : 45; }, u100, {10, 10}, {13, 12},
         false, "sin(d)\u22650.1225", "phi    =70.6" + degree, "I/Io    =39.2%", 0.5L},
        {"calibrated: the background's level 200 is all the light", small, uniform(180), u100,
         u100, {10, 10}, {13, 12}, false, "sin(d)=0.3922", "phi    =70.6" + degree,
         "I/Io    =90%", 1, true},
        {"640 x 480 in a 320 x 240 control", large, only_at_200_100, only_at_200_100,
         only_at_200_100, {100, 50}, {101, 51}, true, "sin(d)=0.302", "phi    =54.4" + degree,
         "I/Io    =30.2%"},
        {"dragged beyond the picture", small, u100, u100, u100, {318, 238}, {330, 250}, false,
         "sin(d)=0.3922", "phi    =70.6" + degree, "I/Io    =39.2%"},
        {"no phi image: its reading lies outside", small, u100, u100, nullptr, {10, 10}, {13, 12},
         false, "sin(d)=0.3922", "phi", "I/Io    =39.2%"},
        // clang-format on
    };
    for (const auto& c : cases) {
        write_results(c.size, c.a0, c.a1, c.a2);
        for (int pressed = 1; pressed <= 3; ++pressed) {
            SCOPED_TRACE(std::string(c.name) + " on Image" + std::to_string(pressed));
            auto form = shown_window();
            form->display.shown = TForm1::Shown::engine_results;
            form->display.shown_maximum = c.sind_maximum;
            form->display.shown_calibrated = c.calibrated;
            ui::Picture* image = pressed == 1   ? form->Image1
                                 : pressed == 2 ? form->Image2
                                                : form->Image3;
            press(*form, image, c.from);
            move(*form, image, c.to);
            if (c.one_pixel) {
                form->Timer10Timer();
                move(*form, image, c.from);
            }
            release(*form, image, c.one_pixel ? c.from : c.to);
            fire_reading_timers(*form);
            EXPECT_EQ(form->Label34->caption(), c.sind);
            EXPECT_EQ(form->Label35->caption(), c.phi);
            EXPECT_EQ(form->Label36->caption(), c.transmission);
            for (ui::Label* l : {form->Label34, form->Label35, form->Label36})
                EXPECT_TRUE(l->isVisible());
            EXPECT_FALSE(form->readings.tracking);
        }
    }
}

// The rectangle on the pressed image is drawn in exclusive-or mode: each move erases the
// last one exactly. A right-button press reloads the clean images and starts nothing; a
// press without a move reads nothing.
TEST_F(ResultsTest, SelectionRectangleAndRightButton) {
    write_results({320, 240}, across, diagonal, down);
    auto form = shown_window();
    const QImage clean = read(file("a1.bmp"));
    ui::Picture* image = form->Image2;

    press(*form, image, {20, 30});
    EXPECT_TRUE(form->Label34->isHidden()); // a press alone reads nothing
    move(*form, image, {120, 90});
    move(*form, image, {60, 50});
    ui::Picture expected;
    expected.set_picture(clean);
    expected.xor_rectangle(20, 30, 60, 50);
    EXPECT_EQ(image->picture(), expected.picture());
    release(*form, image, {60, 50});
    EXPECT_EQ(image->picture(), expected.picture()); // stays until the next press

    // the pressed-image copy holds the clean picture; it and the reading buffer are unseen
    EXPECT_EQ(form->Image10->picture(), clean);
    EXPECT_TRUE(form->Image6->isHidden());
    EXPECT_TRUE(form->Image10->isHidden());

    press(*form, image, {100, 100}, Qt::RightButton);
    EXPECT_EQ(image->picture(), clean);
    EXPECT_FALSE(form->readings.tracking);
    release(*form, image, {100, 100}, Qt::RightButton);
}

// One computation per 500 ms: while Timer10 runs a move moves the rectangle but reads
// nothing; the other two readings come from their timers, 50, 100 and 150 ms apart.
TEST_F(ResultsTest, ReadingsWaitForTheLockOut) {
    write_results(
        {320, 240}, [](int x, int) { return x < 100 ? 51 : 102; },
        [](int x, int) { return x < 100 ? 51 : 102; },
        [](int x, int) { return x < 100 ? 51 : 102; });
    auto form = shown_window();
    ui::Picture* image = form->Image2;
    press(*form, image, {10, 10});
    move(*form, image, {20, 20});
    EXPECT_EQ(form->Label34->caption(), "sin(d)=0.2");
    EXPECT_TRUE(form->Timer10->enabled());
    EXPECT_TRUE(form->Timer7->enabled());  // phi, 50 ms
    EXPECT_TRUE(form->Timer8->enabled());  // I/I0, 100 ms
    EXPECT_FALSE(form->Timer9->enabled()); // the pressed image's own reading is done

    move(*form, image, {150, 20}); // into the 102 region: not read while locked out
    EXPECT_EQ(form->Label34->caption(), "sin(d)=0.2");
    ui::Picture expected;
    expected.set_picture(read(file("a1.bmp")));
    expected.xor_rectangle(10, 10, 150, 20);
    EXPECT_EQ(image->picture(), expected.picture());

    // the timers read the same selection from their own images
    form->Timer7Timer();
    EXPECT_FALSE(form->Timer7->enabled());
    form->Timer8Timer();
    // 90 columns of 51 and 51 columns of 102: 69.4468, 27.2 percent
    EXPECT_EQ(form->Label36->caption(), "I/Io    =27.2%");
    form->Timer10Timer();
    move(*form, image, {151, 20});
    EXPECT_NE(form->Label34->caption(), "sin(d)=0.2");
    release(*form, image, {151, 20});
}

// A click ends the selection (the canvas back to normal, tracking off); a double click
// reloads the result images, which removes the rectangle.
TEST_F(ResultsTest, ClickEndsTheSelectionAndDoubleClickReloads) {
    write_results({320, 240}, across, diagonal, down);
    auto form = shown_window();
    const QImage clean = read(file("a1.bmp"));
    ui::Picture* image = form->Image2;
    press(*form, image, {20, 30});
    move(*form, image, {60, 50});
    EXPECT_TRUE(form->readings.tracking);
    release(*form, image, {60, 50}); // a release over the image is a click too
    EXPECT_FALSE(form->readings.tracking);
    EXPECT_NE(image->picture(), clean);
    form->readings.tracking = true;
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, at(*form, image, {5, 5}));
    EXPECT_FALSE(form->readings.tracking);
    EXPECT_EQ(image->picture(), clean); // the press reloaded the images
    image->xor_rectangle(10, 10, 40, 40);
    QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, at(*form, image, {5, 5}));
    EXPECT_EQ(image->picture(), clean);
}

// A scale edit whose text is not a whole valid number leaves the stored scale as it was.
TEST_F(ResultsTest, ScaleEditsKeepTheScaleUntilTheTextIsANumber) {
    auto form = make_window();
    ui::set_text(form->Edit3, "0.125");
    for (const char* text : {"", "1e", "0.2x", "-", " ", "1,5"}) {
        ui::set_text(form->Edit3, text);
        EXPECT_DOUBLE_EQ(static_cast<double>(form->readings.image_scale[1]), 0.125) << text;
    }
    ui::set_text(form->Edit3, " 2e-1");
    EXPECT_DOUBLE_EQ(static_cast<double>(form->readings.image_scale[1]), 0.2);
}
