#include "aravis_camera.h"

#include "genicam_pixels.h"
#include "property_page.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QLabel>

#include <arv.h>

#include <algorithm>
#include <cmath>

namespace capture {

namespace {

// Buffers handed to the stream: enough for a frame being converted while the next ones
// arrive.
constexpr int stream_buffers = 6;

// Aravis's reason, the error cleared; empty when there is none.
QString take(GError*& error) {
    if (!error) return {};
    const QString text = QString::fromUtf8(error->message);
    g_clear_error(&error);
    return text;
}

// The unit that the first of `names` present among the camera's features declares, or
// `otherwise`.
QString unit_of(ArvCamera* camera, std::initializer_list<const char*> names,
                const QString& otherwise) {
    ArvDevice* device = arv_camera_get_device(camera);
    for (const char* name : names) {
        ArvGcNode* node = arv_device_get_feature(device, name);
        if (!node) continue;
        if (ARV_IS_GC_FLOAT(node)) {
            const char* unit = arv_gc_float_get_unit(ARV_GC_FLOAT(node));
            if (unit && *unit) return QString::fromUtf8(unit);
        }
        return otherwise;
    }
    return otherwise;
}

bool has_feature(ArvCamera* camera, const char* name) {
    GError* error = nullptr;
    const bool has = arv_camera_is_feature_available(camera, name, &error);
    g_clear_error(&error);
    return has;
}

// The pixel formats the camera offers, by name and number.
std::vector<std::pair<QString, uint32_t>> offered_formats(ArvCamera* camera) {
    std::vector<std::pair<QString, uint32_t>> out;
    GError* error = nullptr;
    guint count = 0, named = 0;
    gint64* codes = arv_camera_dup_available_pixel_formats(camera, &count, &error);
    g_clear_error(&error);
    const char** names = arv_camera_dup_available_pixel_formats_as_strings(camera, &named, &error);
    g_clear_error(&error);
    for (guint i = 0; codes && names && i < std::min(count, named); ++i)
        out.emplace_back(QString::fromUtf8(names[i]), uint32_t(codes[i]));
    g_free(codes);
    g_free(names);
    return out;
}

// `value` within [minimum, maximum], on the steps of `increment` from `minimum`.
int on_steps(int value, int minimum, int maximum, int increment) {
    value = std::clamp(value, minimum, std::max(minimum, maximum));
    return increment > 1 ? value - (value - minimum) % increment : value;
}

} // namespace

QStringList genicam_cameras() {
    arv_update_device_list();
    QStringList names;
    for (unsigned i = 0; i < arv_get_n_devices(); ++i)
        if (const char* id = arv_get_device_id(i)) names << QString::fromUtf8(id);
    return names;
}

AravisCamera::AravisCamera(QString name) : name_(std::move(name)) {}

AravisCamera::~AravisCamera() {
    close();
}

void AravisCamera::fail(const QString& step, const QString& reason) const {
    throw Error(QStringLiteral("The camera \"%1\": %2%3")
                    .arg(name_, step, reason.isEmpty() ? QString() : QStringLiteral(": ") + reason)
                    .toStdString());
}

void AravisCamera::open(std::optional<QSize> size) {
    close();
    lost_ = false;
    GError* error = nullptr;
    camera_ = arv_camera_new(name_.toUtf8().constData(), &error);
    if (!camera_) fail(QStringLiteral("cannot open it"), take(error));
    try {
        g_signal_connect(arv_camera_get_device(camera_), "control-lost",
                         G_CALLBACK(on_control_lost), this);
        choose_pixel_format();
        const QSize want = size ? *size : chosen_size_;
        if (want.isValid()) choose_region(want);
        gint x = 0, y = 0, w = 0, h = 0;
        arv_camera_get_region(camera_, &x, &y, &w, &h, &error);
        if (error) fail(QStringLiteral("cannot read its frame size"), take(error));
        size_ = QSize(w, h);
        chosen_size_ = size_; // what the camera delivers is its current format now
        significant_bits_ = 0;
        if (has_feature(camera_, "PixelDynamicRangeMax")) {
            const gint64 top = arv_camera_get_integer(camera_, "PixelDynamicRangeMax", &error);
            g_clear_error(&error);
            if (top > 0) significant_bits_ = int(std::ceil(std::log2(double(top) + 1)));
        }
    } catch (...) {
        close();
        throw;
    }
}

void AravisCamera::choose_pixel_format() {
    GError* error = nullptr;
    QStringList readable;
    for (const auto& [name, code] : offered_formats(camera_))
        if (is_readable_pixel_format(code)) readable << name;
    if (readable.isEmpty()) {
        QStringList all;
        for (const auto& offered : offered_formats(camera_)) all << offered.first;
        fail(QStringLiteral("it offers no pixel format the program reads"),
             all.join(QStringLiteral(", ")));
    }
    QString format = chosen_format_;
    if (!readable.contains(format)) {
        const QString own = pixel_format();
        format = readable.contains(own) ? own : readable.front();
    }
    if (format != pixel_format()) {
        arv_camera_set_pixel_format_from_string(camera_, format.toUtf8().constData(), &error);
        if (error) fail(QStringLiteral("cannot set the pixel format ") + format, take(error));
    }
    chosen_format_ = format;
}

// The camera cannot scale: the size is a region of its sensor, centred, within the widths
// and heights it allows. The offsets go to 0 first, since a camera allows a width only as
// far as the sensor reaches from its offset.
void AravisCamera::choose_region(QSize size) {
    GError* error = nullptr;
    const bool offsets = arv_camera_is_region_offset_available(camera_, &error);
    g_clear_error(&error);
    if (offsets) {
        arv_camera_set_integer(camera_, "OffsetX", 0, &error);
        if (!error) arv_camera_set_integer(camera_, "OffsetY", 0, &error);
        if (error) fail(QStringLiteral("cannot move its region"), take(error));
    }
    gint min_w = 1, max_w = 1, min_h = 1, max_h = 1;
    arv_camera_get_width_bounds(camera_, &min_w, &max_w, &error);
    if (!error) arv_camera_get_height_bounds(camera_, &min_h, &max_h, &error);
    if (error) fail(QStringLiteral("cannot read its frame sizes"), take(error));
    const int w =
        on_steps(size.width(), min_w, max_w, arv_camera_get_width_increment(camera_, nullptr));
    const int h =
        on_steps(size.height(), min_h, max_h, arv_camera_get_height_increment(camera_, nullptr));
    arv_camera_set_integer(camera_, "Width", w, &error);
    if (!error) arv_camera_set_integer(camera_, "Height", h, &error);
    if (error) fail(QStringLiteral("cannot set the frame size"), take(error));
    if (!offsets) return;
    gint min_x = 0, max_x = 0, min_y = 0, max_y = 0;
    arv_camera_get_x_offset_bounds(camera_, &min_x, &max_x, &error);
    if (!error) arv_camera_get_y_offset_bounds(camera_, &min_y, &max_y, &error);
    if (error) fail(QStringLiteral("cannot read its region"), take(error));
    gint sensor_w = 0, sensor_h = 0;
    arv_camera_get_sensor_size(camera_, &sensor_w, &sensor_h, &error);
    g_clear_error(&error);
    // without a sensor size (an optional feature) the largest region at offset 0 is the sensor
    if (sensor_w <= 0) sensor_w = max_w;
    if (sensor_h <= 0) sensor_h = max_h;
    const int x = on_steps((sensor_w - w) / 2, min_x, max_x,
                           arv_camera_get_x_offset_increment(camera_, nullptr));
    const int y = on_steps((sensor_h - h) / 2, min_y, max_y,
                           arv_camera_get_y_offset_increment(camera_, nullptr));
    arv_camera_set_integer(camera_, "OffsetX", x, &error);
    if (!error) arv_camera_set_integer(camera_, "OffsetY", y, &error);
    if (error) fail(QStringLiteral("cannot move its region"), take(error));
}

QString AravisCamera::pixel_format() const {
    if (!camera_) return {};
    GError* error = nullptr;
    const char* name = arv_camera_get_pixel_format_as_string(camera_, &error);
    g_clear_error(&error);
    return name ? QString::fromUtf8(name) : QString();
}

QStringList AravisCamera::pixel_formats() const {
    QStringList readable;
    if (!camera_) return readable;
    for (const auto& [name, code] : offered_formats(camera_))
        if (is_readable_pixel_format(code)) readable << name;
    return readable;
}

void AravisCamera::start(FrameSink sink) {
    if (!camera_) throw Error("The camera \"" + name_.toStdString() + "\" is not open.");
    stop();
    sink_ = std::move(sink); // read by the stream thread only while the stream lives
    GError* error = nullptr;
    stream_ = arv_camera_create_stream(camera_, nullptr, nullptr, &error);
    if (!stream_) fail(QStringLiteral("cannot start streaming"), take(error));
    const guint payload = arv_camera_get_payload(camera_, &error);
    if (error) {
        const QString why = take(error);
        stop();
        fail(QStringLiteral("cannot tell its frame size"), why);
    }
    // a GigE Vision stream's socket grows its buffer to the frames, so a busy machine
    // loses fewer packets
    if (ARV_IS_GV_STREAM(stream_))
        g_object_set(stream_, "socket-buffer", ARV_GV_STREAM_SOCKET_BUFFER_AUTO,
                     "socket-buffer-size", 0, nullptr);
    for (int i = 0; i < stream_buffers; ++i)
        arv_stream_push_buffer(stream_, arv_buffer_new_allocate(payload));
    g_signal_connect(stream_, "new-buffer", G_CALLBACK(on_new_buffer), this);
    arv_stream_set_emit_signals(stream_, TRUE);
    arv_camera_set_acquisition_mode(camera_, ARV_ACQUISITION_MODE_CONTINUOUS, &error);
    if (!error) arv_camera_start_acquisition(camera_, &error);
    if (error) {
        const QString why = take(error);
        stop();
        fail(QStringLiteral("cannot start streaming"), why);
    }
}

// Aravis's stream thread, for each finished buffer: a complete frame goes to the sink, and
// the buffer back to the stream. Incomplete frames (packets lost, a camera gone) are left
// out.
void AravisCamera::on_new_buffer(ArvStream* stream, void* self) {
    auto* camera = static_cast<AravisCamera*>(self);
    ArvBuffer* buffer = arv_stream_try_pop_buffer(stream);
    if (!buffer) return;
    if (arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS) {
        size_t size = 0;
        const void* data = arv_buffer_get_image_data(buffer, &size);
        QImage frame = genicam_image(
            arv_buffer_get_image_pixel_format(buffer), arv_buffer_get_image_width(buffer),
            arv_buffer_get_image_height(buffer), data, size, camera->significant_bits_);
        if (!frame.isNull() && camera->sink_) camera->sink_(std::move(frame));
    }
    arv_stream_push_buffer(stream, buffer);
}

void AravisCamera::on_control_lost(void*, void* self) {
    static_cast<AravisCamera*>(self)->lost_ = true;
}

// Ending the stream joins its thread, so no frame reaches the sink afterwards. A camera
// that is gone is not asked to stop (which would wait for its answer in vain).
void AravisCamera::stop() {
    if (!stream_) return;
    if (!lost_) {
        GError* error = nullptr;
        arv_camera_stop_acquisition(camera_, &error);
        g_clear_error(&error);
    }
    arv_stream_set_emit_signals(stream_, FALSE);
    g_object_unref(stream_);
    stream_ = nullptr;
    sink_ = nullptr;
}

void AravisCamera::close() {
    stop();
    if (!camera_) return;
    g_object_unref(camera_);
    camera_ = nullptr;
}

namespace {

// A number of the camera that Aravis reads and sets by its standard features, and the
// automatic setting that overrides it.
struct CameraNumber {
    const char* name;
    gboolean (*available)(ArvCamera*, GError**);
    void (*bounds)(ArvCamera*, double*, double*, GError**);
    double (*get)(ArvCamera*, GError**);
    void (*set)(ArvCamera*, double, GError**);
    void (*automatic_off)(ArvCamera*);
};

const CameraNumber camera_numbers[] = {
    {"exposure time", arv_camera_is_exposure_time_available, arv_camera_get_exposure_time_bounds,
     arv_camera_get_exposure_time, arv_camera_set_exposure_time,
     [](ArvCamera* c) {
         if (arv_camera_is_exposure_auto_available(c, nullptr))
             arv_camera_set_exposure_time_auto(c, ARV_AUTO_OFF, nullptr);
     }},
    {"gain", arv_camera_is_gain_available, arv_camera_get_gain_bounds, arv_camera_get_gain,
     arv_camera_set_gain,
     [](ArvCamera* c) {
         if (arv_camera_is_gain_auto_available(c, nullptr))
             arv_camera_set_gain_auto(c, ARV_AUTO_OFF, nullptr);
     }},
    {"frame rate", arv_camera_is_frame_rate_available, arv_camera_get_frame_rate_bounds,
     arv_camera_get_frame_rate, arv_camera_set_frame_rate, nullptr},
};

} // namespace

std::vector<Feature> AravisCamera::features() {
    std::vector<Feature> out;
    if (!is_open()) return out;
    ArvCamera* c = camera_;
    // "Gain" is in dB by the standard; a raw gain is a whole number of the camera's own
    const bool decibels = has_feature(c, "Gain");
    const QString units[] = {
        unit_of(c, {"ExposureTime", "ExposureTimeAbs"}, QStringLiteral("µs")),
        decibels ? unit_of(c, {"Gain"}, QStringLiteral("dB")) : QString(),
        unit_of(c, {"AcquisitionFrameRate", "AcquisitionFrameRateAbs"}, QStringLiteral("Hz"))};
    for (size_t i = 0; i < std::size(camera_numbers); ++i) {
        const CameraNumber& n = camera_numbers[i];
        GError* error = nullptr;
        double minimum = 0, maximum = 0, value = 0;
        if (n.available(c, &error)) {
            n.bounds(c, &minimum, &maximum, &error);
            if (!error) value = n.get(c, &error);
        }
        if (error || maximum <= minimum) {
            g_clear_error(&error);
            continue;
        }
        QString name = QString::fromUtf8(n.name);
        name[0] = name[0].toUpper();
        // the camera as it is when the box changes: the dialog may outlive an opening
        auto set = [this, &n, minimum, maximum](double v) {
            ArvCamera* now_open = is_open() ? camera_ : nullptr;
            if (!now_open)
                fail(QStringLiteral("cannot set its ") + QString::fromUtf8(n.name),
                     QStringLiteral("it is not open"));
            GError* e = nullptr;
            if (n.automatic_off) n.automatic_off(now_open);
            n.set(now_open, std::clamp(v, minimum, maximum), &e);
            const double now = e ? 0 : n.get(now_open, &e);
            if (e) fail(QStringLiteral("cannot set its ") + QString::fromUtf8(n.name), take(e));
            return now;
        };
        const bool whole = i == 1 && !decibels;
        out.push_back({name, units[i], minimum, maximum, whole ? 1.0 : 0.0, value, set});
    }
    return out;
}

DialogSet AravisCamera::dialogs() {
    return features_and_format;
}

bool AravisCamera::show_dialog(int kind) {
    if (kind == features_dialog) return show_features();
    if (kind == format_dialog) return show_formats();
    return false;
}

bool AravisCamera::show_features() {
    QDialog dialog(QApplication::activeWindow());
    auto* form = new QFormLayout;
    for (Feature& f : features()) add_feature_row(form, std::move(f));
    if (form->rowCount() == 0)
        form->addRow(new QLabel(is_open() ? QStringLiteral("This camera has no exposure, gain or "
                                                           "frame rate to set.")
                                          : QStringLiteral("The camera is not open.")));
    show_page(dialog, name_ + QStringLiteral(": Features"), form, false);
    return true;
}

// The pixel formats it offers that the program reads, and the frame sizes: the program's
// own that fit its sensor, and the whole sensor. The camera is opened for the moment when
// it is closed; a choice that changes its format leaves it closed, to open with it next.
bool AravisCamera::show_formats() {
    const bool was_open = is_open();
    if (!was_open) open(std::nullopt);
    const QStringList formats = pixel_formats();
    const QString format = pixel_format();
    GError* error = nullptr;
    gint max_w = 0, max_h = 0, min_w = 1, min_h = 1;
    arv_camera_get_width_bounds(camera_, &min_w, &max_w, &error);
    if (!error) arv_camera_get_height_bounds(camera_, &min_h, &max_h, &error);
    g_clear_error(&error);
    // a camera that allows a width only as far as the sensor reaches from its offset bounds
    // the sizes by what lies beside the centred region: the whole sensor is what it offers
    gint x = 0, y = 0, region_w = 0, region_h = 0, sensor_w = 0, sensor_h = 0;
    arv_camera_get_region(camera_, &x, &y, &region_w, &region_h, &error);
    g_clear_error(&error);
    arv_camera_get_sensor_size(camera_, &sensor_w, &sensor_h, &error);
    g_clear_error(&error);
    if (sensor_w > 0 && max_w + x == sensor_w) max_w = sensor_w;
    if (sensor_h > 0 && max_h + y == sensor_h) max_h = sensor_h;
    const QSize current = size_;
    if (!was_open) close();

    QDialog dialog(QApplication::activeWindow());
    auto* format_box = new QComboBox;
    format_box->setObjectName(QStringLiteral("format"));
    format_box->addItems(formats);
    format_box->setCurrentIndex(std::max(0, int(formats.indexOf(format))));
    auto* size_box = new QComboBox;
    size_box->setObjectName(QStringLiteral("size"));
    auto add = [&](QSize s) {
        if (size_box->findData(s) >= 0) return;
        size_box->addItem(size_text(s), s);
    };
    for (QSize s : standard_sizes)
        if (s.width() <= max_w && s.height() <= max_h && s.width() >= min_w && s.height() >= min_h)
            add(s);
    add(QSize(max_w, max_h));
    add(current);
    size_box->setCurrentIndex(size_box->findData(current));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Pixel format"), format_box);
    form->addRow(QStringLiteral("Frame size"), size_box);
    if (!show_page(dialog, name_ + QStringLiteral(": Format"), form)) return true;
    const QString chosen_format = format_box->currentText();
    const QSize chosen_size = size_box->currentData().toSize();
    if (chosen_format != format || chosen_size != current) {
        close(); // it opens with the new format next
        chosen_format_ = chosen_format;
        chosen_size_ = chosen_size;
    }
    return true;
}

} // namespace capture
