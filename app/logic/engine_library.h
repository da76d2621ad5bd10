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
};

// Loads `first_path`, else `name` through the system's normal library search, calls its
// "Execute_Tarnwick" with `options` (an 8-bit text, the option string) and unloads the
// library again, whatever happened. Blocks for the whole run.
Run execute(const QString& first_path, const QString& name, const QByteArray& options);

// The operator's status text of a run: "Ready", "DLL not found", ...; empty for a result
// code the engine does not have.
QString status_text(const Run& run);

} // namespace engine_library
