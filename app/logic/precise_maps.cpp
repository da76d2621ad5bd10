#include "precise_maps.h"

#include <tiffio.h>

#include <QFile>
#include <QMap>
#include <QXmlStreamReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

template <typename Sample, typename Clipped>
Plane plane(int width, int height, const Sample& sample, const Clipped& clipped) {
    Plane p;
    p.width = width;
    p.height = height;
    p.values.resize(size_t(width) * size_t(height));
    p.clipped.resize(p.values.size());
    for (size_t i = 0; i < p.values.size(); ++i) {
        p.values[i] = float(sample(i * 4));
        p.clipped[i] = clipped(i * 4) ? 1 : 0;
    }
    return p;
}

bool flagged(const Plane& p, size_t i) {
    return i < p.clipped.size() && p.clipped[i] != 0;
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

// libtiff's messages about one file, kept for the reason of a failure; other users of the
// library keep their own handlers.
struct TiffMessages {
    QString error;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TiffMessages() {
        TIFFOpenOptionsSetErrorHandlerExtR(options, on_error, this);
        TIFFOpenOptionsSetWarningHandlerExtR(options, on_warning, this);
    }
    ~TiffMessages() { TIFFOpenOptionsFree(options); }
    TiffMessages(const TiffMessages&) = delete;
    TiffMessages& operator=(const TiffMessages&) = delete;

    static int on_error(TIFF*, void* self, const char* module, const char* format, va_list args) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        QString& e = static_cast<TiffMessages*>(self)->error;
        e = QString::fromLocal8Bit(text);
        if (module) e = QString::fromLocal8Bit(module) + QStringLiteral(": ") + e;
        return 1;
    }
    static int on_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }
};

} // namespace

Plane plane_of(const frames::Accumulator& sums, int frames, saturation::Channel channel) {
    const std::vector<int32_t>& s = sums.sums();
    const int lane = lane_of(channel);
    const double n = std::max(1, frames);
    const auto clipped = [&](size_t i) {
        const double top = 254.5 * n;
        return s[i] >= top || s[i + 1] >= top || s[i + 2] >= top;
    };
    const QSize size = sums.size();
    if (lane >= 0)
        return plane(
            size.width(), size.height(), [&](size_t i) { return s[i + size_t(lane)] / n; },
            clipped);
    return plane(
        size.width(), size.height(),
        [&](size_t i) { return (s[i] + s[i + 1] + s[i + 2]) / (3 * n); }, clipped);
}

Plane plane_of(const QImage& image, saturation::Channel channel) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int lane = lane_of(channel);
    const auto row_of = [&](size_t i) {
        return rgb.constScanLine(int(i / 4 / size_t(rgb.width())));
    };
    const auto at = [&](size_t i) { return row_of(i) + (i % (size_t(rgb.width()) * 4)); };
    const auto clipped = [&](size_t i) {
        const uchar* b = at(i);
        return b[0] == 255 || b[1] == 255 || b[2] == 255;
    };
    if (lane >= 0)
        return plane(
            rgb.width(), rgb.height(), [&](size_t i) { return double(at(i)[lane]); }, clipped);
    return plane(
        rgb.width(), rgb.height(),
        [&](size_t i) {
            const uchar* b = at(i);
            return (b[0] + b[1] + b[2]) / 3.0;
        },
        clipped);
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

    // The light's linear component, k = (a_K, b_K) / M_K of the background images: a property of
    // the illumination, smooth across the field, so taken over the 31 x 31 pixels around
    // (which leaves the background's own noise out of it). M_K, the background's mean, is
    // common to the four angles of a pixel and so drops out of |sin d| and phi.
    std::vector<double> level(n, 255), k_a(n, 0), k_b(n, 0);
    if (calibrated) {
        for (size_t i = 0; i < n; ++i) {
            const auto& k = in.background;
            const double m =
                (double(k[0].values[i]) + k[1].values[i] + k[2].values[i] + k[3].values[i]) / 4;
            level[i] = m;
            if (m <= 0) continue;
            k_a[i] = (double(k[2].values[i]) - k[0].values[i]) / 2 / m;
            k_b[i] = (double(k[3].values[i]) - k[1].values[i]) / 2 / m;
        }
        k_a = box_mean(k_a, maps.width, maps.height, 15);
        k_b = box_mean(k_b, maps.width, maps.height, 15);
    }
    const auto beyond = [&](size_t i) {
        return i < in.beyond_quarter_wave.size() && in.beyond_quarter_wave[i] != 0;
    };

    const double to_nm = in.wavelength_nm / (2 * std::numbers::pi);
    const double degrees = 180 / std::numbers::pi;
    for (size_t i = 0; i < n; ++i) {
        std::array<double, 4> j{}, divided{};
        bool clipped = false;
        for (size_t p = 0; p < 4; ++p) {
            const double f = in.forward[p].values[i], b = in.backward[p].values[i];
            clipped = clipped || f >= 254.5 || b >= 254.5 || flagged(in.forward[p], i) ||
                      flagged(in.backward[p], i) || (calibrated && flagged(in.background[p], i));
            const double k = calibrated ? in.background[p].values[i] : 255;
            // where the designed, divided angle image would clip
            clipped = clipped || (calibrated && k > 0 && (f + b) / 2 / k >= 255.0 / 200);
            j[p] = level[i] > 0 ? (f + b) / 2 / level[i] : nan;
            divided[p] = k > 0 ? (f + b) / 2 / k : nan;
        }
        const double m = (j[0] + j[1] + j[2] + j[3]) / 4;
        // the light behind the sample, in units of its mean: u = (a, b) / M
        const double u_a = (j[2] - j[0]) / 2 / m, u_b = (j[3] - j[1]) / 2 / m;
        // The sample turns the light's circular component into s3 sin d (sin 2 phi, cos 2 phi)
        // and its linear component k into B k, B the linear block of the retarder's Mueller
        // matrix in these coordinates:
        //   B = (1 + cos d) / 2 I + (1 - cos d) / 2 [[cos 4 phi, -sin 4 phi],
        //                                            [-sin 4 phi, -cos 4 phi]].
        // First d and phi from the angle images divided by the background images (which
        // takes B for I), then once more with B of that estimate.
        const double ka = k_a[i], kb = k_b[i];
        const double s3 = std::sqrt(std::max(0.0, 1 - ka * ka - kb * kb));
        const double d_a = (divided[2] - divided[0]) / 2, d_b = (divided[3] - divided[1]) / 2;
        const double d_m = (divided[0] + divided[1] + divided[2] + divided[3]) / 4;
        const double first_s = std::clamp(std::hypot(d_a, d_b) / d_m, 0.0, 1.0);
        const double first_phi = std::atan2(d_a, d_b) / 2;
        const double cos_d = (beyond(i) ? -1 : 1) * std::sqrt(1 - first_s * first_s);
        const double c4 = std::cos(4 * first_phi), s4 = std::sin(4 * first_phi);
        const double same = (1 + cos_d) / 2, turned = (1 - cos_d) / 2;
        const double bk_a = same * ka + turned * (c4 * ka - s4 * kb);
        const double bk_b = same * kb + turned * (-s4 * ka - c4 * kb);
        const double a = (u_a - bk_a) / s3 * m, b = (u_b - bk_b) / s3 * m;

        const double r = std::hypot(a, b);
        const double s = m > 0 ? r / m : nan;
        // the variance of a J_p: the angle image's alone, M_K being common to the four
        const double var_j = variance[i] / (level[i] * level[i]);
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
    TiffMessages messages;
    TIFF* t = TIFFOpenExt(partial.constData(), "w", messages.options);
    if (!t) return QStringLiteral("cannot write \"%1\": %2").arg(path, messages.error);
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
    // on the disk before it replaces an earlier file, which a crash must not leave cut short
    const int written = ok ? ::open(partial.constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (ok && (written < 0 || ::fsync(written) != 0 ||
               std::rename(partial.constData(), target.constData()) != 0)) {
        messages.error = QString::fromLocal8Bit(std::strerror(errno));
        ok = false;
    }
    if (written >= 0) ::close(written);
    if (!ok) {
        std::remove(partial.constData());
        return QStringLiteral("cannot write \"%1\": %2").arg(path, messages.error);
    }
    return {};
}

std::optional<QStringList> describe(const QString& path, QString* why) {
    auto refuse = [why](const QString& reason) {
        if (why) *why = reason;
        return std::nullopt;
    };
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(QStringLiteral("not a regular file"));
    }
    TiffMessages messages;
    TIFF* t = TIFFFdOpenExt(fd, name.constData(), "r", messages.options); // closes fd with it
    if (!t) {
        ::close(fd);
        return refuse(QStringLiteral("not a TIFF file (%1)").arg(messages.error));
    }
    uint32_t width = 0, height = 0;
    char* text = nullptr;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    const QString description = TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &text) == 1 && text
                                    ? QString::fromUtf8(text)
                                    : QString();
    int directories = 0;
    do ++directories;
    while (directories < 10000 && TIFFReadDirectory(t) == 1);
    TIFFClose(t);

    // what a file says is printed as plain lines: no control characters of its own
    const auto plain = [](QString said) {
        for (QChar& c : said)
            if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
        return said;
    };
    QStringList channels, values;
    QString pixel_size, pixel_unit, key;
    QXmlStreamReader xml(description);
    bool ome = false;
    QMap<QString, QString> units;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const auto a = xml.attributes();
        if (xml.name() == QLatin1String("OME")) ome = true;
        if (xml.name() == QLatin1String("Pixels")) {
            pixel_size = plain(a.value(QLatin1String("PhysicalSizeX")).toString());
            pixel_unit = plain(a.value(QLatin1String("PhysicalSizeXUnit")).toString());
        }
        if (xml.name() == QLatin1String("Channel"))
            channels << a.value(QLatin1String("Name")).toString();
        if (xml.name() == QLatin1String("M")) {
            key = plain(a.value(QLatin1String("K")).toString());
            const QString value = plain(xml.readElementText());
            if (key.startsWith(QLatin1String("unit of ")))
                units[key.mid(8)] = value;
            else if (key != QLatin1String("validity"))
                values << key + QStringLiteral(": ") + value;
        }
    }
    if (!ome || xml.hasError() || channels.isEmpty())
        return refuse(QStringLiteral("a TIFF file without the OME-XML of maps"));
    QStringList named;
    for (const QString& c : channels)
        named << (units.value(c, QStringLiteral("1")) == QLatin1String("1")
                      ? c
                      : QStringLiteral("%1 (%2)").arg(c, units.value(c)));
    QStringList lines;
    lines << QStringLiteral("maps: %1 x %2, %3 pages: %4")
                 .arg(width)
                 .arg(height)
                 .arg(directories)
                 .arg(named.join(QStringLiteral(", ")));
    lines << QStringLiteral("pixel size: %1")
                 .arg(pixel_size.isEmpty() ? QStringLiteral("not known")
                                           : pixel_size + QLatin1Char(' ') + pixel_unit);
    lines << values;
    return lines;
}

} // namespace precise_maps
