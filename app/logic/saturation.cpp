#include "saturation.h"

namespace saturation {

double clipped_percent(const QImage& image, Channel channel) {
    if (image.isNull()) return 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    auto clipped = [channel](QRgb p) {
        switch (channel) {
        case Channel::red:
            return qRed(p) == 255;
        case Channel::green:
            return qGreen(p) == 255;
        case Channel::blue:
            return qBlue(p) == 255;
        case Channel::mean:
            return qRed(p) == 255 || qGreen(p) == 255 || qBlue(p) == 255;
        }
        return false;
    };
    long long count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) count += clipped(row[x]) ? 1 : 0;
    }
    return 100.0 * double(count) / (double(rgb.width()) * rgb.height());
}

} // namespace saturation
