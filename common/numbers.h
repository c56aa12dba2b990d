#pragma once
// Numbers travel between the programs (exchange records, list files, settings) as
// decimal text and are read by their leading number.

#include <string>
#include <string_view>

namespace orv {

// Leading-number rule: leading blanks (space, tab, CR, LF) are skipped, an optional
// sign is taken, then digits until the first character that cannot continue the
// number; text without a number reads as 0. " 2", "2", "2abc" all read as 2.
// The integer form stops at the decimal point ("2.7" reads as 2) and saturates at
// the limits of long long instead of overflowing.
long long LeadingInt(std::string_view text);

// Single-precision form: digits, an optional fractional part after '.', and an
// optional exponent ("1.5e3"); stops at the first character that cannot continue
// it. "-.5x" reads as -0.5. Independent of the C locale.
float LeadingFloat(std::string_view text);

// Decimal text with no leading blank: "0", "-5", "12".
std::string DecimalText(long long value);

// Decimal text with the leading blank that non-negative numbers get in the classic
// string conversion: " 2", " 0", "-5".
std::string StrText(long long value);

// Shortest decimal text of a float with up to 7 significant digits, no exponent,
// no trailing zeros, '.' as decimal point: 12345.67 -> "12345.67", 3.0 -> "3".
std::string FloatText(float value);

}  // namespace orv
