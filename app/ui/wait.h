// Waiting on the GUI thread. A wait processes pending events until its condition holds,
// sleeping on the event queue between them, so handlers, timers and device events run
// inside it and an idle wait costs no processor time. A pause blocks the thread.
#pragma once

#include <functional>

namespace ui {

// Runs the events that are pending now, once.
void process_messages();

// Processes events until `done` returns true, checking it at least every `poll_ms`.
// Returns false when `timeout_ms` (if not negative) passed first.
bool wait_until(const std::function<bool()>& done, int timeout_ms = -1, int poll_ms = 10);

// Blocks the GUI thread for `ms` milliseconds without processing events.
void pause(int ms);

} // namespace ui
