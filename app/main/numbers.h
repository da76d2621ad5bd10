// Numbers as the operator sees them: the shortest general form, up to 15 significant
// digits, trailing zeros dropped (0.25, 1.07, 383.25).
#pragma once

#include <QString>

#include <optional>

namespace numbers {

// With "." as decimal separator.
QString shortest(long double value);
// With the locale's decimal separator.
QString shortest_local(long double value);

// A decimal number with "." as separator: leading blanks, a sign and an exponent are
// allowed, and the whole text must be the number. Nothing for any other text.
std::optional<long double> parse_decimal(const QString& text);

}  // namespace numbers
