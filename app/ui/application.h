// The application object. The layer's connections catch what handlers raise (see
// handlers.h); an exception that still reaches the event loop is shown in the standard
// error box the same way, and the program goes on.
#pragma once

#include <QApplication>

namespace ui {

class Application : public QApplication {
  public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace ui
