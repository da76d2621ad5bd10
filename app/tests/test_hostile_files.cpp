// Files in the program folder that the program did not write, or that cannot be written:
// a FIFO, a device, a huge or sparse file, a settings value no line can hold, an engine
// library cut short, a folder that is no folder. None of them hangs, crashes or leaves a
// wrong file; each ends with the start-up values or a message that names it.
#include "file_bytes.h"
#include "logic/bitmap_file.h"
#include "logic/text_file.h"
#include "results_fixture.h"

#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Applies a file size limit while it lives; a write beyond it fails instead of killing.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &before);
        previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = before;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, previous);
    }
    rlimit before{};
    void (*previous)(int) = nullptr;
};

} // namespace

// A settings file that is no regular file, or far larger than the program writes, is no
// settings file: the window is built with the start-up values, without blocking on a FIFO
// or reading gigabytes. A line that holds a value the program never writes (an image scale
// of 1e60) stops the reading there, as a word does: what came before stands.
TEST_F(WindowTest, HostileSettingsFiles) {
    const QByteArray good_start = "Camera A\r\n200\r\n0\r\n0\r\n0\r\n";
    const struct {
        const char* what;
        std::function<void()> make;
        int32_t steps_per_turn; // of motor 1 afterwards
    } cases[] = {
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(settings_path()), 0600), 0); }, 1},
        {"the zero device", [&] { ASSERT_TRUE(QFile::link("/dev/zero", settings_path())); }, 1},
        {"a sparse file of 3 GB",
         [&] {
             write_settings(good_start);
             ASSERT_TRUE(QFile(settings_path()).resize(qint64(3) << 30));
         },
         1},
        {"an image scale of 1e60",
         [&] {
             write_settings(good_start + "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n" +
                            "1e60 0.1 0.05 0.025\r\n0 0 1 0 0 0 0 1 0 0 0 0 0 1\r\n");
         },
         200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(settings_path());
        c.make();
        auto form = make_window();
        EXPECT_EQ(form->motor.steps_per_turn[0], c.steps_per_turn);
        // the groups after a bad one, and every group of a file that is none, keep the
        // start-up values: monochrome, 4x, orthoscopic
        EXPECT_TRUE(form->monochrome->isChecked());
        EXPECT_TRUE(form->ob04->isChecked());
        EXPECT_TRUE(form->orthoscopic->isChecked());
        EXPECT_EQ(form->readings.image_scale[0], 0);
    }
}

// An image scale no line of the settings file can hold is never taken, so it is never
// written: the file keeps the scales it had, and holds nothing but the program's text.
TEST_F(WindowTest, ImageScalesTheFileCannotHoldAreNotTaken) {
    auto form = make_window();
    form->FormActivate();
    for (const char* typed : {"1e60", "1e308", "-0.25", "1001"}) {
        ui::set_text(form->Edit2, typed);
        EXPECT_EQ(form->readings.image_scale[0], 0.25L) << typed;
    }
    ui::set_text(form->Edit3, "2.5");
    EXPECT_EQ(form->readings.image_scale[1], 2.5L);
    form->FormClose();
    const QList<QByteArray> lines = read_settings().split('\n');
    ASSERT_GT(lines.size(), 15);
    EXPECT_EQ(lines[14], "0.2500 2.5000 0.0500 0.0250\r");
    for (char ch : read_settings())
        EXPECT_TRUE(ch == '\r' || ch == '\n' || (ch >= ' ' && ch < 127)) << int(ch);

    // the file's writer refuses a value too long for its buffer instead of writing it
    text_file::Writer out;
    EXPECT_THROW(out.reals({1e60L}), std::invalid_argument);
    EXPECT_TRUE(out.text().isEmpty());
}

// A write that fails says why with the reason of the call that failed, not of its
// clean-up; the picture of a measurement is written as the bitmaps are, so a full disk
// leaves the old file whole and no temporary file behind.
TEST_F(WindowTest, FailedWritesSayWhyAndLeaveTheOldFile) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(qRgb(10, 200, 30));
    write_bytes(file("plain"), "a file, no folder");
    const struct {
        QString path;
        int error;
    } cases[] = {{file("plain") + "/x.bmp", ENOTDIR},
                 {file(QString(300, 'n') + ".bmp"), ENAMETOOLONG}};
    for (const auto& c : cases) {
        try {
            bitmap_file::write_or_raise(c.path, image);
            ADD_FAILURE() << "written: " << c.path.toStdString();
        } catch (const std::runtime_error& e) {
            EXPECT_TRUE(QString(e.what()).endsWith(QString::fromLocal8Bit(std::strerror(c.error))))
                << e.what();
        }
    }

    const QString picture = file("run.png");
    ASSERT_TRUE(bitmap_file::write_picture(picture, image, "PNG"));
    const QByteArray old = read_bytes(picture);
    QImage noise(1024, 768, QImage::Format_RGB32); // a picture no compression makes small
    uint32_t state = 12345;
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            noise.setPixel(x, y, state >> 8);
        }
    {
        const FileSizeLimit full_disk(4096);
        EXPECT_FALSE(bitmap_file::write_picture(picture, noise, "PNG"));
    }
    EXPECT_EQ(read_bytes(picture), old);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"plain", "run.png"}));
}
