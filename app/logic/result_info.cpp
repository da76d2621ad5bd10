#include "result_info.h"

#include "bmp.h"
#include "precise_maps.h"
#include "record_row.h"

#include <string>

namespace result_info {

Row read_row(const std::string& path) {
    Row r;
    int32_t width = 0, height = 0;
    const auto check = [&](const bmp::Header& h) {
        width = h.width;
        height = h.height;
        return width == record_row::width && height == record_row::height ? bmp::Status::ok
                                                                          : bmp::Status::too_large;
    };
    const auto sink = [&](int32_t y, const uint8_t* bgrx) {
        if (y != record_row::row) return;
        for (int i = 0; i < record_row::length; ++i)
            r.bytes[static_cast<size_t>(i)] = bgrx[4 * (record_row::first_column + i) + 2];
    };
    const bmp::Status status = bmp::read_file(path, {}, sink, check);
    if (status == bmp::Status::too_large && width > 0)
        r.error = "not a saved result image (" + std::to_string(width) + " x " +
                  std::to_string(height) + " pixels, not " + std::to_string(record_row::width) +
                  " x " + std::to_string(record_row::height) + ")";
    else if (status != bmp::Status::ok)
        r.error = bmp::status_text(status);
    return r;
}

namespace {

// The record row of the file, or why it has none.
record_row::Description read_record(const char* path) {
    const Row row = read_row(path);
    if (!row.error.empty()) {
        record_row::Description d;
        d.error = row.error;
        return d;
    }
    return record_row::describe(row.bytes);
}

} // namespace

int print(int count, const char* const* files, std::FILE* out, std::FILE* err) {
    int result = 0;
    bool first = true;
    for (int i = 0; i < count; ++i) {
        const QString path = QString::fromLocal8Bit(files[i]);
        if (path.endsWith(QLatin1String(".tif"), Qt::CaseInsensitive) ||
            path.endsWith(QLatin1String(".tiff"), Qt::CaseInsensitive)) {
            QString why;
            const std::optional<QStringList> lines = precise_maps::describe(path, &why);
            if (!lines) {
                std::fprintf(err, "vexolan: %s: %s\n", files[i], why.toLocal8Bit().constData());
                result = 1;
                continue;
            }
            std::fprintf(out, "%sfile: %s\n%s\n", first ? "" : "\n", files[i],
                         lines->join(QLatin1Char('\n')).toUtf8().constData());
            first = false;
            continue;
        }
        const record_row::Description d = read_record(files[i]);
        if (!d.error.empty()) {
            std::fprintf(err, "vexolan: %s: %s\n", files[i], d.error.c_str());
            result = 1;
            continue;
        }
        std::fprintf(out, "%sfile: %s\n%s", first ? "" : "\n", files[i], d.lines.c_str());
        first = false;
    }
    return result;
}

} // namespace result_info
