// Text-to-number rules of the configurator. Three rules exist because the edits they serve
// behave differently: the calibration edits are checked strictly and then read leniently, and
// the voltage entry and the litres table skip whatever is not part of a number. None of them
// depends on the locale.
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

} // namespace vorkel
