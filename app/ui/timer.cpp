#include "timer.h"

#include "handlers.h"

namespace ui {

Timer::Timer(int interval_ms, std::function<void()> handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    timer_.setInterval(interval_ms);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { run_handler(handler_); });
}

void Timer::setEnabled(bool enabled) {
    if (enabled && !timer_.isActive()) timer_.start();
    if (!enabled) timer_.stop();
}

void Timer::setInterval(int interval_ms) {
    // QTimer restarts a running timer when its interval is set.
    timer_.setInterval(interval_ms);
}

} // namespace ui
