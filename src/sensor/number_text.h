// Numbers written for the live displays and the multiplier: always "." as the decimal separator
// and no grouping, whatever the user's locale, because the engineer compares these texts with
// the sensor's documentation and the exported tables copy them.
#pragma once

#include <string>

namespace vorkel {

// value with exactly two decimals, '.' separator whatever the locale, no grouping, exact ties
// (in decimal) rounded away from zero (3.125 -> "3.13"), right-aligned (space padded) to at
// least minWidth characters. The value is taken exactly as the double holds it: 2.675, held
// as 2.67499999..., gives "2.67". A result that rounds to zero has no minus sign; infinity and
// NaN give "inf", "-inf" and "nan".
std::string formatTwoDecimals(double value, int minWidth = 0);

// Nearest integer, ties to the even neighbour (2.5 -> 2, 3.5 -> 4), independent of the
// floating-point environment's rounding mode.
double roundHalfToEven(double value);

} // namespace vorkel
