#include "frame_queue.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

namespace capture {

FrameQueue::FrameQueue(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

void FrameQueue::push(QImage frame) {
    std::lock_guard lock(mutex_);
    if (frames_.size() >= capacity_) {
        frames_.pop_front();
        ++dropped_;
    }
    frames_.push_back(std::move(frame));
    if (!posted_) post_delivery();
}

void FrameQueue::post_delivery() {
    auto* e = new QEvent(QEvent::User);
    posted_ = e;
    QCoreApplication::postEvent(this, e);
}

bool FrameQueue::event(QEvent* e) {
    bool ours = false;
    {
        std::lock_guard lock(mutex_);
        ours = e == posted_;
    }
    if (!ours) return QObject::event(e);
    deliver_one();
    return true;
}

void FrameQueue::discard() {
    std::lock_guard lock(mutex_);
    frames_.clear();
}

size_t FrameQueue::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

// One frame per event, so other events (timers, input) run between frames and a handler
// that processes events inside its call cannot take frames out of order.
void FrameQueue::deliver_one() {
    QImage frame;
    {
        std::lock_guard lock(mutex_);
        posted_ = nullptr;
        if (frames_.empty()) return;
        frame = std::move(frames_.front());
        frames_.pop_front();
        if (!frames_.empty()) post_delivery();
    }
    if (deliver) deliver(frame);
}

} // namespace capture
