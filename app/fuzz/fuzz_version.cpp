// libFuzzer target: the update server's "version.txt". Any text is read or refused with
// the parser's own error, within the text; the notes are made of the lines after the
// size line alone.
#include "logic/version_file.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // the update check reads at most 64 kB of the file
    if (size > 64 * 1024) return -1;
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const version_file::VersionFile v = version_file::parse(text);
        // each note line is one carriage return and a line of the text
        if (!v.notes.startsWith(QLatin1Char('\r'))) std::abort();
        if (v.notes.size() > text.size() + v.notes.count(QLatin1Char('\r'))) std::abort();
    } catch (const std::runtime_error&) {
        // a text that ends early or holds a word where a number belongs
    }
    return 0;
}
