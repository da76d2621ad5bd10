// Reading a file the program did not write itself (its settings file, a version file)
// without trusting it: it must be a regular file, it is read without ever blocking (a FIFO
// or a device in its place is refused at once), and it is read only up to a bound.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace regular_file {

// The whole content of the regular file at `path` when it holds at most `limit` bytes;
// nothing otherwise, with `why` (when given) saying what it is instead.
std::optional<QByteArray> read(const QString& path, qint64 limit, QString* why = nullptr);

} // namespace regular_file
