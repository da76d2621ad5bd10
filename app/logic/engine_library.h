// One analysis by the engine library, loaded for this run alone: the program holds no
// handle to it between runs, so every run starts from a freshly loaded engine.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace engine_library {

enum class Outcome {
    not_loaded,  // no library file could be loaded
    no_function, // the library has no "Execute_Tarnwick"
    called,      // the engine ran and returned `code`
};

struct Run {
    Outcome outcome = Outcome::not_loaded;
    int32_t code = -1;
    // Why the program folder's library was not loaded when the file is there but cannot be
    // a whole library (a FIFO, a file cut short): "PATH: what is wrong". Empty otherwise.
    QString problem;
};

// Loads `first_path`, else `name` through the system's normal library search, calls its
// "Execute_Tarnwick" with `options` (an 8-bit text, the option string) and unloads the
// library again, whatever happened. Blocks for the whole run. A file at `first_path` that
// is no regular file, or ends before what its headers say it holds (loading it would crash
// the program), is not loaded.
Run execute(const QString& first_path, const QString& name, const QByteArray& options);

// The operator's status text of a run: "Ready", "DLL not found", ...; empty for a result
// code the engine does not have.
QString status_text(const Run& run);

} // namespace engine_library
