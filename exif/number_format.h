// The number texts of the metadata values: integers, the general form of a
// double, fixed decimals, and the leading number of a text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace exif {

// Decimal digits with a leading "-" when negative, no grouping.
std::string IntText(std::int64_t value);

// At most 15 significant digits like printf's %.15g; never "-0", "inf" or
// "nan" (a value that is not finite gives the empty text).
std::string GenText(double value);

// Exactly `decimals` decimals with at least one digit before the point,
// rounded half away from zero on the exact value of the double (so 0.125
// gives 0.13, while 2.675, stored just below, gives 2.67). Never "-0.00";
// a value that is not finite gives the empty text.
std::string FixText(double value, int decimals);

// Rounded as FixText does, then written without trailing zeros or a bare
// point: 5.5957 gives 5.6, 2.0004 gives 2 at one decimal.
std::string RoundedText(double value, int decimals);

// The value of the decimal digits at the start of the text; 0 when it does
// not start with a digit. A digit run too large for a double saturates at
// the largest finite double instead of becoming infinite.
double LeadingNumber(std::string_view text);

}  // namespace exif
