#include "calibration/liters_lookup.h"

#include "sensor/number_reading.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace vorkel {

std::vector<RefusedCell> LitersLookup::rebuild(const std::vector<LitersRow>& rows) {
    std::vector<RefusedCell> rejected;
    if (!loaded_) {
        return rejected;
    }
    std::vector<Point> points;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const LitersRow& row = rows[i];
        if (row.key.empty() || row.liters.empty()) {
            continue; // an incomplete row stays in the table but plays no part
        }
        // The key is read once, by the integer rule, for both the order and the arithmetic:
        // "$64" is level 100 in both.
        const std::optional<std::int32_t> key = parseStrictInteger(row.key);
        // A stray character would otherwise be skipped and change the value silently: with
        // "1 5" read as 15, or "12,5" as 125, the display would show ten times the fuel.
        const std::optional<double> liters = parseDecimalNumber(row.liters);
        if (!key) {
            rejected.push_back({i, RefusedCell::Key});
        }
        if (!liters) {
            rejected.push_back({i, RefusedCell::Liters});
        }
        if (!key || !liters) {
            continue;
        }
        points.push_back(Point{*key, static_cast<float>(*key), static_cast<float>(*liters)});
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const Point& a, const Point& b) { return a.key < b.key; });
    points_ = std::move(points);
    return rejected;
}

std::optional<std::string> LitersLookup::litersText(std::uint32_t level) const {
    const auto x = static_cast<float>(level);
    float previousKey = 0.0F;
    float previousLiters = 0.0F;
    for (const Point& point : points_) {
        // The first segment that holds the level wins: at a key shared by two segments, the
        // one that ends there. A key not above the previous one ends no segment.
        if (previousKey <= x && x <= point.keyValue && point.keyValue > previousKey) {
            const float t = (x - previousKey) / (point.keyValue - previousKey);
            return formatLiters(previousLiters + (point.liters - previousLiters) * t,
                                decimalSeparator_);
        }
        previousKey = point.keyValue;
        previousLiters = point.liters;
    }
    return std::nullopt;
}

std::optional<std::string> formatLiters(float liters, const std::string& decimalSeparator) {
    if (!std::isfinite(liters)) {
        return std::nullopt;
    }
    // Thousandths of a litre. A float has 24 significant bits and 1000 takes 10, so the product
    // is exact in a double, and a tie is a true tie: it goes away from zero, as everywhere else
    // the program rounds a display.
    constexpr double kThousandths = 1000.0;
    constexpr std::size_t kDecimals = 3;
    const double scaled = std::round(static_cast<double>(liters) * kThousandths);
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                            std::fabs(scaled), std::chars_format::fixed, 0);
    if (error != std::errc{}) {
        return std::nullopt;
    }
    std::string digits(buffer.data(), end);
    if (digits.size() <= kDecimals) {
        digits.insert(0, kDecimals + 1 - digits.size(), '0');
    }
    std::string text = scaled < 0 ? "-" : ""; // -0.0 is not below zero: no "-0.000"
    text.append(digits, 0, digits.size() - kDecimals);
    text += decimalSeparator;
    text.append(digits, digits.size() - kDecimals);
    return text;
}

} // namespace vorkel
