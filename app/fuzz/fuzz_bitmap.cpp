// libFuzzer target: the program's way of reading bitmaps, with its size limits. Each input
// is read as an image of at most the frame size, as the picture control and the sequence
// read theirs, and as the 0° image of a background set whose other three images are sound,
// as the measurement checks its background images. The image read is of the frame size at
// most and 32 bits a pixel; a file refused leaves the image as it was.
#include "fuzz_file.h"
#include "logic/background_set.h"
#include "logic/bitmap_file.h"

#include <QImage>

#include <cstdint>
#include <cstdlib>

namespace {

// Small frames: every path of the reader is reached with small images (its seeds are
// background images of this size), and a header that asks for more is refused before
// anything is allocated.
const QSize frame(32, 16);

// the background images' prefix: objective, optic, frame size and wavelength
const std::string name = "10x_o_32 x 16_550_";

QString background_prefix() {
    static const QString prefix = [] {
        const QString p = QString::fromStdString((fuzz_file::folder() / name).string());
        QImage empty_field(frame, QImage::Format_RGB32);
        empty_field.fill(qRgb(180, 170, 160));
        for (const char* angle : {"45", "90", "135"})
            if (!bitmap_file::write(p + QLatin1String(angle) + QStringLiteral(".bmp"), empty_field))
                std::abort();
        return p;
    }();
    return prefix;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString prefix = background_prefix();
    const QString path = QString::fromStdString(fuzz_file::write(name + "0.bmp", data, size));

    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    const QImage before = image;
    const bool read =
        bitmap_file::read(path, image, bitmap_file::at_most(frame)) == bmp::Status::ok;
    if (read) {
        if (image.isNull() || image.width() > frame.width() || image.height() > frame.height() ||
            image.format() != QImage::Format_RGB32)
            std::abort();
    } else if (image != before) {
        std::abort();
    }
    // The check of a set looks at its four files in the folder, which takes the time of
    // many reads: it checks every image that was read and one in 16 of the others (of
    // another size, cut short, not a bitmap), which it must say are unfit.
    if (!read && size % 16 != 0) return 0;

    // A set is used whole or not at all: the 0° image fits when it was read at the frames'
    // size (the set is complete, or of two collections by its times), else the set is unfit,
    // and an unfit set names what is wrong with it.
    using Verdict = background_set::Check::Verdict;
    const bool fits = read && image.size() == frame;
    for (const auto sample : {saturation::Channel::green, saturation::Channel::mean}) {
        const background_set::Check c = background_set::check(prefix, frame, sample);
        if (fits != (c.verdict == Verdict::complete || c.verdict == Verdict::mixed)) std::abort();
        if (!fits && (c.verdict != Verdict::unfit || c.files.isEmpty())) std::abort();
    }
    return 0;
}
