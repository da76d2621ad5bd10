#include "numbers.h"

#include <QLocale>

#include <charconv>
#include <cmath>

namespace numbers {

long double rounded_decimals(long double value, int decimals) {
    const long double scale = std::pow(10.0L, decimals);
    char buf[64];
    const auto written =
        std::to_chars(buf, buf + sizeof buf, value * scale, std::chars_format::general, 15);
    long double decimal = value * scale;
    std::from_chars(buf, written.ptr, decimal, std::chars_format::general);
    return tarnwick::round_half_even(decimal) / scale;
}

QString shortest(long double value) {
    // to_chars ignores the C locale, which the application object sets from the
    // environment (printf would write "0,25" under a German locale)
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return QString::fromLatin1(buf, static_cast<qsizetype>(result.ptr - buf));
}

QString shortest_local(long double value) {
    QString out = shortest(value);
    out.replace(QLatin1Char('.'), QLocale().decimalPoint());
    return out;
}

std::optional<long double> parse_decimal(const QString& text) {
    const QByteArray t = text.toLatin1();
    qsizetype i = 0;
    while (i < t.size() && t[i] == ' ') ++i;
    const bool negative = i < t.size() && t[i] == '-';
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    const char* first = t.constData() + i;
    const char* last = t.constData() + t.size();
    if (first == last || !((*first >= '0' && *first <= '9') || *first == '.')) return std::nullopt;
    long double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc{} || end != last) return std::nullopt;
    return negative ? -value : value;
}

} // namespace numbers
