#include "background_set.h"

#include "bitmap_file.h"
#include "tarnwick_contract.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cstdint>

namespace background_set {

namespace {

// More than half of the image's pixels this dark, or clipped, cannot be a lit empty field.
constexpr double implausible_share = 0.5;
constexpr int dark_sample = 10; // of 255
constexpr qint64 one_collection_ms = 10000;

int sample_of(QRgb p, saturation::Channel sample) {
    switch (sample) {
    case saturation::Channel::red:
        return qRed(p);
    case saturation::Channel::green:
        return qGreen(p);
    case saturation::Channel::blue:
        return qBlue(p);
    case saturation::Channel::mean:
        break;
    }
    return (qRed(p) + qGreen(p) + qBlue(p)) / 3;
}

double dark_share(const QImage& image, saturation::Channel sample) {
    long long dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) dark += sample_of(row[x], sample) <= dark_sample;
    }
    return double(dark) / (double(image.width()) * image.height());
}

// The four images of one collection are stored within moments of each other; a set whose
// images were stored far apart is of two collections (one was cut short while it replaced
// the earlier set).
bool stored_apart(const QString& prefix) {
    QDateTime first, last;
    for (int i = 0; i < TARNWICK_ANGLE_IMAGES; ++i) {
        const QDateTime t =
            QFileInfo(prefix + QString::fromLatin1(tarnwick_angle_file(i))).lastModified();
        if (!first.isValid() || t < first) first = t;
        if (!last.isValid() || t > last) last = t;
    }
    return first.msecsTo(last) > one_collection_ms;
}

} // namespace

Check check(const QString& prefix, QSize frame, saturation::Channel sample) {
    Check c;
    QStringList missing;
    for (int i = 0; i < TARNWICK_ANGLE_IMAGES; ++i) {
        const QString name = QString::fromLatin1(tarnwick_angle_file(i));
        if (!QFileInfo::exists(prefix + name)) missing << QFileInfo(prefix + name).fileName();
    }
    if (missing.size() == TARNWICK_ANGLE_IMAGES) return c;
    if (!missing.isEmpty()) {
        c.verdict = Check::Verdict::incomplete;
        c.files = missing;
        return c;
    }
    for (int i = 0; i < TARNWICK_ANGLE_IMAGES; ++i) {
        const QString path = prefix + QString::fromLatin1(tarnwick_angle_file(i));
        const QString name = QFileInfo(path).fileName();
        auto unreadable = [&](bmp::Status status) {
            c.files << name + QStringLiteral(" (") + QString::fromLatin1(bmp::status_text(status)) +
                           QLatin1Char(')');
        };
        if (!QFileInfo(path).isFile()) { // a FIFO or a device is never read
            c.files << name + QStringLiteral(" (not a regular file)");
            continue;
        }
        // the size from the header first: the pixels of an image of another size never
        // take any memory
        bmp::Header header;
        bmp::Limits any;
        any.max_width = any.max_height = INT32_MAX;
        any.max_pixels = UINT64_MAX;
        if (const bmp::Status s =
                bmp::read_header(QFile::encodeName(path).toStdString(), any, header);
            s != bmp::Status::ok) {
            unreadable(s);
            continue;
        }
        if (QSize(header.width, header.height) != frame) {
            c.files << QStringLiteral("%1 (%2 x %3, the frames %4 x %5)")
                           .arg(name)
                           .arg(header.width)
                           .arg(header.height)
                           .arg(frame.width())
                           .arg(frame.height());
            continue;
        }
        QImage image;
        if (const bmp::Status s = bitmap_file::read(path, image, bitmap_file::at_most(frame));
            s != bmp::Status::ok) {
            unreadable(s);
            continue;
        }
        if (dark_share(image, sample) > implausible_share)
            c.implausible << name + QStringLiteral(": mostly black");
        else if (saturation::clipped_percent(image, sample) > 100 * implausible_share)
            c.implausible << name + QStringLiteral(": mostly clipped");
    }
    c.verdict = c.files.isEmpty() ? Check::Verdict::complete : Check::Verdict::unfit;
    if (c.verdict == Check::Verdict::complete && stored_apart(prefix)) {
        c.verdict = Check::Verdict::mixed;
        c.files.clear();
        c.implausible.clear();
    }
    return c;
}

QString settings_name(const QString& prefix) {
    QString name = QFileInfo(prefix + QLatin1Char('x')).fileName();
    name.chop(1);
    if (name.endsWith(QLatin1Char('_'))) name.chop(1);
    return name;
}

} // namespace background_set
