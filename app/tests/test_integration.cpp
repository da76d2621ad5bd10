// Frame integration and the combinations of the backward pass, on the real window with a
// recording capture component that delivers the frames a test gives it.
#include "window_fixture.h"

#include "ui/wait.h"

#include <QTimer>

#include <random>

namespace {

QImage filled(QRgb colour, int width = 3, int height = 2) {
    QImage f(width, height, QImage::Format_RGB32);
    f.fill(colour);
    return f;
}

} // namespace

class IntegrationTest : public WindowTest {
  protected:
    void SetUp() override {
        camera_devices = {"Camera A"};
        form = make_window();
    }

    // Runs one integration of `count` + 1 frames as the sequence starts it, the camera
    // delivering the next of `frames` each time the integration has taken the one before.
    // Returns whether it reached its target state.
    bool integrate(int count, const std::vector<QImage>& frames) {
        form->integration.count = count;
        form->integration.frame_counter = 0;
        form->sequence.state = 6;
        form->sequence.target_state = 7;
        size_t next = 0;
        QTimer camera_clock;
        QObject::connect(&camera_clock, &QTimer::timeout, [&] {
            if (!form->integration.new_frame && next < frames.size())
                camera->deliver(frames[next++]);
        });
        camera_clock.start(1);
        form->Timer6->setEnabled(true);
        const bool done = ui::wait_until([&] { return form->sequence.state == 7; }, 10000);
        delivered = next;
        return done;
    }

    std::unique_ptr<TForm1> form;
    size_t delivered = 0;
};

// The mean of count + 1 frames, each channel rounded to the nearest integer and a tie to
// the even one; channels are summed apart.
TEST_F(IntegrationTest, RoundedMeanOfTheFrames) {
    const struct {
        int count;
        std::vector<int> reds;
        int mean;
    } cases[] = {
        {10, {117, 117, 117, 117, 117, 117, 117, 117, 117, 117, 115}, 117}, // 1285 / 11 = 116.82
        {9, {2, 2, 2, 2, 2, 2, 2, 2, 2, 7}, 2},                             // 25 / 10: tie to even
        {9, {3, 3, 3, 3, 3, 3, 3, 3, 3, 8}, 4},                             // 35 / 10: tie to even
    };
    for (const auto& c : cases) {
        std::vector<QImage> frames;
        for (int red : c.reds) frames.push_back(filled(qRgb(red, 10 + red % 2, 200)));
        form->integration.new_frame = false;
        ASSERT_TRUE(integrate(c.count, frames));
        EXPECT_EQ(delivered, c.reds.size());
        const QImage& mean = form->integration.integrated;
        EXPECT_EQ(mean.size(), QSize(3, 2));
        EXPECT_EQ(qRed(mean.pixel(2, 1)), c.mean) << c.count;
        EXPECT_EQ(qBlue(mean.pixel(0, 0)), 200);
        EXPECT_EQ(form->Image0->picture(), mean); // the preview shows it
        EXPECT_EQ(form->integration.frame_counter, 0);
        EXPECT_TRUE(form->integration.new_frame);
    }
}

// Count 0 takes one frame, which comes back unchanged, pixel for pixel; count 100 takes
// 101 frames, whose sums reach 255 x 101.
TEST_F(IntegrationTest, CountsZeroAndOneHundred) {
    QImage noise(64, 48, QImage::Format_RGB32);
    std::mt19937 random(7);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) noise.setPixel(x, y, random() | 0xff000000u);
    ASSERT_TRUE(integrate(0, {noise}));
    EXPECT_EQ(delivered, 1u);
    EXPECT_EQ(form->integration.integrated, noise);

    std::vector<QImage> frames(100, filled(qRgb(255, 255, 0)));
    frames.push_back(filled(qRgb(255, 0, 0)));
    form->integration.new_frame = false;
    ASSERT_TRUE(integrate(100, frames));
    EXPECT_EQ(delivered, 101u);
    EXPECT_EQ(form->integration.integrated.pixel(1, 1), qRgb(255, 252, 0)); // 25500 / 101 = 252.48
}

// The integrated image stays as it was when later frames replace the preview. Frames of
// any size integrate; a frame of another size in the middle of an integration starts it
// afresh.
TEST_F(IntegrationTest, IntegratedImageAndFrameSizes) {
    ASSERT_TRUE(integrate(1, {filled(qRgb(10, 10, 10)), filled(qRgb(20, 20, 20))}));
    const QImage integrated = form->integration.integrated;
    camera->deliver(filled(qRgb(99, 99, 99)));
    EXPECT_EQ(form->integration.integrated, integrated);
    EXPECT_EQ(qRed(form->Image0->picture().pixel(0, 0)), 99);

    form->integration.new_frame = false;
    ASSERT_TRUE(integrate(2, {filled(qRgb(1, 1, 1)), filled(qRgb(100, 0, 0), 3100, 2),
                              filled(qRgb(50, 0, 0), 3100, 2), filled(qRgb(0, 0, 0), 3100, 2)}));
    EXPECT_EQ(delivered, 4u);
    EXPECT_EQ(form->integration.integrated.size(), QSize(3100, 2));
    EXPECT_EQ(form->integration.integrated.pixel(3099, 1), qRgb(50, 0, 0));
}

// A camera that delivers nothing: the integration waits, the window stays usable and
// closes, and the waiting integration ends with it.
TEST_F(IntegrationTest, NoFramesTheWindowStaysUsableAndCloses) {
    form->integration.frame_counter = 0;
    form->sequence.state = 6;
    form->sequence.target_state = 7;
    form->Timer6->setEnabled(true);
    bool used = false, rescued = false;
    QTimer::singleShot(50, form.get(), [&] {
        ui::set_position(form->Integrations, 4);
        used = form->integration.count == 4;
        form->show();
        form->close();
    });
    // frames after all, should the integration still wait when the window has closed
    QTimer::singleShot(3000, form.get(), [&] {
        rescued = true;
        for (int i = 0; i < 5; ++i) camera->deliver(filled(qRgb(1, 1, 1)));
    });
    ASSERT_TRUE(ui::wait_until([&] { return ended == 1; }, 10000));
    EXPECT_TRUE(used);
    EXPECT_FALSE(rescued) << "the integration went on waiting after the window closed";
    EXPECT_EQ(form->sequence.state, 6);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(" | ").toStdString();
}

// Each frame becomes the preview; the Set-up page's thumbnail or the Measure page's live
// picture follows it while that page is open.
TEST_F(IntegrationTest, FrameCallbackAndPagePictures) {
    const struct {
        int page;
        bool thumbnail, live;
    } cases[] = {{0, false, false}, {1, false, true}, {2, true, false}};
    int level = 1;
    for (const auto& c : cases) {
        form->PageControl1->setCurrentIndex(c.page);
        const QImage frame = filled(qRgb(level, 0, 0));
        form->integration.new_frame = false;
        camera->deliver(frame);
        EXPECT_EQ(form->Image0->picture(), frame);
        EXPECT_TRUE(form->integration.new_frame);
        EXPECT_EQ(form->Image4->picture() == frame, c.thumbnail) << c.page;
        EXPECT_EQ(form->Image5->picture() == frame, c.live) << c.page;
        ++level;
    }
}

// The two combinations per channel, and the colour rule of the pixels they write.
TEST_F(IntegrationTest, CombinationsAndTheColourRule) {
    auto average = [&](QRgb p, QRgb q) {
        QImage a = filled(p, 1, 1);
        EXPECT_TRUE(form->average(a, filled(q, 1, 1)));
        return a.pixel(0, 0);
    };
    auto normalized = [&](QRgb p, QRgb q, QRgb r) {
        QImage a = filled(p, 1, 1);
        EXPECT_TRUE(form->normalize_and_average(a, filled(q, 1, 1), filled(r, 1, 1)));
        return a.pixel(0, 0);
    };
    ui::set_checked(form->monochrome, true);
    EXPECT_EQ(average(qRgb(255, 0, 7), qRgb(254, 1, 8)), qRgb(254, 0, 7));
    // p = q = r gives 200; a mean of 150 over 100 gives 300, kept at 255; r = 0 gives p
    EXPECT_EQ(normalized(qRgb(90, 100, 33), qRgb(90, 200, 0), qRgb(90, 100, 0)),
              qRgb(200, 255, 33));
    // 2 x 100 / 3 = 66.67 rounds up; 3 x 100 / 8 = 37.5 goes to the even 38
    EXPECT_EQ(normalized(qRgb(1, 1, 5), qRgb(1, 2, 5), qRgb(3, 8, 250)), qRgb(67, 38, 4));

    const struct {
        QRadioButton* checked;
        bool collecting;
        QRgb written;
    } rules[] = {
        {form->monochrome, false, qRgb(30, 40, 50)}, {form->red, false, qRgb(30, 0, 0)},
        {form->green, false, qRgb(0, 40, 0)},        {form->blue, false, qRgb(0, 0, 50)},
        {form->red, true, qRgb(30, 40, 50)},         {nullptr, false, qRgb(1, 2, 3)},
    };
    for (const auto& r : rules) {
        for (QRadioButton* b : {form->monochrome, form->red, form->green, form->blue})
            ui::set_checked(b, b == r.checked);
        form->sequence.collecting_background = r.collecting;
        EXPECT_EQ(average(qRgb(1, 2, 3), qRgb(60, 79, 98)), r.written);
        EXPECT_EQ(normalized(qRgb(1, 2, 3), qRgb(59, 78, 97), qRgb(200, 200, 200)), r.written);
    }

    QImage small = filled(qRgb(1, 1, 1), 2, 2);
    EXPECT_THROW(form->average(small, filled(qRgb(1, 1, 1), 3, 2)), std::runtime_error);
    EXPECT_THROW(form->normalize_and_average(small, small, filled(qRgb(1, 1, 1), 2, 3)),
                 std::runtime_error);
}
