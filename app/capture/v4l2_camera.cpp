#include "v4l2_camera.h"

#include "property_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace capture {

namespace {

// The stream's frame buffers are mapped into memory; these describe one of them, and a
// request for `count` of them (0: give them all back) to the driver.
v4l2_buffer mapped_buffer(__u32 index = 0) {
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    b.index = index;
    return b;
}

v4l2_requestbuffers buffer_request(__u32 count) {
    v4l2_requestbuffers request{};
    request.count = count;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    return request;
}

int xioctl(int fd, unsigned long request, void* arg) {
    int r;
    do r = v4l2_ioctl(fd, request, arg);
    while (r == -1 && errno == EINTR);
    return r;
}

QString text_of(const __u8* chars, size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(chars),
                             qsizetype(strnlen(reinterpret_cast<const char*>(chars), size)))
        .trimmed();
}

// The card name of a node that captures video by streaming; empty for any other node.
QString capture_card(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    v4l2_capability cap{};
    const bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    ::close(fd);
    if (!ok) return {};
    const __u32 caps = cap.capabilities & V4L2_CAP_DEVICE_CAPS ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) return {};
    return text_of(cap.card, sizeof cap.card);
}

// Closes a node that a dialog opened for itself.
struct NodeGuard {
    int fd;
    bool own;
    ~NodeGuard() {
        if (own) v4l2_close(fd);
    }
};

// The controls that the Features dialog shows as the camera's exposure and gain, with the
// name and unit shown and the factor from the driver's value to the shown one.
// Each with the automatic control that overrides it (most UVC cameras start with automatic
// exposure, which ignores a set exposure time) and that control's manual value.
struct KnownControl {
    __u32 id;
    const char* name;
    const char* unit;
    double scale;
    __u32 automatic;
    __s32 manual;
};
constexpr KnownControl exposure_and_gain[] = {
    {V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure time", "µs", 100, V4L2_CID_EXPOSURE_AUTO,
     V4L2_EXPOSURE_MANUAL},
    {V4L2_CID_EXPOSURE, "Exposure", "", 1, V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
    {V4L2_CID_GAIN, "Gain", "", 1, V4L2_CID_AUTOGAIN, 0},
    {V4L2_CID_ANALOGUE_GAIN, "Analogue gain", "", 1, V4L2_CID_AUTOGAIN, 0},
};

bool is_exposure_or_gain(__u32 id) {
    return std::any_of(std::begin(exposure_and_gain), std::end(exposure_and_gain),
                       [id](const KnownControl& k) { return k.id == id; });
}

} // namespace

std::vector<V4l2Node> v4l2_cameras(const QString& folder) {
    QDir dir(folder);
    std::vector<std::pair<int, QString>> numbered;
    for (const QString& entry :
         dir.entryList({QStringLiteral("video*")}, QDir::AllEntries | QDir::System)) {
        bool ok = false;
        const int n = entry.mid(5).toInt(&ok);
        if (ok) numbered.emplace_back(n, entry);
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<V4l2Node> nodes;
    for (const auto& [n, entry] : numbered) {
        const QString path = dir.filePath(entry);
        QString name = capture_card(path);
        if (name.isEmpty()) continue;
        if (std::any_of(nodes.begin(), nodes.end(),
                        [&](const V4l2Node& o) { return o.name == name; }))
            name += QStringLiteral(" (%1)").arg(entry);
        nodes.push_back({name, path});
    }
    return nodes;
}

V4l2Camera::V4l2Camera(V4l2Node node) : node_(std::move(node)) {}

void V4l2Camera::fail(const QString& step, int error) const {
    throw Error(QStringLiteral("The camera \"%1\" (%2): %3: %4")
                    .arg(node_.name, node_.path, step, QString::fromLocal8Bit(std::strerror(error)))
                    .toStdString());
}

int V4l2Camera::open_node() const {
    const int fd =
        v4l2_open(QFile::encodeName(node_.path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fail(QStringLiteral("cannot open it"), errno);
    return fd;
}

void V4l2Camera::open(std::optional<QSize> size) {
    close();
    fd_ = open_node();
    try {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd_, VIDIOC_G_FMT, &format) < 0)
            fail(QStringLiteral("cannot read its format"), errno);
        QSize want(int(format.fmt.pix.width), int(format.fmt.pix.height));
        if (size)
            want = *size;
        else if (chosen_size_.isValid())
            want = chosen_size_;
        format.fmt.pix.width = __u32(want.width());
        format.fmt.pix.height = __u32(want.height());
        format.fmt.pix.pixelformat = V4L2_PIX_FMT_RGB24; // libv4l2 converts to it
        format.fmt.pix.field = V4L2_FIELD_ANY;
        format.fmt.pix.bytesperline = 0;
        format.fmt.pix.sizeimage = 0;
        if (xioctl(fd_, VIDIOC_S_FMT, &format) < 0)
            fail(QStringLiteral("cannot set the format"), errno);
        if (format.fmt.pix.pixelformat != V4L2_PIX_FMT_RGB24)
            fail(QStringLiteral("no RGB frames"), EINVAL);
        size_ = QSize(int(format.fmt.pix.width), int(format.fmt.pix.height));
        bytes_per_line_ = std::max(int(format.fmt.pix.bytesperline), size_.width() * 3);
        chosen_size_ = size_; // what the camera delivers is its current format now

        v4l2_streamparm rate{};
        rate.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd_, VIDIOC_G_PARM, &rate) == 0 &&
            (rate.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
            rate.parm.capture.timeperframe = {1, 30};
            xioctl(fd_, VIDIOC_S_PARM, &rate); // a camera that keeps its own rate is fine
        }

        v4l2_requestbuffers request = buffer_request(4);
        if (xioctl(fd_, VIDIOC_REQBUFS, &request) < 0)
            fail(QStringLiteral("no frame buffers"), errno);
        if (request.count < 2) fail(QStringLiteral("too few frame buffers"), ENOMEM);
        for (__u32 i = 0; i < request.count; ++i) {
            v4l2_buffer b = mapped_buffer(i);
            if (xioctl(fd_, VIDIOC_QUERYBUF, &b) < 0)
                fail(QStringLiteral("no frame buffer"), errno);
            void* start =
                v4l2_mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, b.m.offset);
            if (start == MAP_FAILED) fail(QStringLiteral("cannot map a frame buffer"), errno);
            buffers_.push_back({start, b.length});
        }
    } catch (...) {
        close();
        throw;
    }
}

void V4l2Camera::start(FrameSink sink) {
    if (fd_ < 0) throw Error("The camera \"" + node_.name.toStdString() + "\" is not open.");
    stop();
    // every start hands all buffers to the driver: stopping the stream took them all back
    for (__u32 i = 0; i < buffers_.size(); ++i) {
        v4l2_buffer b = mapped_buffer(i);
        if (xioctl(fd_, VIDIOC_QBUF, &b) < 0)
            fail(QStringLiteral("cannot queue a frame buffer"), errno);
    }
    if (wake_[0] < 0 && ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        fail(QStringLiteral("cannot start its reader"), errno);
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd_, VIDIOC_STREAMON, &type) < 0)
        fail(QStringLiteral("cannot start streaming"), errno);
    running_ = true;
    thread_ = std::thread([this, sink = std::move(sink)] { read_frames(sink); });
}

// The camera's thread: waits for each filled buffer, copies it into a frame and hands the
// buffer back. A camera that fails (unplugged) ends the thread; the frames stop. stop()
// wakes it through the pipe.
void V4l2Camera::read_frames(const FrameSink& sink) {
    const size_t row_bytes = size_t(size_.width()) * 3;
    const size_t needed = size_t(bytes_per_line_) * size_t(size_.height() - 1) + row_bytes;
    while (running_) {
        pollfd ready[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = ::poll(ready, 2, -1);
        if (r < 0 && errno != EINTR) return;
        if (r <= 0 || !running_) continue;
        if (ready[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return; // the stream has ended
        if (!(ready[0].revents & POLLIN)) continue;
        v4l2_buffer b = mapped_buffer();
        if (xioctl(fd_, VIDIOC_DQBUF, &b) < 0) {
            if (errno == EAGAIN) continue;
            return;
        }
        QImage frame;
        if (b.index < buffers_.size() && b.bytesused >= needed &&
            buffers_[b.index].length >= needed) {
            // RGB24 as libv4l2 delivers it, copied out of the buffer as 32-bit pixels
            frame = QImage(static_cast<const uchar*>(buffers_[b.index].start), size_.width(),
                           size_.height(), bytes_per_line_, QImage::Format_RGB888)
                        .convertToFormat(QImage::Format_RGB32);
        }
        if (xioctl(fd_, VIDIOC_QBUF, &b) < 0) return;
        if (!frame.isNull()) sink(std::move(frame));
    }
}

void V4l2Camera::stop() {
    if (!thread_.joinable()) return;
    running_ = false;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    thread_.join();
    char drain[16];
    while (::read(wake_[0], drain, sizeof drain) > 0) {
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    xioctl(fd_, VIDIOC_STREAMOFF, &type);
}

void V4l2Camera::close() {
    stop();
    if (fd_ < 0) return;
    for (const Buffer& b : buffers_) v4l2_munmap(b.start, b.length);
    buffers_.clear();
    v4l2_requestbuffers none = buffer_request(0);
    xioctl(fd_, VIDIOC_REQBUFS, &none);
    v4l2_close(fd_);
    fd_ = -1;
}

V4l2Camera::~V4l2Camera() {
    close();
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

DialogSet V4l2Camera::dialogs() {
    return features_and_format;
}

std::vector<Feature> V4l2Camera::features() {
    const NodeGuard node{fd_ >= 0 ? fd_ : open_node(), fd_ < 0};
    return features_of(node.fd);
}

std::vector<Feature> V4l2Camera::features_of(int fd) {
    std::vector<Feature> out;
    for (const KnownControl& k : exposure_and_gain) {
        v4l2_queryctrl query{};
        query.id = k.id;
        if (xioctl(fd, VIDIOC_QUERYCTRL, &query) < 0 || query.type != V4L2_CTRL_TYPE_INTEGER ||
            (query.flags & V4L2_CTRL_FLAG_DISABLED))
            continue;
        v4l2_control now{k.id, 0};
        if (xioctl(fd, VIDIOC_G_CTRL, &now) < 0) continue;
        const double scale = k.scale;
        auto set = [this, id = k.id, scale, automatic = k.automatic,
                    manual = k.manual](double value) {
            const NodeGuard node{fd_ >= 0 ? fd_ : open_node(), fd_ < 0};
            // the automatic one off first, where the camera has it
            v4l2_control off{automatic, manual};
            xioctl(node.fd, VIDIOC_S_CTRL, &off);
            v4l2_control c{id, static_cast<__s32>(std::lround(value / scale))};
            if (xioctl(node.fd, VIDIOC_S_CTRL, &c) < 0 && errno != ERANGE && errno != EINVAL)
                fail(QStringLiteral("cannot set a control"), errno);
            // the value the driver kept: a refused one leaves its own
            if (xioctl(node.fd, VIDIOC_G_CTRL, &c) < 0)
                fail(QStringLiteral("cannot read a control"), errno);
            return c.value * scale;
        };
        out.push_back({QString::fromUtf8(k.name), QString::fromUtf8(k.unit), query.minimum * scale,
                       query.maximum * scale, std::max(1, query.step) * scale, now.value * scale,
                       set});
    }
    return out;
}

bool V4l2Camera::show_dialog(int kind) {
    if (kind != features_dialog && kind != format_dialog) return false;
    const NodeGuard node{fd_ >= 0 ? fd_ : open_node(), fd_ < 0};
    return kind == features_dialog ? show_controls(node.fd) : show_formats(node.fd);
}

// The camera's controls, each changed on the camera as the operator moves it.
bool V4l2Camera::show_controls(int fd) {
    QDialog dialog(QApplication::activeWindow());
    auto* form = new QFormLayout;
    for (Feature& f : features_of(fd)) add_feature_row(form, std::move(f));
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    for (; xioctl(fd, VIDIOC_QUERYCTRL, &query) == 0; query.id |= V4L2_CTRL_FLAG_NEXT_CTRL) {
        if ((query.flags & V4L2_CTRL_FLAG_DISABLED) || is_exposure_or_gain(query.id)) continue;
        const __u32 id = query.id;
        v4l2_control now{id, 0};
        xioctl(fd, VIDIOC_G_CTRL, &now);
        auto set = [fd, id](int value) {
            v4l2_control c{id, value};
            xioctl(fd, VIDIOC_S_CTRL, &c); // a value the camera refuses leaves it as it was
        };
        QWidget* control = nullptr;
        if (query.type == V4L2_CTRL_TYPE_INTEGER) {
            auto* slider = new QSlider(Qt::Horizontal);
            slider->setRange(query.minimum, query.maximum);
            slider->setSingleStep(std::max(1, query.step));
            slider->setValue(now.value);
            QObject::connect(slider, &QSlider::valueChanged, &dialog, set);
            control = slider;
        } else if (query.type == V4L2_CTRL_TYPE_BOOLEAN) {
            auto* box = new QCheckBox;
            box->setChecked(now.value != 0);
            QObject::connect(box, &QCheckBox::toggled, &dialog,
                             [set](bool on) { set(on ? 1 : 0); });
            control = box;
        } else if (query.type == V4L2_CTRL_TYPE_MENU || query.type == V4L2_CTRL_TYPE_INTEGER_MENU) {
            auto* menu = new QComboBox;
            for (int i = query.minimum; i <= query.maximum; ++i) {
                v4l2_querymenu item{};
                item.id = id;
                item.index = __u32(i);
                if (xioctl(fd, VIDIOC_QUERYMENU, &item) < 0) continue;
                menu->addItem(query.type == V4L2_CTRL_TYPE_MENU
                                  ? text_of(item.name, sizeof item.name)
                                  : QString::number(item.value),
                              i);
                if (i == now.value) menu->setCurrentIndex(menu->count() - 1);
            }
            QObject::connect(menu, &QComboBox::activated, &dialog,
                             [menu, set](int at) { set(menu->itemData(at).toInt()); });
            control = menu;
        } else if (query.type == V4L2_CTRL_TYPE_BUTTON) {
            auto* button = new QPushButton(QStringLiteral("Do"));
            QObject::connect(button, &QPushButton::clicked, &dialog, [set] { set(0); });
            control = button;
        }
        if (!control) continue;
        control->setEnabled(!(query.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_INACTIVE |
                                             V4L2_CTRL_FLAG_GRABBED)));
        form->addRow(text_of(query.name, sizeof query.name), control);
    }
    if (form->rowCount() == 0)
        form->addRow(new QLabel(QStringLiteral("This camera has no controls.")));
    show_page(dialog, node_.name + QStringLiteral(": Features"), form, false);
    return true;
}

// The frame sizes the camera offers in any of its formats; the one chosen becomes its
// current size. Which of its formats carries the frames is libv4l2's choice, so a size
// is listed once.
bool V4l2Camera::show_formats(int fd) {
    QDialog dialog(QApplication::activeWindow());
    auto* choice = new QComboBox;
    auto add = [&](QSize s) {
        if (choice->findData(s) >= 0) return;
        choice->addItem(size_text(s), s);
        if (s == chosen_size_) choice->setCurrentIndex(choice->count() - 1);
    };
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (; xioctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
        v4l2_frmsizeenum size{};
        size.pixel_format = format.pixelformat;
        for (; xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                add(QSize(int(size.discrete.width), int(size.discrete.height)));
                continue;
            }
            // a range: its ends and the program's own sizes that lie within it
            const auto& r = size.stepwise;
            add(QSize(int(r.min_width), int(r.min_height)));
            for (QSize s : standard_sizes)
                if (__u32(s.width()) > r.min_width && __u32(s.width()) < r.max_width &&
                    __u32(s.height()) > r.min_height && __u32(s.height()) < r.max_height)
                    add(s);
            add(QSize(int(r.max_width), int(r.max_height)));
            break;
        }
    }
    auto* form = new QFormLayout;
    if (choice->count() > 0)
        form->addRow(QStringLiteral("Frame size"), choice);
    else
        form->addRow(new QLabel(QStringLiteral("The camera lists no formats.")));
    if (show_page(dialog, node_.name + QStringLiteral(": Format"), form) && choice->count() > 0) {
        const QSize chosen = choice->currentData().toSize();
        if (chosen != chosen_size_) {
            close(); // it opens with the new format next
            chosen_size_ = chosen;
        }
    }
    return true;
}

} // namespace capture
