#include "engine_library.h"

#include "tarnwick_contract.h"

#include <QFile>

#include <dlfcn.h>

namespace engine_library {

namespace {

using Entry = int32_t (*)(const char*);

// The library for the length of one run.
class Loaded {
  public:
    // The program folder's library when there is one, even when it cannot be loaded (an
    // engine found elsewhere might be another version); the system's search otherwise.
    Loaded(const QString& first_path, const QString& name) {
        const QString& which = QFile::exists(first_path) ? first_path : name;
        handle_ = dlopen(QFile::encodeName(which).constData(), RTLD_NOW | RTLD_LOCAL);
    }
    ~Loaded() {
        if (handle_) dlclose(handle_);
    }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    Entry entry() const { return reinterpret_cast<Entry>(dlsym(handle_, "Execute_Tarnwick")); }

  private:
    void* handle_ = nullptr;
};

} // namespace

Run execute(const QString& first_path, const QString& name, const QByteArray& options) {
    Run run;
    const Loaded library(first_path, name);
    if (!library.loaded()) return run;
    const Entry entry = library.entry();
    run.outcome = Outcome::no_function;
    if (!entry) return run;
    run.outcome = Outcome::called;
    run.code = entry(options.constData());
    return run;
}

QString status_text(const Run& run) {
    switch (run.outcome) {
    case Outcome::not_loaded:
        return QStringLiteral("DLL not found");
    case Outcome::no_function:
        return QStringLiteral("Function in DLL not found");
    case Outcome::called:
        break;
    }
    // the engine's own table: one text per code, empty for any other code
    return QString::fromLatin1(tarnwick_status_text(run.code));
}

} // namespace engine_library
