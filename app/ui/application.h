// The application object. An exception that reaches the event loop from a handler is
// shown in the standard error box with its own text, and the program goes on: the
// exception ends the handler the event loop called, and any handler code called directly.
#pragma once

#include "dialogs.h"

#include <QApplication>

namespace ui {

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    void set_dialogs(Dialogs* dialogs) { dialogs_ = dialogs; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    Dialogs* dialogs_ = nullptr;
};

}  // namespace ui
