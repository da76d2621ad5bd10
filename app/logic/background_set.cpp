#include "background_set.h"

#include "bitmap_file.h"
#include "tarnwick_contract.h"

#include <QFileInfo>

namespace background_set {

namespace {

// More than half of the image's pixels this dark, or clipped, cannot be a lit empty field.
constexpr double implausible_share = 0.5;
constexpr int dark_sample = 10; // of 255

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

} // namespace

Check check(const QString& prefix, QSize frame, saturation::Channel sample) {
    Check c;
    QStringList missing;
    for (int i = 0; i < TARNWICK_ANGLE_IMAGES; ++i) {
        const QString name = QString::fromLatin1(tarnwick_angle_file(i));
        if (!QFileInfo(prefix + name).isFile()) missing << QFileInfo(prefix + name).fileName();
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
        QImage image;
        const bmp::Status status = bitmap_file::read(path, image);
        if (status != bmp::Status::ok) {
            c.files << name + QStringLiteral(" (") + QString::fromLatin1(bmp::status_text(status)) +
                           QLatin1Char(')');
            continue;
        }
        if (image.size() != frame) {
            c.files << QStringLiteral("%1 (%2 x %3, the frames %4 x %5)")
                           .arg(name)
                           .arg(image.width())
                           .arg(image.height())
                           .arg(frame.width())
                           .arg(frame.height());
            continue;
        }
        if (dark_share(image, sample) > implausible_share)
            c.implausible << name + QStringLiteral(": mostly black");
        else if (saturation::clipped_percent(image, sample) > 100 * implausible_share)
            c.implausible << name + QStringLiteral(": mostly clipped");
    }
    c.verdict = c.files.isEmpty() ? Check::Verdict::complete : Check::Verdict::unfit;
    return c;
}

QString settings_name(const QString& prefix) {
    QString name = QFileInfo(prefix + QLatin1Char('x')).fileName();
    name.chop(1);
    if (name.endsWith(QLatin1Char('_'))) name.chop(1);
    return name;
}

} // namespace background_set
