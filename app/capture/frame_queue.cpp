#include "frame_queue.h"

#include <QMetaObject>

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
    if (posted_) return;
    posted_ = true;
    QMetaObject::invokeMethod(
        this, [this] { deliver_one(); }, Qt::QueuedConnection);
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
        if (frames_.empty()) {
            posted_ = false;
            return;
        }
        frame = std::move(frames_.front());
        frames_.pop_front();
        if (frames_.empty())
            posted_ = false;
        else
            QMetaObject::invokeMethod(
                this, [this] { deliver_one(); }, Qt::QueuedConnection);
    }
    if (deliver) deliver(frame);
}

} // namespace capture
