#include "calibration/tank_curve.h"

#include "sensor/number_reading.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace vorkel {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A step of 1, 2 or 5 times a power of ten that cuts the range into about five parts.
double niceStep(double range) {
    const double raw = range / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (raw <= factor * power) {
            return factor * power;
        }
    }
    return 10.0 * power;
}

std::string tickLabel(double value) {
    char text[32];
    // Nine digits hide the binary rest of 0.2 x 3; never the locale's separator.
    const auto result =
        std::to_chars(std::begin(text), std::end(text), value, std::chars_format::general, 9);
    std::string label(text, result.ptr);
    return label == "-0" ? "0" : label;
}

// Grid lines from a multiple of the step at or below `low` to one at or above `high`; the
// range grows to them.
std::vector<PlotTick> ticks(double& low, double& high) {
    if (high <= low) {
        high = low + 1.0;
    }
    double step = niceStep(high - low);
    if (!std::isnormal(step)) { // a range too small for powers of ten
        step = high - low;
    }
    // A point on a grid line stays on it despite the binary rest of the division.
    constexpr double kSlack = 1e-9;
    const double lowest = low, highest = high;
    low = std::floor(low / step + kSlack) * step;
    high = std::ceil(high / step - kSlack) * step;
    if (low > lowest) { // the slack must not leave a point outside
        low -= step;
    }
    if (high < highest) {
        high += step;
    }
    // Steps below the precision of the numbers (1e15 next to 1e15 + 0.5) cannot move them.
    low = std::min(low, lowest);
    high = std::max(high, highest);
    std::vector<PlotTick> result;
    const double parts = (high - low) / step;
    long count = 1;
    if (parts >= 0.5 && parts <= 20.0) {
        count = std::max(1L, std::lround(parts));
    } else { // ranges so small that the division is no longer exact
        step = high - low;
    }
    for (long i = 0; i <= count; ++i) {
        const double value = low + static_cast<double>(i) * step;
        result.push_back({static_cast<double>(i) / static_cast<double>(count),
                          tickLabel(std::abs(value) < step / 2 ? 0.0 : value)});
    }
    return result;
}

} // namespace

std::optional<double> tableNumber(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.back() == '%') {
        text = trimmed(text.substr(0, text.size() - 1));
    }
    // The litres table's rule: "." or "," starts the fraction, whatever the system's separator.
    const std::optional<double> value = parseDecimalNumber(text);
    // Far beyond any tank or sensor, and beyond what the plot's arithmetic may take.
    constexpr double kLargest = 1e15;
    if (!value || !(std::abs(*value) < kLargest)) {
        return std::nullopt;
    }
    return *value;
}

std::vector<CurvePoint> TankCurve::line() const {
    std::vector<CurvePoint> points;
    for (const CurvePoint& point : rows) {
        if (point.check == RowCheck::ok || point.check == RowCheck::notRising ||
            point.check == RowCheck::duplicate) {
            points.push_back(point);
        }
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const CurvePoint& a, const CurvePoint& b) { return a.liters < b.liters; });
    return points;
}

TankCurve tankCurve(const std::vector<TableRow>& gridRows) {
    TankCurve curve;
    std::map<double, int> valueCount;
    for (int row = static_cast<int>(gridRows.size()) - 1; row >= 0; --row) {
        const TableRow& cells = gridRows[static_cast<std::size_t>(row)];
        CurvePoint point;
        point.gridRow = row;
        point.number = exportRowNumber(static_cast<std::size_t>(row), gridRows.size());
        const auto liters = tableNumber(cells.liters);
        const auto value = tableNumber(cells.values);
        if (trimmed(cells.liters).empty() && trimmed(cells.values).empty()) {
            continue;
        }
        if (trimmed(cells.liters).empty() || trimmed(cells.values).empty()) {
            point.check = RowCheck::incomplete;
        } else if (!liters || !value) {
            point.check = RowCheck::notANumber;
        } else {
            point.liters = *liters;
            point.value = *value;
            ++valueCount[*value];
        }
        curve.rows.push_back(point);
    }
    for (CurvePoint& point : curve.rows) {
        if (point.check == RowCheck::ok && valueCount[point.value] > 1) {
            point.check = RowCheck::duplicate;
        }
    }
    // Neighbours by litres whose values do not rise: both are suspect, since either may be the
    // mistyped one.
    const std::vector<CurvePoint> line = curve.line();
    const auto mark = [&curve](int gridRow) {
        for (CurvePoint& point : curve.rows) {
            if (point.gridRow == gridRow && point.check == RowCheck::ok) {
                point.check = RowCheck::notRising;
            }
        }
    };
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (!(line[i - 1].liters < line[i].liters && line[i - 1].value < line[i].value)) {
            mark(line[i - 1].gridRow);
            mark(line[i].gridRow);
        }
    }

    widenCurveRanges(curve, {});
    return curve;
}

void widenCurveRanges(TankCurve& curve, const std::vector<std::pair<double, double>>& points) {
    // From 0, so that the curve starts where the tank does; ticks() widens an empty range.
    curve.minValue = curve.minLiters = curve.maxValue = curve.maxLiters = 0.0;
    const auto hold = [&curve](double value, double liters) {
        curve.minValue = std::min(curve.minValue, value);
        curve.maxValue = std::max(curve.maxValue, value);
        curve.minLiters = std::min(curve.minLiters, liters);
        curve.maxLiters = std::max(curve.maxLiters, liters);
    };
    for (const CurvePoint& point : curve.line()) {
        hold(point.value, point.liters);
    }
    for (const auto& [value, liters] : points) {
        hold(value, liters);
    }
    curve.valueTicks = ticks(curve.minValue, curve.maxValue);
    curve.litersTicks = ticks(curve.minLiters, curve.maxLiters);
}

std::string_view rowCheckReasonKey(RowCheck check) {
    switch (check) {
    case RowCheck::incomplete:
        return "rsRowIncomplete";
    case RowCheck::notANumber:
        return "rsRowNotANumber";
    case RowCheck::notRising:
        return "rsRowNotRising";
    case RowCheck::duplicate:
        return "rsRowDuplicate";
    case RowCheck::ok:
    case RowCheck::empty:
        break;
    }
    return {};
}

const CurvePoint* firstBadRow(const TankCurve& curve) {
    for (const CurvePoint& point : curve.rows) {
        if (isMarked(point.check) || point.check == RowCheck::incomplete) {
            return &point;
        }
    }
    return nullptr;
}

std::optional<std::string>
tableOrderQuestion(const std::vector<TableRow>& gridRows,
                   const std::function<std::string(std::string_view)>& translate) {
    const TankCurve curve = tankCurve(gridRows);
    const CurvePoint* bad = firstBadRow(curve);
    if (bad == nullptr) {
        return std::nullopt;
    }
    const TableRow& cells = gridRows[static_cast<std::size_t>(bad->gridRow)];
    return translate("rsTableRow") + " " + std::to_string(bad->number) + " (" + cells.liters +
           "; " + cells.values + "): " + translate(rowCheckReasonKey(bad->check)) + "\n" +
           translate("rsDownloadAnyway");
}

void CalibrationCurve::tarEditorStringsChange() {
    curve_ = tankCurve(view_.tableRows());
    view_.showCurve(curve_);
}

} // namespace vorkel
