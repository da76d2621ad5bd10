#include "record_row.h"

#include "numbers.h"

#include <cstdio>

namespace record_row {

namespace {

enum Column {
    optic,
    wavelength,
    objective,
    kind,
    one,
    zero_a,
    zero_b,
    sind_maximum,
    day,
    month,
    year,
    minute,
    hour,
    second,
    millisecond,
    zero_c
};

uint8_t low_byte(int32_t v) {
    return static_cast<uint8_t>(v & 0xff);
}

} // namespace

std::array<std::optional<uint8_t>, length> encode(const Record& r) {
    std::array<std::optional<uint8_t>, length> bytes;
    if (r.optic) bytes[optic] = low_byte(r.optic);
    bytes[wavelength] = low_byte(numbers::rounded(r.wavelength / 5.0L));
    if (r.objective) bytes[objective] = low_byte(r.objective);
    bytes[kind] = result_kinds::table[r.kind].record;
    bytes[one] = 1;
    bytes[zero_a] = bytes[zero_b] = bytes[zero_c] = 0;
    bytes[sind_maximum] = low_byte(numbers::rounded(255 * r.sind_maximum));
    bytes[day] = low_byte(r.day);
    bytes[month] = low_byte(r.month);
    bytes[year] = low_byte(r.year - 2000);
    bytes[minute] = low_byte(r.minute);
    bytes[hour] = low_byte(r.hour);
    bytes[second] = low_byte(r.second);
    bytes[millisecond] = low_byte(numbers::rounded(r.millisecond / 5.0L));
    return bytes;
}

Decoded decode(const std::array<uint8_t, length>& b) {
    Decoded d;
    if (b[one] != 1 || b[zero_a] != 0 || b[zero_b] != 0) {
        d.error = "no record row (its fixed bytes are not 1, 0, 0)";
        return d;
    }
    const std::optional<result_kinds::Kind> recorded = result_kinds::of_record(b[kind]);
    if (!recorded) {
        d.error = "the record row names no known kind of image (" + std::to_string(b[kind]) + ")";
        return d;
    }
    d.kind = *recorded;
    constexpr int steps = 20; // of the colour maximum: 0.05 each
    d.sind_maximum =
        numbers::rounded(b[sind_maximum] * steps / 255.0L) / static_cast<long double>(steps);
    return d;
}

Description describe(const std::array<uint8_t, length>& b) {
    Description d;
    const Decoded decoded = decode(b);
    if (!decoded.error.empty()) {
        d.error = decoded.error;
        return d;
    }
    const std::optional<result_kinds::Kind> recorded = decoded.kind;
    const char* optic_name = b[optic] == 100   ? "orthoscopic"
                             : b[optic] == 200 ? "conoscopic"
                                               : "none";
    const bool known_objective =
        b[objective] == 4 || b[objective] == 10 || b[objective] == 20 || b[objective] == 40;
    const std::string objective_name =
        known_objective ? std::to_string(b[objective]) + "x" : "none";
    char saved[64];
    std::snprintf(saved, sizeof saved, "%04d-%02d-%02d %02d:%02d:%02d", 2000 + b[year], b[month],
                  b[day], b[hour], b[minute], b[second]);
    d.lines = std::string("kind: ") + result_kinds::table[*recorded].name + "\n" +
              "optic: " + optic_name + "\n" + "wavelength: " + std::to_string(b[wavelength] * 5) +
              " nm\n" + "objective: " + objective_name + "\n" + "sin(d) colour maximum: " +
              numbers::shortest(b[sind_maximum] / 255.0L).toStdString() + "\n" + "saved: " + saved +
              "\n";
    return d;
}

} // namespace record_row
