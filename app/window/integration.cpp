// Frame integration: the frame callback with the live previews, the integration of a
// number of frames into one image, and the two combinations of the backward pass.
#include "form.h"
#include "ui/wait.h"

#include <stdexcept>

namespace {

constexpr int measure_page = 1, setup_page = 2;
// A camera silent this long has stopped: the integration ends with an error.
constexpr int frame_wait_limit_ms = 5000;

} // namespace

// Each camera frame becomes the preview; the Set-up page's thumbnail or the Measure page's
// live picture shows it too while that page is open.
void TForm1::VLGenericFilter1ProcessData(const QImage& frame) {
    Image0->set_picture(frame);
    integration.new_frame = true;
    if (PageControl1->currentIndex() == setup_page)
        Image4->set_picture(Image0->picture());
    else if (PageControl1->currentIndex() == measure_page)
        Image5->set_picture(Image0->picture());
}

// One frame of an integration: started by the sequence with the frame counter at 0, it
// takes a frame that arrived since the last one, adds it up, and after count + 1 frames
// puts their rounded mean into the preview and the integrated image and sets the
// sequence's target state. When no frame comes for 5 s it stops with "No camera frames",
// its timer off, and the sequence ends.
void TForm1::Timer6Timer() {
    Timer6->setEnabled(false);
    Timer6->setInterval(1);
    const bool framed = ui::wait_until(
        [this] { return integration.new_frame || integration.window_closed; }, frame_wait_limit_ms);
    if (integration.window_closed) return;
    if (!framed) {
        Label13->set_caption(QStringLiteral("No camera frames")); // not the step it stopped in
        throw std::runtime_error("No camera frames");
    }
    integration.new_frame = false;
    if (integration.settling > 0) {
        --integration.settling;
        Timer6->setEnabled(true);
        return;
    }
    QImage frame = Image0->picture();
    ui::process_messages();
    BmpToArray1(frame);
    // the sums take the size of the frame; a frame of another size than the ones before
    // it starts the integration afresh, so an integration never mixes sizes
    if (integration.frame_counter == 0 || frame.size() != integration.sums.size()) {
        integration.sums.store(frame);
        integration.frame_counter = 0;
    } else {
        integration.sums.add(frame);
    }
    ++integration.frame_counter;
    if (integration.frame_counter <= integration.count) {
        Timer6->setEnabled(true);
        return;
    }
    QImage mean = integration.sums.mean(integration.frame_counter);
    BmpToArray1(mean);
    integration.frames = integration.frame_counter;
    integration.frame_counter = 0;
    integration.new_frame = true; // the next integration starts with the preview as it is
    ui::process_messages();
    integration.integrated = mean;
    Image0->set_picture(mean);
    ui::process_messages();
    sequence.state = sequence.target_state;
}

void TForm1::IntegrationsChange() {
    integration.count = Integrations->value();
}

void TForm1::BmpToArray1(QImage& bitmap) {
    if (bitmap.format() != QImage::Format_RGB32)
        bitmap = bitmap.convertToFormat(QImage::Format_RGB32);
}

// The colour rule of the combinations: all channels while background images are
// collected, else what the chosen channel keeps (all of them for "monochrome"); with no
// channel chosen the pixels stay as they are.
frames::Channels TForm1::combination_channels() const {
    if (sequence.collecting_background) return frames::Channels::all;
    const std::optional<size_t> checked = checked_channel();
    return checked ? colour_channels::table[*checked].kept : frames::Channels::none;
}

bool TForm1::average(QImage& p, const QImage& q) {
    frames::mean_into(p, q, combination_channels());
    return true;
}

bool TForm1::normalize_and_average(QImage& p, const QImage& q, const QImage& r) {
    frames::normalized_mean_into(p, q, r, combination_channels());
    return true;
}
