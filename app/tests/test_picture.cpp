// The picture control: mouse events in their designed order, the exclusive-or selection
// rectangle, and bitmap files through the project's codec.
#include "logic/bitmap_file.h"
#include "ui/picture.h"
#include "window_fixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A picture control alone in a window, recording what its handlers see.
struct Recorder {
    QWidget window;
    ui::Picture* picture = new ui::Picture(&window);
    QStringList seen;

    Recorder() {
        window.resize(200, 150);
        picture->setGeometry(10, 10, 100, 80);
        auto name = [](Qt::MouseButtons b) {
            QString s;
            if (b & Qt::LeftButton) s += "L";
            if (b & Qt::RightButton) s += "R";
            return s.isEmpty() ? QString("-") : s;
        };
        picture->on_mouse_down = [=, this](const ui::MouseEvent& e) {
            seen << QString("down %1 %2,%3").arg(name(e.buttons)).arg(e.x).arg(e.y);
        };
        picture->on_mouse_move = [=, this](const ui::MouseEvent& e) {
            // the control tracks the pointer; moves with no button held are left out here
            if (e.buttons != Qt::NoButton)
                seen << QString("move %1 %2,%3").arg(name(e.buttons)).arg(e.x).arg(e.y);
        };
        picture->on_mouse_up = [=, this](const ui::MouseEvent& e) {
            seen << QString("up %1").arg(name(e.buttons));
        };
        picture->on_click = [this] { seen << "click"; };
        picture->on_double_click = [this] { seen << "double"; };
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
};

} // namespace

// The operator's mouse through the window system: a click, a double click, a drag with the
// left button held, a press with the right button.
TEST(UiPicture, MouseEventsInTheirDesignedOrder) {
    Recorder r;
    QWindow* w = r.window.windowHandle();
    const QPoint at(30, 40); // 20, 30 in the control
    QTest::mouseClick(w, Qt::LeftButton, {}, at);
    EXPECT_EQ(r.seen, (QStringList{"down L 20,30", "up -", "click"}));

    r.seen.clear();
    QTest::mouseDClick(w, Qt::LeftButton, {}, at);
    EXPECT_EQ(r.seen, (QStringList{"down L 20,30", "up -", "click", "double", "up -"}));

    r.seen.clear();
    QTest::mousePress(w, Qt::LeftButton, {}, at);
    QTest::mouseMove(w, QPoint(50, 60));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(50, 60));
    ASSERT_GE(r.seen.size(), 3);
    EXPECT_EQ(r.seen[0], "down L 20,30");
    EXPECT_TRUE(r.seen.contains("move L 40,50")) << r.seen.join(" | ").toStdString();
    EXPECT_FALSE(r.seen.contains("move - 40,50"));
    EXPECT_EQ(r.seen.last(), "click");

    // other buttons press and release, but neither click nor double-click
    r.seen.clear();
    QTest::mouseClick(w, Qt::RightButton, {}, at);
    QTest::mouseDClick(w, Qt::RightButton, {}, at);
    EXPECT_EQ(r.seen, (QStringList{"down R 20,30", "up -", "down R 20,30", "up -", "down R 20,30",
                                   "up -"}));

    // a right click during a left drag leaves the left button's click to the left release
    r.seen.clear();
    QTest::mousePress(w, Qt::LeftButton, {}, at);
    QTest::mouseClick(w, Qt::RightButton, {}, at);
    QTest::mouseRelease(w, Qt::LeftButton, {}, at);
    EXPECT_EQ(r.seen, (QStringList{"down L 20,30", "down LR 20,30", "up L", "up -", "click"}));
}

// The selection rectangle: black pen and white brush in exclusive-or mode. Its inside is
// inverted, its border is not, and a second drawing restores every pixel. Corners come in
// any order; the right and bottom ends are not covered; parts outside the picture are cut.
TEST(UiPicture, ExclusiveOrRectangleInvertsItsInsideAndVanishesWhenDrawnTwice) {
    QImage image(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) image.setPixel(x, y, qRgb(x * 6, y * 8, (x + y) * 3));
    const struct {
        int left, top, right, bottom;
        QRect inside; // the inverted pixels
    } cases[] = {
        {5, 4, 15, 12, QRect(QPoint(6, 5), QPoint(13, 10))},
        {15, 12, 5, 4, QRect(QPoint(6, 5), QPoint(13, 10))}, // dragged back up
        {5, 4, 7, 7, QRect()}, // two pixels wide: all border, nothing inside
        {30, 20, 60, 50, QRect(QPoint(31, 21), QPoint(39, 29))},
        {8, 8, 8, 8, QRect()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(
            QString("%1 %2 %3 %4").arg(c.left).arg(c.top).arg(c.right).arg(c.bottom).toStdString());
        ui::Picture p;
        p.set_picture(image);
        p.xor_rectangle(c.left, c.top, c.right, c.bottom);
        int differences = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const QRgb was = image.pixel(x, y), now = p.picture().pixel(x, y);
                const QRgb expected = c.inside.contains(x, y) ? (was ^ 0x00ffffffu) : was;
                differences += now != expected;
            }
        EXPECT_EQ(differences, 0);
        p.xor_rectangle(c.left, c.top, c.right, c.bottom);
        EXPECT_EQ(p.picture(), image);
    }
}

// Pictures are written as the engine's files are (32 bits per pixel, a 40-byte header) and
// load through the same codec.
TEST(UiPicture, BitmapFilesGoThroughTheCodec) {
    QTemporaryDir dir;
    QImage image(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) image.setPixel(x, y, qRgb(10 * x, 50 * y, 200 - x - y));
    const QString path = dir.path() + "/saved.bmp";
    ASSERT_TRUE(bitmap_file::write(path, image));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_EQ(bytes.size(), 54 + 5 * 3 * 4); // 32 bits per pixel, 40-byte header
    EXPECT_EQ(bytes[14], 40);
    EXPECT_EQ(bytes[28], 32);

    ui::Picture q;
    ASSERT_TRUE(q.load_file(path));
    EXPECT_EQ(q.picture(), image);

    // a damaged file is refused and the picture stays as it was
    QFile damaged(dir.path() + "/damaged.bmp");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(bytes.left(60));
    damaged.close();
    EXPECT_FALSE(q.load_file(damaged.fileName()));
    EXPECT_EQ(q.picture(), image);
    EXPECT_FALSE(q.load_file(dir.path() + "/missing.bmp"));
}

namespace {

// A picture control that counts how often it is drawn.
class CountingPicture : public ui::Picture {
  public:
    using ui::Picture::Picture;
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent* e) override {
        ++paints;
        ui::Picture::paintEvent(e);
    }
};

} // namespace

// Pictures nobody sees are not drawn: a camera streaming into a minimized window costs no
// drawing, and the window shows the latest picture when it is restored.
TEST(Picture, NotDrawnWhileItsWindowIsMinimized) {
    QWidget window;
    window.resize(200, 150);
    auto* picture = new CountingPicture(&window);
    picture->setGeometry(10, 10, 100, 80);
    window.show();
    QImage frame(100, 80, QImage::Format_RGB32);
    frame.fill(Qt::red);
    auto settle = [] {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    };
    picture->set_picture(frame);
    settle();
    const int shown = picture->paints;
    EXPECT_GT(shown, 0);

    window.showMinimized();
    settle();
    const int minimized = picture->paints;
    for (int i = 0; i < 10; ++i) {
        picture->set_picture(frame);
        settle();
    }
    EXPECT_EQ(picture->paints, minimized);

    window.showNormal();
    settle();
    EXPECT_GT(picture->paints, minimized);
}
