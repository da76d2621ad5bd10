#include "wait.h"

#include "handlers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace ui {

void process_messages() {
    EventLoopScope scope;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool wait_until(const std::function<bool()>& done, int timeout_ms, int poll_ms) {
    EventLoopScope scope;
    QElapsedTimer clock;
    clock.start();
    QTimer wake; // the wake-up that lets the loop look at `done` again
    wake.start(poll_ms);
    while (!done()) {
        if (timeout_ms >= 0 && clock.elapsed() >= timeout_ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void pause(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

} // namespace ui
