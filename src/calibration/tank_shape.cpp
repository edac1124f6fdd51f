#include "calibration/tank_shape.h"

#include "sensor/level_display.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <set>

namespace vorkel {
namespace {

constexpr double kCubicMmPerLiter = 1e6;
// Beyond any tank a sensor is put into (a 100 m tank), and far within what the arithmetic takes.
constexpr double kLargestDimensionMm = 1e5;

bool isDimension(double mm) {
    return mm > 0.0 && mm <= kLargestDimensionMm;
}

std::string twoDecimals(double value) {
    char text[48];
    const auto result =
        std::to_chars(std::begin(text), std::end(text), value, std::chars_format::fixed, 2);
    return std::string(text, result.ptr);
}

} // namespace

double tankHeightMm(const TankDimensions& tank) {
    return tank.shape == TankShape::HorizontalCylinder ? tank.diameterMm : tank.heightMm;
}

double litersAt(const TankDimensions& tank, double heightMm) {
    const double h = std::clamp(heightMm, 0.0, tankHeightMm(tank));
    switch (tank.shape) {
    case TankShape::Rectangular:
        return tank.lengthMm * tank.widthMm * h / kCubicMmPerLiter;
    case TankShape::VerticalCylinder: {
        const double r = tank.diameterMm / 2;
        return std::numbers::pi * r * r * h / kCubicMmPerLiter;
    }
    case TankShape::HorizontalCylinder: {
        const double r = tank.diameterMm / 2;
        // The segment's area; the rest under the root is never negative within 0..2R.
        const double area = r * r * std::acos(std::clamp((r - h) / r, -1.0, 1.0)) -
                            (r - h) * std::sqrt(std::max(0.0, 2 * r * h - h * h));
        return tank.lengthMm * area / kCubicMmPerLiter;
    }
    }
    return 0.0;
}

std::uint32_t rawLevelAt(double heightMm, const SensorPlacement& sensor, unsigned fullScale) {
    const double fraction = (heightMm - sensor.zeroHeightMm) / sensor.measuringLengthMm;
    return static_cast<std::uint32_t>(
        std::lround(std::clamp(fraction, 0.0, 1.0) * static_cast<double>(fullScale)));
}

std::string readingTextFor(std::uint32_t level, const ReadingScale& scale) {
    switch (scale.display) {
    case ReadingControl::Percent:
        return levelPercentText(level, scale.fullScale);
    case ReadingControl::Raw:
        return std::to_string(level);
    case ReadingControl::Voltage:
        return levelVoltageText(level, scale.fullScale, scale.voltages.lower,
                                scale.voltages.upper);
    case ReadingControl::Frequency:
        return levelFrequencyText(level, scale.fullScale, scale.frequencySpan);
    }
    return {};
}

std::variant<std::vector<ShapeRow>, std::string_view> shapeTable(const ShapeRequest& request) {
    const TankDimensions& tank = request.tank;
    const bool dimensionsOk =
        tank.shape == TankShape::Rectangular
            ? isDimension(tank.lengthMm) && isDimension(tank.widthMm) && isDimension(tank.heightMm)
        : tank.shape == TankShape::VerticalCylinder
            ? isDimension(tank.diameterMm) && isDimension(tank.heightMm)
            : isDimension(tank.diameterMm) && isDimension(tank.lengthMm);
    if (!dimensionsOk) {
        return std::string_view("rsShapeBadDimensions");
    }
    const SensorPlacement& sensor = request.sensor;
    if (!isDimension(sensor.measuringLengthMm) || !(sensor.zeroHeightMm >= 0.0) ||
        !(sensor.zeroHeightMm < tankHeightMm(tank))) {
        return std::string_view("rsShapeBadSensor");
    }
    if (request.rows < 2 || request.rows > kLargestShapeTable) {
        return std::string_view("rsShapeBadRows");
    }
    const double bottom = sensor.zeroHeightMm;
    const double top = std::min(tankHeightMm(tank), bottom + sensor.measuringLengthMm);
    std::vector<ShapeRow> rows;
    std::set<std::string> litersTexts;
    for (int i = 0; i < request.rows; ++i) {
        ShapeRow row;
        row.heightMm = bottom + (top - bottom) * i / (request.rows - 1);
        row.liters = litersAt(tank, row.heightMm);
        row.level = rawLevelAt(row.heightMm, sensor, request.scale.fullScale);
        row.cells = {twoDecimals(row.liters), readingTextFor(row.level, request.scale)};
        // The grid takes every litres text once: rows closer than a hundredth of a litre are
        // more rows than the tank can tell apart.
        if (!litersTexts.insert(row.cells.liters).second) {
            return std::string_view("rsShapeBadRows");
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<TableRow> shapeGridRows(const std::vector<ShapeRow>& rows) {
    std::vector<TableRow> grid;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        grid.push_back(row->cells);
    }
    return grid;
}

ShapeReference shapeReference(const std::vector<ShapeRow>& rows, double tolerancePercent) {
    ShapeReference reference;
    reference.tolerancePercent = tolerancePercent;
    for (const ShapeRow& row : rows) {
        // The displays' own texts, read as the tank curve reads the grid.
        if (const auto value = tableNumber(row.cells.values)) {
            reference.points.push_back({*value, row.liters});
        }
    }
    return reference;
}

std::optional<double> referenceLitersAt(const ShapeReference& reference, double value) {
    const auto& points = reference.points;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const double low = std::min(points[i - 1].value, points[i].value);
        const double high = std::max(points[i - 1].value, points[i].value);
        if (value < low || value > high) {
            continue;
        }
        if (high == low) { // a step the display cannot show: the litres at its middle
            return (points[i - 1].liters + points[i].liters) / 2;
        }
        const double t = (value - points[i - 1].value) / (points[i].value - points[i - 1].value);
        return points[i - 1].liters + t * (points[i].liters - points[i - 1].liters);
    }
    return std::nullopt;
}

std::vector<int> rowsOffReference(const TankCurve& curve, const ShapeReference& reference) {
    std::vector<int> off;
    if (reference.points.empty()) {
        return off;
    }
    double full = 0.0;
    for (const ShapeReference::Point& point : reference.points) {
        full = std::max(full, point.liters);
    }
    const double allowed = full * reference.tolerancePercent / 100.0;
    for (const CurvePoint& point : curve.line()) {
        const std::optional<double> expected = referenceLitersAt(reference, point.value);
        if (expected && std::abs(point.liters - *expected) > allowed) {
            off.push_back(point.gridRow);
        }
    }
    std::sort(off.begin(), off.end());
    return off;
}

TankCurve curveWithReference(TankCurve curve, const ShapeReference& reference) {
    std::vector<std::pair<double, double>> points;
    for (const ShapeReference::Point& point : reference.points) {
        points.emplace_back(point.value, point.liters);
    }
    widenCurveRanges(curve, points);
    return curve;
}

} // namespace vorkel
