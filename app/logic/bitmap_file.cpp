#include "bitmap_file.h"

#include "tarnwick_contract.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace bitmap_file {

bmp::Limits at_most(QSize size) {
    bmp::Limits limits;
    limits.max_width = std::max(size.width(), 0);
    limits.max_height = std::max(size.height(), 0);
    limits.max_pixels = uint64_t(limits.max_width) * uint64_t(limits.max_height);
    return limits;
}

bmp::Limits largest_image() {
    return at_most({TARNWICK_MAX_SIZE_OPTION, TARNWICK_MAX_SIZE_OPTION});
}

bmp::Status read(const QString& path, QImage& image, const bmp::Limits& limits) {
    QImage out;
    uchar* bits = nullptr;
    qsizetype stride = 0;
    // rows may arrive on two threads at once: each writes only its own row
    const auto sink = [&](int32_t y, const uint8_t* bgrx) {
        if (!bits) return;
        auto* row = reinterpret_cast<QRgb*>(bits + y * stride);
        for (int32_t x = 0; x < out.width(); ++x, bgrx += 4)
            row[x] = qRgb(bgrx[2], bgrx[1], bgrx[0]);
    };
    const auto prepare = [&](const bmp::Header& h) {
        out = QImage(h.width, h.height, QImage::Format_RGB32);
        if (out.isNull()) return bmp::Status::too_large;
        bits = out.bits(); // detached once, before any row arrives
        stride = out.bytesPerLine();
        return bmp::Status::ok;
    };
    const bmp::Status status =
        bmp::read_file(QFile::encodeName(path).toStdString(), limits, sink, prepare);
    if (status == bmp::Status::ok) image = out;
    return status;
}

bool write(const QString& path, const QImage& image) {
    if (image.isNull()) return false;
    const QImage source = image.convertToFormat(QImage::Format_RGB32);
    return bmp::write_file32(QFile::encodeName(path).toStdString(), source.width(), source.height(),
                             [&](int32_t y, uint8_t* bgrx) {
                                 const auto* row =
                                     reinterpret_cast<const QRgb*>(source.constScanLine(y));
                                 for (int32_t x = 0; x < source.width(); ++x, bgrx += 4) {
                                     bgrx[0] = static_cast<uint8_t>(qBlue(row[x]));
                                     bgrx[1] = static_cast<uint8_t>(qGreen(row[x]));
                                     bgrx[2] = static_cast<uint8_t>(qRed(row[x]));
                                     bgrx[3] = 0;
                                 }
                             });
}

bool write_picture(const QString& path, const QImage& image, const char* format) {
    // encoded in memory first: Qt's PNG writer loses a buffer when a write fails under it
    // (a full disk), and a picture is small beside what it takes to draw it
    QByteArray encoded;
    QBuffer buffer(&encoded);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, format)) return false;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(encoded) == encoded.size() &&
           file.commit();
}

void write_or_raise(const QString& path, const QImage& image) {
    errno = 0;
    if (write(path, image)) return;
    QString text = QStringLiteral("Cannot create file \"%1\".").arg(path);
    if (errno != 0) text += QLatin1Char(' ') + QString::fromLocal8Bit(std::strerror(errno));
    throw std::runtime_error(text.toStdString());
}

} // namespace bitmap_file
