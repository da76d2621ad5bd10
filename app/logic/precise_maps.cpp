#include "precise_maps.h"

#include <tiffio.h>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <stdexcept>

namespace precise_maps {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The byte of a 32-bit pixel (blue, green, red, spare) that holds a channel.
int lane_of(saturation::Channel c) {
    switch (c) {
    case saturation::Channel::red:
        return 2;
    case saturation::Channel::green:
        return 1;
    case saturation::Channel::blue:
        return 0;
    case saturation::Channel::mean:
        break;
    }
    return -1;
}

template <typename Sample> Plane plane(int width, int height, const Sample& sample) {
    Plane p;
    p.width = width;
    p.height = height;
    p.values.resize(size_t(width) * size_t(height));
    for (size_t i = 0; i < p.values.size(); ++i) p.values[i] = float(sample(i * 4));
    return p;
}

bool same_size(const Plane& a, const Plane& b) {
    return a.width == b.width && a.height == b.height && a.values.size() == b.values.size();
}

// The mean of `v` over the (2k + 1)^2 pixels around each pixel that lie in the image.
std::vector<double> box_mean(const std::vector<double>& v, int width, int height, int k) {
    // sums along rows, then along columns, with the counts of pixels taken
    std::vector<double> rows(v.size()), out(v.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double sum = 0;
            for (int u = std::max(0, x - k); u <= std::min(width - 1, x + k); ++u)
                sum += v[size_t(y) * size_t(width) + size_t(u)];
            rows[size_t(y) * size_t(width) + size_t(x)] = sum;
        }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double sum = 0;
            for (int w = std::max(0, y - k); w <= std::min(height - 1, y + k); ++w)
                sum += rows[size_t(w) * size_t(width) + size_t(x)];
            const int nx = std::min(width - 1, x + k) - std::max(0, x - k) + 1;
            const int ny = std::min(height - 1, y + k) - std::max(0, y - k) + 1;
            out[size_t(y) * size_t(width) + size_t(x)] = sum / (nx * ny);
        }
    return out;
}

QString number(double v) {
    return QString::number(v, 'g', 10);
}

thread_local QString tiff_error;

void on_tiff_error(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    tiff_error = QString::fromLocal8Bit(text);
    if (module) tiff_error = QString::fromLocal8Bit(module) + QStringLiteral(": ") + tiff_error;
}

} // namespace

Plane plane_of(const frames::Accumulator& sums, int frames, saturation::Channel channel) {
    const std::vector<int32_t>& s = sums.sums();
    const int lane = lane_of(channel);
    const double n = std::max(1, frames);
    if (lane >= 0)
        return plane(sums.size().width(), sums.size().height(),
                     [&](size_t i) { return s[i + size_t(lane)] / n; });
    return plane(sums.size().width(), sums.size().height(),
                 [&](size_t i) { return (s[i] + s[i + 1] + s[i + 2]) / (3 * n); });
}

Plane plane_of(const QImage& image, saturation::Channel channel) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int lane = lane_of(channel);
    Plane p;
    p.width = rgb.width();
    p.height = rgb.height();
    p.values.resize(size_t(p.width) * size_t(p.height));
    for (int y = 0; y < p.height; ++y) {
        const uchar* row = rgb.constScanLine(y);
        for (int x = 0; x < p.width; ++x) {
            const uchar* px = row + 4 * x;
            p.values[size_t(y) * size_t(p.width) + size_t(x)] =
                lane >= 0 ? float(px[lane]) : float((px[0] + px[1] + px[2]) / 3.0);
        }
    }
    return p;
}

Maps compute(const Inputs& in) {
    const Plane& first = in.forward[0];
    for (const auto* set : {&in.forward, &in.backward})
        for (const Plane& p : *set)
            if (!same_size(p, first) || p.values.empty())
                throw std::invalid_argument("the integrations are not all of one size");
    const bool calibrated = std::all_of(in.background.begin(), in.background.end(),
                                        [](const Plane& p) { return !p.values.empty(); });
    if (calibrated)
        for (const Plane& p : in.background)
            if (!same_size(p, first))
                throw std::invalid_argument("the background images are not of the frames' size");

    Maps maps;
    maps.width = first.width;
    maps.height = first.height;
    maps.calibrated = calibrated;
    const size_t n = first.values.size();
    for (auto& page : maps.page) page.assign(n, 0.f);

    // the variance of an angle image, <D^2> / 4 over the four angles and the pixels around
    std::vector<double> variance(n);
    for (size_t i = 0; i < n; ++i) {
        double sum = 0;
        for (size_t p = 0; p < 4; ++p) {
            const double d = double(in.forward[p].values[i]) - in.backward[p].values[i];
            sum += d * d;
        }
        variance[i] = sum / 16;
    }
    variance = box_mean(variance, maps.width, maps.height, 2);

    // the background images' own noise, from the differences of neighbouring pixels of the
    // smooth empty field (edges and dust, differences beyond 8 levels, left out)
    std::array<double, 4> background_variance{};
    if (calibrated)
        for (size_t p = 0; p < 4; ++p) {
            const std::vector<float>& k = in.background[p].values;
            double sum = 0, sum2 = 0;
            long count = 0;
            for (int y = 0; y < maps.height; y += 2)
                for (int x = 0; x + 1 < maps.width; ++x) {
                    const size_t i = size_t(y) * size_t(maps.width) + size_t(x);
                    const double d = double(k[i + 1]) - k[i];
                    if (std::fabs(d) > 8) continue;
                    sum += d;
                    sum2 += d * d;
                    ++count;
                }
            if (count > 1)
                background_variance[p] = (sum2 / count - (sum / count) * (sum / count)) / 2;
        }

    const double to_nm = in.wavelength_nm / (2 * std::numbers::pi);
    const double degrees = 180 / std::numbers::pi;
    for (size_t i = 0; i < n; ++i) {
        std::array<double, 4> j{};
        double var_j = 0;
        bool clipped = false;
        for (size_t p = 0; p < 4; ++p) {
            const double f = in.forward[p].values[i], b = in.backward[p].values[i];
            clipped = clipped || f >= 254.5 || b >= 254.5;
            const double k = calibrated ? in.background[p].values[i] : 255;
            j[p] = k > 0 ? (f + b) / 2 / k : nan;
            // J = A / K: the noise of both
            var_j += (variance[i] + j[p] * j[p] * background_variance[p]) / (k * k) / 4;
            clipped = clipped || (calibrated && j[p] >= 255.0 / 200);
        }
        const double m = (j[0] + j[1] + j[2] + j[3]) / 4;
        const double a = (j[2] - j[0]) / 2, b = (j[3] - j[1]) / 2;
        const double r = std::hypot(a, b);
        const double s = m > 0 ? r / m : nan;
        const double sigma_a = std::sqrt(var_j / 2), sigma_m = std::sqrt(var_j / 4);
        const double sigma_s = std::sqrt(sigma_a * sigma_a + s * s * sigma_m * sigma_m) / m;
        const bool quarter = s <= 0.9;
        double phi = std::atan2(a, b) / 2 * degrees;
        if (phi < 0) phi += 180;
        if (phi >= 180) phi -= 180;
        auto& pg = maps.page;
        pg[transmission][i] = float(m);
        pg[sin_d][i] = float(s);
        pg[retardance][i] = float(quarter ? to_nm * std::asin(s) : nan);
        pg[slow_axis][i] = float(phi);
        pg[retardance_sigma][i] = float(quarter ? to_nm * sigma_s / std::sqrt(1 - s * s) : nan);
        pg[slow_axis_sigma][i] = float(r > 0 ? sigma_a / (2 * r) * degrees : nan);
        pg[orientation_mask][i] = r > 3 * sigma_a ? 1.f : 0.f;
        pg[clipped_mask][i] = clipped ? 1.f : 0.f;
    }
    // the camera's noise as the passes show it: the median over a sample of the pixels
    std::vector<double> sigmas;
    for (size_t i = 0; i < n; i += std::max<size_t>(1, n / 10000))
        sigmas.push_back(std::sqrt(variance[i]));
    std::nth_element(sigmas.begin(), sigmas.begin() + long(sigmas.size() / 2), sigmas.end());
    maps.noise_grey = sigmas.empty() ? 0 : sigmas[sigmas.size() / 2];
    return maps;
}

QString ome_xml(const Maps& maps, const Metadata& m) {
    auto esc = [](const QString& s) { return s.toHtmlEscaped(); };
    QString physical;
    if (m.pixel_size_um > 0)
        physical = QStringLiteral(" PhysicalSizeX=\"%1\" PhysicalSizeXUnit=\"µm\""
                                  " PhysicalSizeY=\"%1\" PhysicalSizeYUnit=\"µm\"")
                       .arg(number(m.pixel_size_um));
    QString channels, tiffdata;
    for (size_t c = 0; c < page_count; ++c) {
        channels +=
            QStringLiteral("<Channel ID=\"Channel:0:%1\" Name=\"%2\" SamplesPerPixel=\"1\"/>")
                .arg(c)
                .arg(esc(QString::fromUtf8(pages[c].name)));
        tiffdata += QStringLiteral("<TiffData FirstC=\"%1\" FirstZ=\"0\" FirstT=\"0\" IFD=\"%1\" "
                                   "PlaneCount=\"1\"/>")
                        .arg(c);
    }
    QStringList values;
    auto add = [&](const QString& key, const QString& value) {
        values << QStringLiteral("<M K=\"%1\">%2</M>").arg(esc(key), esc(value));
    };
    for (const PageInfo& p : pages)
        add(QStringLiteral("unit of ") + QString::fromUtf8(p.name),
            *p.unit ? QString::fromUtf8(p.unit) : QStringLiteral("1"));
    add(QStringLiteral("wavelength nm"), number(m.wavelength_nm));
    add(QStringLiteral("channel"), m.channel);
    add(QStringLiteral("integrations"), QString::number(m.integrations));
    add(QStringLiteral("calibrated"),
        maps.calibrated ? QStringLiteral("yes") : QStringLiteral("no"));
    add(QStringLiteral("background files"), m.background_files.join(QStringLiteral("; ")));
    add(QStringLiteral("background date"), m.background_date);
    add(QStringLiteral("noise of an angle image, grey levels"), number(maps.noise_grey));
    add(QStringLiteral("lamp drift between the passes %"), number(m.lamp_drift_percent));
    add(QStringLiteral("polarizer angle between the passes degree"),
        number(m.polarizer_angle_degrees));
    add(QStringLiteral("program version"), m.program_version);
    add(QStringLiteral("validity"),
        QStringLiteral("R = (wavelength / 2 pi) asin |sin d| holds below a quarter wave; it is NaN "
                       "above |sin d| = 0.9. T is the transmission when calibrated, else the "
                       "mean level over 255. phi is the slow axis, counter-clockwise from the "
                       "image's x axis as the engine's angle image; trust it where the "
                       "orientation mask is 1."));
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
               "<OME xmlns=\"http://www.openmicroscopy.org/Schemas/OME/2016-06\" "
               "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
               "xsi:schemaLocation=\"http://www.openmicroscopy.org/Schemas/OME/2016-06 "
               "http://www.openmicroscopy.org/Schemas/OME/2016-06/ome.xsd\" "
               "Creator=\"vexolan %1\">"
               "<Image ID=\"Image:0\" Name=\"birefringence maps\">"
               "<Pixels ID=\"Pixels:0\" DimensionOrder=\"XYCZT\" Type=\"float\" SizeX=\"%2\" "
               "SizeY=\"%3\" SizeC=\"%4\" SizeZ=\"1\" SizeT=\"1\"%5>%6%7</Pixels>"
               "<AnnotationRef ID=\"Annotation:0\"/></Image>"
               "<StructuredAnnotations><MapAnnotation ID=\"Annotation:0\" "
               "Namespace=\"vexolan.maps\"><Value>%8</Value></MapAnnotation>"
               "</StructuredAnnotations></OME>")
        .arg(esc(m.program_version))
        .arg(maps.width)
        .arg(maps.height)
        .arg(int(page_count))
        .arg(physical, channels, tiffdata, values.join(QString()));
}

QString write_ome_tiff(const QString& path, const Maps& maps, const Metadata& m) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray partial = target + ".part";
    const QByteArray description = ome_xml(maps, m).toUtf8();
    TIFFSetErrorHandler(on_tiff_error);
    TIFFSetWarningHandler(nullptr);
    tiff_error.clear();
    TIFF* t = TIFFOpen(partial.constData(), "w");
    if (!t) return QStringLiteral("cannot write \"%1\": %2").arg(path, tiff_error);
    bool ok = true;
    for (size_t c = 0; c < page_count && ok; ++c) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(maps.width));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(maps.height));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 32);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
        TIFFSetField(t, TIFFTAG_PAGENAME, pages[c].name);
        if (c == 0) TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, description.constData());
        std::vector<float> row(size_t(maps.width));
        for (int y = 0; y < maps.height && ok; ++y) {
            std::copy_n(maps.page[c].begin() + long(y) * maps.width, maps.width, row.begin());
            ok = TIFFWriteScanline(t, row.data(), uint32_t(y), 0) == 1;
        }
        ok = ok && TIFFWriteDirectory(t) == 1;
    }
    TIFFClose(t);
    if (ok && std::rename(partial.constData(), target.constData()) != 0) {
        tiff_error = QString::fromLocal8Bit(std::strerror(errno));
        ok = false;
    }
    if (!ok) {
        std::remove(partial.constData());
        return QStringLiteral("cannot write \"%1\": %2").arg(path, tiff_error);
    }
    return {};
}

} // namespace precise_maps
