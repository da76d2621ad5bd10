// Numbers as the operator sees them: the shortest general form, up to 15 significant
// digits, trailing zeros dropped (0.25, 1.07, 383.25).
#pragma once

#include "tarnwick_contract.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace numbers {

// Every conversion of a real value to an integer in the program: to the nearest integer,
// ties to the even one (2.5 gives 2, 3.5 gives 4).
inline int32_t rounded(long double value) {
    return static_cast<int32_t>(tarnwick::round_half_even(value));
}

// `value` rounded to `decimals` places, ties to the even digit. A tie is judged on the
// value's decimal form of 15 significant digits, as the operator reads it: 0.025 rounds
// to 0.02 whichever side of it its binary value lies.
long double rounded_decimals(long double value, int decimals);

// With "." as decimal separator.
QString shortest(long double value);
// With the locale's decimal separator.
QString shortest_local(long double value);

// A decimal number with "." as separator: leading blanks, a sign and an exponent are
// allowed, and the whole text must be the number. Nothing for any other text.
std::optional<long double> parse_decimal(const QString& text);

} // namespace numbers
