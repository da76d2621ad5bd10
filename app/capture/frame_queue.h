// The road of frames from a camera's thread to the GUI thread. A camera thread pushes
// each frame; the GUI thread receives them one call each, in the order they were pushed,
// whenever it processes events. The queue holds a few frames only: when the GUI thread
// is busy and it is full, the oldest waiting frame is dropped, so a slow window sees the
// newest frames and memory never grows.
#pragma once

#include <QEvent>
#include <QImage>
#include <QObject>

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace capture {

class FrameQueue : public QObject {
  public:
    // Lives on the GUI thread; holds at most `capacity` frames.
    explicit FrameQueue(size_t capacity = 4);

    // Any thread. Adds a frame; when the queue is full, the oldest waiting frame goes.
    void push(QImage frame);
    // GUI thread. Drops the waiting frames; they are never delivered.
    void discard();
    // Frames dropped because the queue was full, since the queue was made.
    size_t dropped() const;

    // Receives every frame on the GUI thread.
    std::function<void(const QImage&)> deliver;

  protected:
    bool event(QEvent* e) override;

  private:
    void deliver_one();
    // Asks the GUI thread for one delivery; under the lock. The event carries nothing and
    // is known by its address: the frames go through the lock alone, which the camera
    // thread and the GUI thread share.
    void post_delivery();

    const size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<QImage> frames_;
    const QEvent* posted_ = nullptr; // the delivery on its way to the GUI thread
    size_t dropped_ = 0;
};

} // namespace capture
