#include "application.h"

#include <cstdio>
#include <exception>

namespace ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    QString text;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("Unknown error");
    }
    if (dialogs_) dialogs_->error(text);
    else std::fprintf(stderr, "%s\n", qPrintable(text));
    return false;
}

}  // namespace ui
