#include "application.h"

#include "handlers.h"

namespace ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        show_error(std::current_exception());
    }
    return false;
}

} // namespace ui
