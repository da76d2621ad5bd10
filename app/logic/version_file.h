// "version.txt" on the update server: line 1 free text, line 2 the newest version ("." as
// decimal separator), line 3 the installer's size in bytes, and the notes for the
// operator, at least one line.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace version_file {

inline constexpr const char* name = "version.txt";

struct VersionFile {
    long double version = 0;
    int32_t installer_size = 0;
    QString notes; // each line after a carriage return
};

// The file's content. Raises std::runtime_error for a text that ends before its size line
// or holds a word where a number belongs.
VersionFile parse(const QByteArray& text);

} // namespace version_file
