#include "sensor/number_reading.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace vorkel {
namespace {

bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigitValue(char c) {
    if (isDecimalDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Significant digits kept by the decimal parser. A double needs at most 767 of them to be
// rounded correctly; further ones only matter as "something non-zero follows".
constexpr std::size_t kMaxSignificantDigits = 800;
// Decimal exponents beyond this give infinity or zero whatever the kept digits are, so the
// exponent arithmetic saturates here and never overflows.
constexpr std::int64_t kExponentLimit = 100000;

} // namespace

std::optional<std::int32_t> parseStrictInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    // The magnitude of the most negative value is one more than the largest positive one.
    const std::int64_t limit =
        negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                 : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = base == 16 ? hexDigitValue(text[i])
                                     : (isDecimalDigit(text[i]) ? text[i] - '0' : -1);
        if (digit < 0) {
            return std::nullopt;
        }
        magnitude = magnitude * base + digit;
        if (magnitude > limit) {
            return std::nullopt;
        }
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::int64_t parseLenientInteger(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    // Accumulated towards the sign so that the most negative value is reachable.
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; i < text.size() && isDecimalDigit(text[i]); ++i) {
        const int digit = text[i] - '0';
        if (negative) {
            value = value < (kMin + digit) / 10 ? kMin : value * 10 - digit;
        } else {
            value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
        }
    }
    return value;
}

double parseDecimal(std::string_view text) {
    bool negative = false;
    std::size_t i = 0;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        i = 1;
    }
    // The mantissa is gathered as an integer of significant digits times 10^scale.
    std::string digits;
    bool droppedNonZero = false;
    std::int64_t scale = 0;
    bool inFraction = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (isDecimalDigit(c)) {
            if (digits.empty() && c == '0') {
                if (inFraction) {
                    --scale;
                }
            } else if (digits.size() < kMaxSignificantDigits) {
                digits += c;
                if (inFraction) {
                    --scale;
                }
            } else {
                droppedNonZero = droppedNonZero || c != '0';
                if (!inFraction) {
                    ++scale;
                }
            }
        } else if (c == '.') {
            if (inFraction) {
                i = text.size(); // a second point ends the number
                break;
            }
            inFraction = true;
        } else if (c == 'e' || c == 'E') {
            ++i;
            break;
        }
    }
    std::int64_t exponent = 0;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negativeExponent = text[i] == '-';
        ++i;
    }
    for (; i < text.size(); ++i) {
        if (isDecimalDigit(text[i]) && exponent < kExponentLimit) {
            exponent = exponent * 10 + (text[i] - '0');
        }
    }
    if (digits.empty()) {
        return 0.0;
    }
    if (droppedNonZero) {
        // A trailing non-zero digit stands for the dropped ones: it keeps a value that lies
        // just above a rounding tie from being read as the tie.
        digits += '1';
        --scale;
    }
    std::int64_t total = scale + (negativeExponent ? -exponent : exponent);
    if (total > kExponentLimit) {
        total = kExponentLimit;
    } else if (total < -kExponentLimit) {
        total = -kExponentLimit;
    }
    const std::string number = digits + 'e' + std::to_string(total);
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        value = total > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

std::optional<double> parseDecimalNumber(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] == ' ') {
        ++first;
    }
    while (last > first && text[last - 1] == ' ') {
        --last;
    }
    std::string number(text.substr(first, last - first));
    std::size_t i = 0;
    if (i < number.size() && (number[i] == '-' || number[i] == '+')) {
        ++i;
    }
    bool digits = false;
    bool separator = false;
    for (; i < number.size(); ++i) {
        char& c = number[i];
        if (isDecimalDigit(c)) {
            digits = true;
        } else if ((c == '.' || c == ',') && !separator) {
            separator = true;
            c = '.';
        } else {
            break;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        if (i < number.size() && (number[i] == '-' || number[i] == '+')) {
            ++i;
        }
        const std::size_t exponentStart = i;
        while (i < number.size() && isDecimalDigit(number[i])) {
            ++i;
        }
        if (i == exponentStart) {
            return std::nullopt;
        }
    }
    if (i != number.size()) {
        return std::nullopt;
    }
    return parseDecimal(number);
}

} // namespace vorkel
