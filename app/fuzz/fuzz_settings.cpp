// libFuzzer target: the settings file "vexolan.ini". Any text is read without reading
// outside it, and what the program writes of what it read reads back to the same file: a
// second read and write changes nothing (else each start would drift the operator's
// choices), and the file written stays a settings file of its bounded size.
#include "logic/settings_file.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(settings_file::max_size)) return -1;
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    settings_file::Settings first;
    settings_file::read(text, first);
    const QByteArray written = settings_file::write(first);

    settings_file::Settings second;
    const settings_file::Reading again = settings_file::read(written, second);
    if (again.stopped) std::abort();
    for (bool whole : again.read)
        if (!whole) std::abort();
    if (settings_file::write(second) != written) std::abort();
    if (written.size() > settings_file::max_size) std::abort();
    return 0;
}
