#include "sensor/number_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace vorkel {
namespace {

// A double's exact decimal expansion has at most 1074 digits after the point and 309 before.
constexpr int kExactFractionDigits = 1074;
constexpr std::size_t kExactBufferSize = 1500;

std::string padded(std::string text, int minWidth) {
    if (minWidth > 0 && text.size() < static_cast<std::size_t>(minWidth)) {
        text.insert(0, static_cast<std::size_t>(minWidth) - text.size(), ' ');
    }
    return text;
}

} // namespace

std::string formatTwoDecimals(double value, int minWidth) {
    if (!std::isfinite(value)) {
        return padded(std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf"), minWidth);
    }
    // The exact expansion of the magnitude, so that a tie is a tie and nothing else is:
    // to_chars with this precision never rounds.
    std::array<char, kExactBufferSize> exact{};
    const auto result = std::to_chars(exact.data(), exact.data() + exact.size(), std::fabs(value),
                                      std::chars_format::fixed, kExactFractionDigits);
    const std::string_view expansion(exact.data(), static_cast<std::size_t>(result.ptr - exact.data()));
    const std::size_t point = expansion.find('.');
    // Integer digits and two decimals, truncated; the third decimal decides: from 5 up (an
    // exact tie included) the magnitude rounds up, that is away from zero.
    std::string digits(expansion.substr(0, point));
    digits += expansion.substr(point + 1, 2);
    if (expansion[point + 3] >= '5') {
        std::size_t k = digits.size();
        while (k > 0 && digits[k - 1] == '9') {
            digits[--k] = '0';
        }
        if (k == 0) {
            digits.insert(0, 1, '1');
        } else {
            ++digits[k - 1];
        }
    }
    std::string text = digits.substr(0, digits.size() - 2);
    text += '.';
    text += digits.substr(digits.size() - 2);
    if (value < 0 && digits.find_first_not_of('0') != std::string::npos) {
        text.insert(0, 1, '-');
    }
    return padded(std::move(text), minWidth);
}

double roundHalfToEven(double value) {
    if (!std::isfinite(value)) {
        return value;
    }
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction > 0.5) {
        return lower + 1.0;
    }
    if (fraction < 0.5) {
        return lower;
    }
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

} // namespace vorkel
