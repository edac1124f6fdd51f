// Text-to-number rules of the configurator. Four rules exist because the edits they serve
// behave differently: the calibration edits are checked strictly and then read leniently, the
// voltage entry skips whatever is not part of a number, and the litres table takes one number
// written with either decimal separator. None of them depends on the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorkel {

// Strict integer parse: leading spaces allowed, an optional sign, then decimal digits, or
// hexadecimal digits after a "$", "x" or "0x" prefix (any letter case); nothing may follow;
// an empty text or a value outside the signed 32-bit range fails.
std::optional<std::int32_t> parseStrictInteger(std::string_view text);

// Lenient integer parse: an optional '-' or '+' as the very first character, then the decimal
// digits up to the first other character; 0 when there are none. Saturates at the int64 limits
// instead of overflowing.
std::int64_t parseLenientInteger(std::string_view text);

// Decimal parser: an optional '-' as the first character; decimal digits; the first '.' starts
// the fraction and a second '.' ends the number; 'E'/'e' ends the mantissa and is followed by a
// decimal exponent (optional sign directly after the 'E', then digits) multiplying by 10^exp;
// every other character is skipped ("12,5" -> 125, "1.5e2" -> 150, lone "-" or "." -> 0).
// Mantissa and exponent saturate: "1e99999999999" gives infinity, never undefined behaviour.
// The result is correctly rounded; a number without non-zero digits is +0.
double parseDecimal(std::string_view text);

// One decimal number as people type it whatever their system's separator: blanks around it,
// an optional sign, digits with at most one "." or "," starting the fraction, an optional
// exponent ("e" or "E", an optional sign, digits); nothing else, and at least one digit before
// the exponent. "12,5" and "12.5" are 12.5; "1,5,0", "12 5" and "" are not a number. The value
// is the one parseDecimal gives for the same text with "." as separator.
std::optional<double> parseDecimalNumber(std::string_view text);

} // namespace vorkel
