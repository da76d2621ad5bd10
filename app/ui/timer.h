// A timer with the window's timer semantics: enabling a running timer does not restart
// it, disabling stops it, and a new interval restarts a running timer. Its handler runs
// on the GUI thread each time the interval passes while it is enabled.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace ui {

class Timer : public QObject {
  public:
    Timer(int interval_ms, std::function<void()> handler, QObject* parent = nullptr);

    void setEnabled(bool enabled);
    bool enabled() const { return timer_.isActive(); }
    void setInterval(int interval_ms);
    int interval() const { return timer_.interval(); }
    // Milliseconds until the handler runs next; -1 while disabled.
    int remaining() const { return timer_.remainingTime(); }

  private:
    QTimer timer_;
    std::function<void()> handler_;
};

} // namespace ui
