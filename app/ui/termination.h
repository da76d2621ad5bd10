// SIGTERM and SIGINT (a session's logout, Ctrl+C) close the window the orderly way,
// as the operator's close does: the polarizer goes home, the settings are written.
#pragma once

class QWidget;

namespace ui {

// Installs the handlers; a signal then closes `window` on the GUI thread. Only the window
// named last hears the signals.
void close_on_termination(QWidget* window);

} // namespace ui
