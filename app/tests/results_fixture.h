// The window over result image sets: engine libraries in the program folder, result
// images written as the engine writes them, and the operator's mouse on the result
// images through the window system.
#pragma once

#include "logic/bitmap_file.h"
#include "palette.h"
#include "window_fixture.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <dlfcn.h>

#include <functional>

class ResultsTest : public WindowTest {
  protected:
    // `library` becomes the program folder's engine library.
    void install_engine(const char* library = TARNWICK_LIBRARY) {
        QFile::remove(file("libtarnwick.so"));
        ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(library), file("libtarnwick.so")));
    }
    // Whether the program folder's engine library is loaded in this process now.
    bool engine_loaded() const {
        // the loader opens even the file it is asked not to load: never a FIFO
        if (!QFileInfo(file("libtarnwick.so")).isFile()) return false;
        void* handle =
            dlopen(QFile::encodeName(file("libtarnwick.so")).constData(), RTLD_NOW | RTLD_NOLOAD);
        if (handle) dlclose(handle);
        return handle != nullptr;
    }
    void make_angle_set(int size) {
        ASSERT_EQ(QProcess::execute(MAKE_ANGLE_SET, {folder.path(), QString::number(size)}), 0);
    }

    // A result image as the engine writes it: stored value v in red, grey for "a0.bmp",
    // the false-colour palette for the others.
    using Values = std::function<int(int x, int y)>;
    static QImage result_image(QSize size, const Values& v, bool grey) {
        QImage img(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const int value = v(x, y);
                const palette::Colour& c =
                    palette::false_colour()[value ? value : palette::no_value];
                img.setPixel(x, y, grey ? qRgb(value, value, value) : qRgb(value, c.green, c.blue));
            }
        return img;
    }
    // Writes the result image set; a missing function leaves that file out.
    void write_results(QSize size, const Values& a0, const Values& a1, const Values& a2) {
        const std::pair<const Values*, const char*> files[] = {
            {&a0, "a0.bmp"}, {&a1, "a1.bmp"}, {&a2, "a2.bmp"}};
        for (auto [values, name] : files) {
            QFile::remove(file(name));
            if (*values) {
                ASSERT_TRUE(
                    bitmap_file::write(file(name), result_image(size, *values, values == &a0)));
            }
        }
    }
    // The same value at every pixel.
    static Values uniform(int value) {
        return [value](int, int) { return value; };
    }
    // Every pixel of the three result images holds `value`.
    void write_uniform_results(QSize size, int value) {
        const Values v = uniform(value);
        write_results(size, v, v, v);
    }

    // The window shown on the "Measure" page, for the mouse, with no engine run pending.
    std::unique_ptr<TForm1> shown_window() {
        auto form = make_window();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->PageControl1->setCurrentWidget(form->TabSheet2);
        form->Timer4->setEnabled(false);
        return form;
    }

    // `p` set to run a program in `working_folder` as a user runs it without a display.
    static void without_display(QProcess& p, const QString& working_folder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(working_folder);
    }
    static QPoint at(const TForm1& f, const ui::Picture* image, QPoint in_control) {
        return image->mapTo(&f, in_control);
    }
    static void press(TForm1& f, ui::Picture* image, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mousePress(f.windowHandle(), b, {}, at(f, image, p));
    }
    static void move(TForm1& f, ui::Picture* image, QPoint p) {
        QTest::mouseMove(f.windowHandle(), at(f, image, p));
    }
    static void release(TForm1& f, ui::Picture* image, QPoint p,
                        Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseRelease(f.windowHandle(), b, {}, at(f, image, p));
    }
    // The reading timers that a move started, fired now, in the order of their intervals.
    static void fire_reading_timers(TForm1& f) {
        if (f.Timer7->enabled()) f.Timer7Timer();
        if (f.Timer8->enabled()) f.Timer8Timer();
        if (f.Timer9->enabled()) f.Timer9Timer();
    }
};
