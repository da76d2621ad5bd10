#include "virtual_camera.h"

#include "property_page.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <chrono>

namespace capture {

VirtualCamera::VirtualCamera(std::shared_ptr<sim::Microscope> microscope, double frame_rate)
    : microscope_(std::move(microscope)), frame_rate_(frame_rate) {}

VirtualCamera::~VirtualCamera() {
    close();
}

void VirtualCamera::open(std::optional<QSize> size) {
    close();
    if (size)
        current_size_ =
            QSize(std::clamp(size->width(), 2, 3072), std::clamp(size->height(), 2, 3072));
    open_ = true;
}

void VirtualCamera::start(FrameSink sink) {
    if (!open_) throw Error("The virtual microscope's camera is not open.");
    stop();
    {
        std::lock_guard lock(mutex_);
        running_ = true;
    }
    const uint64_t seed = microscope_->next_noise_seed(); // each run its own noise
    thread_ = std::thread(
        [this, sink = std::move(sink), size = current_size_, seed] { film(sink, size, seed); });
}

void VirtualCamera::stop() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void VirtualCamera::close() {
    stop();
    open_ = false;
}

double VirtualCamera::frame_rate() const {
    std::lock_guard lock(mutex_);
    return frame_rate_;
}

void VirtualCamera::set_frame_rate(double frames_per_second) {
    {
        std::lock_guard lock(mutex_);
        frame_rate_ = std::clamp(frames_per_second, 0.1, 10000.0);
    }
    wake_.notify_all();
}

namespace {
// ThreadSanitizer does not see Qt's reference counts, by which an image comes back from the
// window to be filmed into again: built with it, the camera films each frame into an image
// of its own, and everything else it shares with the window is still checked.
#if defined(__SANITIZE_THREAD__)
constexpr bool reuse_images = false;
#else
constexpr bool reuse_images = true;
#endif
} // namespace

// The camera's thread: a frame of the microscope as it is now, then a wait for the next
// frame time. A thread that falls behind skips frames rather than catching up in a burst.
// It films into a few images in turn, each again once the window has let go of it.
void VirtualCamera::film(const FrameSink& sink, QSize size, uint64_t seed) {
    using clock = std::chrono::steady_clock;
    sim::Noise noise(seed);
    std::array<QImage, 6> images;
    auto next = clock::now();
    std::unique_lock lock(mutex_);
    while (running_) {
        lock.unlock();
        auto image = std::find_if(images.begin(), images.end(),
                                  [](const QImage& i) { return i.isNull() || i.isDetached(); });
        if (image == images.end()) image = images.begin(); // all held: a new one
        if (!reuse_images || image->isNull() || !image->isDetached())
            *image = QImage(size, QImage::Format_RGB32);
        microscope_->frame_into(*image, noise);
        sink(*image);
        lock.lock();
        const auto period = std::chrono::duration_cast<clock::duration>(
            std::chrono::duration<double>(1 / frame_rate_));
        next += period;
        if (next + period < clock::now()) next = clock::now();
        wake_.wait_until(lock, next, [this] { return !running_; });
    }
}

std::vector<Feature> VirtualCamera::features() {
    using sim::Microscope;
    std::shared_ptr<Microscope> m = microscope_;
    return {{QStringLiteral("Exposure time"), QStringLiteral("µs"), Microscope::min_exposure_us,
             Microscope::max_exposure_us, 1, m->exposure_us(),
             [m](double us) {
                 m->set_exposure_us(us);
                 return m->exposure_us();
             }},
            {QStringLiteral("Gain"), QStringLiteral("dB"), Microscope::min_gain_db,
             Microscope::max_gain_db, 0.1, m->gain_db(), [m](double db) {
                 m->set_gain_db(db);
                 return m->gain_db();
             }}};
}

DialogSet VirtualCamera::dialogs() {
    return features_and_format;
}

bool VirtualCamera::show_dialog(int kind) {
    if (kind == features_dialog) {
        auto* list = new QListWidget;
        list->setObjectName(QStringLiteral("sample"));
        for (const sim::SampleInfo& s : sim::samples()) {
            list->addItem(QString::fromStdString(s.name + ": " + s.description));
            if (s.name == microscope_->sample()) list->setCurrentRow(list->count() - 1);
        }
        // The descriptions wrap inside the list's width: read whole, never scrolled sideways.
        list->setWordWrap(true);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setResizeMode(QListView::Adjust);
        list->setMinimumWidth(560);
        auto* layout = new QVBoxLayout;
        layout->addWidget(new QLabel(QStringLiteral("Sample under the objective:")));
        layout->addWidget(list);
        auto* camera = new QFormLayout;
        for (Feature& f : features()) add_feature_row(camera, std::move(f));
        layout->addLayout(camera);
        QDialog dialog(QApplication::activeWindow());
        if (show_page(dialog, QStringLiteral("Virtual microscope: Features"), layout) &&
            list->currentRow() >= 0)
            microscope_->set_sample(sim::samples()[size_t(list->currentRow())].name);
        return true;
    }
    if (kind == format_dialog) {
        auto* sizes_box = new QComboBox;
        sizes_box->setObjectName(QStringLiteral("size"));
        for (QSize s : standard_sizes) sizes_box->addItem(size_text(s), s);
        if (sizes_box->findData(current_size_) < 0)
            sizes_box->addItem(size_text(current_size_), current_size_);
        sizes_box->setCurrentIndex(sizes_box->findData(current_size_));
        auto* rates_box = new QComboBox;
        rates_box->setObjectName(QStringLiteral("rate"));
        const double rate = frame_rate();
        for (double r : rates) rates_box->addItem(QString::number(r), r);
        if (rates_box->findData(rate) < 0) rates_box->addItem(QString::number(rate), rate);
        rates_box->setCurrentIndex(rates_box->findData(rate));
        auto* layout = new QFormLayout;
        layout->addRow(QStringLiteral("Frame size"), sizes_box);
        layout->addRow(QStringLiteral("Frames per second"), rates_box);
        QDialog dialog(QApplication::activeWindow());
        if (show_page(dialog, QStringLiteral("Virtual microscope: Format"), layout)) {
            const QSize chosen = sizes_box->currentData().toSize();
            set_frame_rate(rates_box->currentData().toDouble());
            if (chosen != current_size_) {
                close();
                current_size_ = chosen;
            }
        }
        return true;
    }
    return false;
}

} // namespace capture
