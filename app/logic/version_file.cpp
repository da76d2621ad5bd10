#include "version_file.h"

#include "text_file.h"

#include <stdexcept>

namespace version_file {

VersionFile parse(const QByteArray& text) {
    text_file::Reader in(text);
    auto more = [&] {
        if (in.eof()) throw std::runtime_error("The version file ends early.");
    };
    VersionFile v;
    more();
    in.line();
    more();
    v.version = in.real();
    in.next_line();
    more();
    v.installer_size = in.integer();
    in.next_line();
    do v.notes += QLatin1Char('\r') + in.line();
    while (!in.eof());
    return v;
}

} // namespace version_file
